#include "platform/win32/text_convert.h"

#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

std::wstring Widen(const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  int length = ::MultiByteToWideChar(kTextCodePage, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(kTextCodePage, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));  // drop the terminator
  return wide;
}

std::string Narrow(const wchar_t* text, int length) {
  if (text == nullptr || length <= 0) return std::string();
  int size = ::WideCharToMultiByte(kTextCodePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(kTextCodePage, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

}  // namespace nc::platform::win32
