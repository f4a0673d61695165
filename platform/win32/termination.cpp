// Termination requests on Windows: Ctrl-C, Ctrl-Break and the closing of
// the console (or the session) reach a console control handler while a
// scope lives. The handler records the request; for a closing console,
// which ends the process as soon as the handler returns, it first gives the
// job a few seconds to clean up.
#include "platform/termination_backend.h"
#include "platform/win32/windows_api.h"

namespace nc::platform::termination {

namespace {

// How long a closing console waits for the job to remove its temporary
// output; the system allows a handler about five seconds.
constexpr DWORD kCloseGraceMs = 4000;

HANDLE g_idle = nullptr;  // manual-reset event, set while no scope lives

BOOL WINAPI OnControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  Record();
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && g_idle != nullptr)
    ::WaitForSingleObject(g_idle, kCloseGraceMs);
  return TRUE;
}

}  // namespace

void Take() {
  DWORD error = ::GetLastError();
  if (g_idle == nullptr) g_idle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_idle != nullptr) ::ResetEvent(g_idle);
  ::SetConsoleCtrlHandler(OnControl, TRUE);
  ::SetLastError(error);
}

void GiveBack() {
  DWORD error = ::GetLastError();
  ::SetConsoleCtrlHandler(OnControl, FALSE);
  if (g_idle != nullptr) ::SetEvent(g_idle);
  ::SetLastError(error);
}

// The console's own handlers stand after ours: a request taken here ended
// the job with 10, which is the host's report.
void AfterLastScope() {}

}  // namespace nc::platform::termination
