#include "platform/password_box.h"

#include <algorithm>
#include <cstring>

#include "platform/text_1251.h"
#include "zq/wipe.h"

namespace nc::platform {

void PasswordBox::Set(const char* text, std::size_t length, bool codePage1251) {
  std::lock_guard<std::mutex> lock(lock_);
  SecureWipe(text_, sizeof text_);
  length_ = std::min(length, sizeof text_);
  if (length_ > 0) std::memcpy(text_, text, length_);
  codePage1251_ = codePage1251;
}

void PasswordBox::SetTyped(const char* utf8, std::size_t length) { Set(utf8, length, false); }

void PasswordBox::SetLine(const char* line, std::size_t length, LineEncoding encoding) {
  Set(line, length, encoding == LineEncoding::CodePage1251);
}

void PasswordBox::Clear() { Set(nullptr, 0, false); }

bool PasswordBox::Empty() {
  std::lock_guard<std::mutex> lock(lock_);
  return length_ == 0;
}

bool PasswordBox::Read(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return true;
  std::lock_guard<std::mutex> lock(lock_);
  if (!codePage1251_) return Utf8To1251Strict(text_, length_, buffer, size);
  std::size_t n = std::min(length_, size - 1);
  std::memcpy(buffer, text_, n);
  buffer[n] = '\0';
  return true;
}

}  // namespace nc::platform
