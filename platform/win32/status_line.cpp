// The status line on a Windows console: the standard error when it is a
// console, written as UTF-16 and padded with blanks over what the longest
// line left (the console has no erase-to-end escape everywhere).
#include "platform/status_line.h"

#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

constexpr std::size_t kDefaultColumns = 80;

void Write(HANDLE console, const std::wstring& text) {
  DWORD error = ::GetLastError();
  const wchar_t* at = text.data();
  DWORD left = static_cast<DWORD>(text.size());
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteConsoleW(console, at, left, &written, nullptr) || written == 0) break;
    at += written;
    left -= written;
  }
  ::SetLastError(error);
}

}  // namespace

StatusLine::StatusLine() {
  DWORD error = ::GetLastError();
  HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  enabled_ =
      console != nullptr && console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode);
  handle_ = console;
  ::SetLastError(error);
}

StatusLine::~StatusLine() {
  if (drawn_) Write(handle_, L"\r" + std::wstring(shown_, L' ') + L"\r");
}

std::size_t StatusLine::Columns() const {
  CONSOLE_SCREEN_BUFFER_INFO info;
  DWORD error = ::GetLastError();
  std::size_t columns = kDefaultColumns;
  if (::GetConsoleScreenBufferInfo(handle_, &info) && info.srWindow.Right > info.srWindow.Left)
    columns = static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  ::SetLastError(error);
  return columns;
}

void StatusLine::Draw(const std::string& line, Clock::time_point now) {
  std::wstring wide = win32::Widen(line.c_str());
  std::size_t length = wide.size();
  if (length < shown_) wide.append(shown_ - length, L' ');
  Write(handle_, L"\r" + wide);
  shown_ = length > shown_ ? length : shown_;
  drawn_ = true;
  last_ = now;
}

}  // namespace nc::platform
