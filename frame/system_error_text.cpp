// Turning the thread's last error into a result code and its text.
#include <cstring>

#include "frame/result_text.h"
#include "frame/text_util.h"
#include "platform/last_error.h"
#include "platform/string_table.h"

namespace nc::frame {

int ResultForSystemError(std::uint32_t error) {
  using namespace platform;
  switch (error) {
    case kErrorSuccess:
      return kResultOk;
    case kErrorInvalidData:
      return kResultBadFormat;
    case kErrorWriteFault:
      return kResultWriteError;
    case kErrorReadFault:
      return kResultReadError;
    case kErrorUnknownRevision:
      return kResultBadVersion;
    case kErrorLogonFailure:
      return kResultHardwareError;
    case kErrorFileCorrupt:
      return kResultCorrupt;
    default:
      return kResultUnknownError;
  }
}

void AppendSystemErrorText(char* text, std::size_t size, const char* fileName) {
  if (text == nullptr || size == 0) return;
  std::uint32_t error = platform::GetLastErrorCode();
  if (error == platform::kErrorSuccess) {
    text[0] = '\0';
    return;
  }
  int code = ResultForSystemError(error);
  char message[kResultTextSize];
  platform::LoadText(platform::kResultTextBase + code, message, sizeof message);
  AppendText(text, size, message);
  bool takesName = code != kResultHardwareError && code != kResultUnknownError;
  if (takesName && fileName != nullptr) {
    std::size_t left = size - std::strlen(text);  // bytes left, terminator included
    std::size_t length = std::strlen(fileName);
    if (left > length + 1) {
      AppendText(text, size, " ");
      AppendText(text, size, fileName);
    }
  }
}

}  // namespace nc::frame
