// Keeps the thread's last error across calls that may change it (window
// and resource calls made for a job whose own failure is reported through
// the last error).
#pragma once
#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

class KeepLastError {
 public:
  KeepLastError() : error_(::GetLastError()) {}
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;
  ~KeepLastError() { ::SetLastError(error_); }

 private:
  DWORD error_;
};

}  // namespace nc::platform::win32
