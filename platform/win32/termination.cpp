// Termination requests on Windows: Ctrl-C, Ctrl-Break and the closing of
// the console (or the session) reach a console control handler while a
// scope lives. The handler records the request; for a closing console,
// which ends the process as soon as the handler returns, it first gives the
// job a few seconds to clean up.
#include "platform/termination.h"

#include <atomic>
#include <mutex>

#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

// How long a closing console waits for the job to remove its temporary
// output; the system allows a handler about five seconds.
constexpr DWORD kCloseGraceMs = 4000;

std::atomic<bool> g_requested{false};
std::atomic<ProgressWord*> g_word{nullptr};

std::mutex g_lock;  // what follows
int g_users = 0;
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
  g_requested.store(true);
  if (ProgressWord* word = g_word.load()) word->fetch_or(kProgressCancel);
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && g_idle != nullptr)
    ::WaitForSingleObject(g_idle, kCloseGraceMs);
  return TRUE;
}

}  // namespace

TerminationScope::TerminationScope(ProgressWord* word) {
  std::lock_guard<std::mutex> lock(g_lock);
  previousWord_ = g_word.load();
  if (word != nullptr) g_word.store(word);
  if (g_users++ > 0) return;
  DWORD error = ::GetLastError();
  g_requested.store(false);
  if (g_idle == nullptr) g_idle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_idle != nullptr) ::ResetEvent(g_idle);
  ::SetConsoleCtrlHandler(OnControl, TRUE);
  ::SetLastError(error);
}

TerminationScope::~TerminationScope() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_word.store(previousWord_);
  if (--g_users > 0) return;
  DWORD error = ::GetLastError();
  g_word.store(nullptr);
  ::SetConsoleCtrlHandler(OnControl, FALSE);
  g_requested.store(false);
  if (g_idle != nullptr) ::SetEvent(g_idle);
  ::SetLastError(error);
}

bool TerminationRequested() { return g_requested.load(); }

}  // namespace nc::platform
