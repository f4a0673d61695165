// The fault guard on POSIX: SIGSEGV, SIGBUS and SIGILL raised on a thread
// inside RunGuarded jump back to RunGuarded. The handlers are installed only
// while some thread is inside a guarded region; a fault anywhere else goes
// to the handler that was there before (or the default action).
#include "platform/exception_guard.h"

#include <setjmp.h>
#include <signal.h>

#include <mutex>

namespace nc::platform {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

thread_local sigjmp_buf* t_recovery = nullptr;

std::mutex g_mutex;
int g_users = 0;
struct sigaction g_previous[kSignalCount];

int IndexOf(int sig) {
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == sig) return i;
  return 0;
}

void OnFault(int sig, siginfo_t* info, void* ucontext) {
  if (t_recovery != nullptr) siglongjmp(*t_recovery, 1);
  // Not ours: hand the fault to the previous owner.
  const struct sigaction& previous = g_previous[IndexOf(sig)];
  if (previous.sa_flags & SA_SIGINFO) {
    if (previous.sa_sigaction != nullptr) {
      previous.sa_sigaction(sig, info, ucontext);
      return;
    }
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
             previous.sa_handler != nullptr) {
    previous.sa_handler(sig);
    return;
  }
  // Default action: restore it and let the faulting instruction run again.
  signal(sig, SIG_DFL);
}

void Install() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_users++ > 0) return;
  struct sigaction action = {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

void Uninstall() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (--g_users > 0) return;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

struct Installation {
  Installation() { Install(); }
  ~Installation() { Uninstall(); }
};

}  // namespace

bool RunGuarded(GuardedWork work, void* context) {
  Installation installation;
  sigjmp_buf recovery;
  sigjmp_buf* const outer = t_recovery;
  if (sigsetjmp(recovery, 1) != 0) {
    t_recovery = outer;
    return false;
  }
  t_recovery = &recovery;
  work(context);
  t_recovery = outer;
  return true;
}

}  // namespace nc::platform
