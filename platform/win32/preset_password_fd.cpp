// The preset password's descriptor on Windows: a handle value in decimal
// (the host passes the handle of the file or pipe it opened).
#include <cstdint>
#include <cstdlib>

#include "platform/preset_password.h"
#include "platform/termination.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

// The handle NCCORE_PASSWORD_FD names (decimal digits only), or null.
HANDLE NamedHandle() {
  const char* text = std::getenv("NCCORE_PASSWORD_FD");
  if (text == nullptr || *text == '\0') return nullptr;
  std::uint64_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return nullptr;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > UINTPTR_MAX) return nullptr;
  }
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

// Waits until a pipe has a byte to read or its writer has gone; false when
// the process is asked to end first (a read would wait for the writer).
bool WaitForPipe(HANDLE pipe) {
  for (;;) {
    if (TerminationRequested()) return false;
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available > 0)
      return true;  // the read reports a writer that has gone
    ::Sleep(20);
  }
}

}  // namespace

bool PresetDescriptorOpen() {
  HANDLE handle = NamedHandle();
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD error = ::GetLastError();
  ::SetLastError(NO_ERROR);
  bool open = ::GetFileType(handle) != FILE_TYPE_UNKNOWN || ::GetLastError() == NO_ERROR;
  ::SetLastError(error);
  return open;
}

int ReadPresetByte(unsigned char* byte) {
  HANDLE handle = NamedHandle();
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
  if (::GetFileType(handle) == FILE_TYPE_PIPE && !WaitForPipe(handle)) return -1;
  DWORD got = 0;
  if (!::ReadFile(handle, byte, 1, &got, nullptr)) {
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;  // a pipe's writer has gone
  }
  return got == 1 ? 1 : 0;
}

}  // namespace nc::platform
