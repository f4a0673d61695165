// The library's texts are in code page 1251 on Windows, whatever the
// system's ANSI code page is; the Win32 calls take UTF-16.
#pragma once
#include <string>

namespace nc::platform::win32 {

inline constexpr unsigned kTextCodePage = 1251;

// Code page 1251 to UTF-16 (null gives an empty string).
std::wstring Widen(const char* text);
// UTF-16 to code page 1251; characters the code page lacks become '?'.
std::string Narrow(const wchar_t* text, int length);

}  // namespace nc::platform::win32
