#include "frame/result_text.h"

#include <cstring>

#include "frame/text_util.h"
#include "platform/string_table.h"

namespace nc::frame {

namespace {

bool TakesFileName(int code) {
  switch (code) {
    case kResultReadError:
    case kResultWriteError:
    case kResultFileExists:
    case kResultBadFormat:
    case kResultBadVersion:
    case kResultCorrupt:
      return true;
    default:
      return false;
  }
}

}  // namespace

void InitResultText(ResultText& result, const char* tag) {
  std::memset(result.text, 0, sizeof result.text);
  AppendText(result.text, sizeof result.text, tag);
}

void AppendResult(ResultText& result, int code, const char* fileName) {
  char message[kResultTextSize];
  platform::LoadText(platform::kResultTextBase + code, message, sizeof message);
  AppendText(result.text, sizeof result.text, message);
  if (fileName != nullptr && TakesFileName(code))
    AppendText(result.text, sizeof result.text, fileName);
}

int ResultCodeOf(const ResultText& result, std::size_t tagLength) {
  std::size_t length = std::strlen(result.text);
  int code = 0;
  for (std::size_t i = tagLength; i < length && result.text[i] >= '0' && result.text[i] <= '9'; ++i)
    code = code * 10 + (result.text[i] - '0');
  return code;
}

void CopyResultOut(const ResultText& result, char* buffer, std::int32_t size) {
  if (buffer == nullptr || size <= 0) return;
  std::size_t length = std::strlen(result.text);
  std::size_t n = CharacterBoundary(result.text, length, static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, result.text, n);
  buffer[n] = '\0';
}

}  // namespace nc::frame
