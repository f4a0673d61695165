#include "frame/file_failure.h"

#include <cstring>

#include "platform/last_error.h"

namespace nc::frame {

Outcome FileFailure(const char* tag, const char* fileName, FileFailureText& suffix) {
  std::uint32_t error = platform::GetLastErrorCode();
  if (error == platform::kErrorSuccess) error = platform::kErrorInvalidParameter;  // 32
  const int code = ResultForSystemError(error);
  // The text AppendSystemErrorText makes, past the message the result text
  // will hold anyway.
  ResultText text;
  InitResultText(text, tag);
  AppendResult(text, code);
  const std::size_t messageEnd = std::strlen(text.text);
  InitResultText(text, tag);
  platform::SetLastErrorCode(error);
  AppendSystemErrorText(text.text, sizeof text.text, fileName);
  std::strcpy(suffix.text, text.text + messageEnd);
  return {code, suffix.text};
}

}  // namespace nc::frame
