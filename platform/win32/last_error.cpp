// The last error is the thread's Win32 last-error value itself, so codes set
// by the Windows calls and codes set by the library travel the same way.
#include "platform/last_error.h"

#include "platform/win32/windows_api.h"

namespace nc::platform {

std::uint32_t GetLastErrorCode() { return ::GetLastError(); }
void SetLastErrorCode(std::uint32_t code) { ::SetLastError(code); }

}  // namespace nc::platform
