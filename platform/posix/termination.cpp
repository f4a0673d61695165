// Termination requests on POSIX: SIGINT, SIGTERM and SIGHUP are caught
// while a scope lives. The handler only records: the request, which signal
// it was, and a byte in a pipe that wakes the waits on the terminal.
#include "platform/termination.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix/termination_wait.h"
#include "platform/termination_backend.h"

namespace nc::platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

std::atomic<unsigned> g_caught{0};  // bit i: kSignals[i] arrived
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};
std::atomic<bool> g_taken{false};       // a scope lives
std::atomic<unsigned> g_raiseAgain{0};  // after the last scope
static_assert(std::atomic<unsigned>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

// The dispositions taken over (under the scopes' lock).
struct Taken {
  bool installed = false;
  struct sigaction previous = {};
};
Taken g_previous[kSignalCount];

void OnRequest(int signal) {
  int saved = errno;
  termination::Record();
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == signal) g_caught.fetch_or(1u << i);
  int wake = g_wakeWrite.load();
  if (wake >= 0) {
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wake, &byte, 1);  // full: already readable
  }
  errno = saved;
}

// The wake pipe: made once, emptied when a new outermost scope begins.
void PrepareWakePipe() {
  if (g_wakeRead.load() < 0) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // waits then see no requests
    g_wakeRead.store(fds[0]);
    g_wakeWrite.store(fds[1]);
  }
  char drain[64];
  while (::read(g_wakeRead.load(), drain, sizeof drain) > 0) {
  }
}

bool IsHandlerFunction(const struct sigaction& action) {
  if ((action.sa_flags & SA_SIGINFO) != 0) return action.sa_sigaction != nullptr;
  return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

}  // namespace

void termination::Take() {
  int saved = errno;
  g_caught.store(0);
  PrepareWakePipe();
  for (int i = 0; i < kSignalCount; ++i) {
    Taken& taken = g_previous[i];
    taken.installed = false;
    if (::sigaction(kSignals[i], nullptr, &taken.previous) != 0) continue;
    if ((taken.previous.sa_flags & SA_SIGINFO) == 0 && taken.previous.sa_handler == SIG_IGN)
      continue;  // the host ignores it: so do we
    struct sigaction action = {};
    action.sa_handler = OnRequest;
    action.sa_flags = SA_RESTART;  // the waits that must wake poll the pipe
    sigemptyset(&action.sa_mask);
    for (int other : kSignals) sigaddset(&action.sa_mask, other);
    taken.installed = ::sigaction(kSignals[i], &action, nullptr) == 0;
  }
  g_taken.store(true);
  errno = saved;
}

// Restores the host's dispositions and notes the signals to raise again:
// those that arrived and that the host handles itself.
void termination::GiveBack() {
  int saved = errno;
  g_taken.store(false);
  unsigned caught = g_caught.load(), again = 0;
  for (int i = 0; i < kSignalCount; ++i) {
    Taken& taken = g_previous[i];
    if (!taken.installed) continue;
    ::sigaction(kSignals[i], &taken.previous, nullptr);
    taken.installed = false;
    if ((caught & (1u << i)) != 0 && IsHandlerFunction(taken.previous)) again |= 1u << i;
  }
  g_raiseAgain.store(again);
  errno = saved;
}

// The host's own handler hears of the request now that the job is over.
void termination::AfterLastScope() {
  int saved = errno;
  unsigned again = g_raiseAgain.exchange(0);
  for (int i = 0; i < kSignalCount; ++i)
    if ((again & (1u << i)) != 0) ::raise(kSignals[i]);
  errno = saved;
}

int TerminationDescriptor() { return g_taken.load() ? g_wakeRead.load() : -1; }

bool WaitForInput(int fd) {
  int wake = TerminationDescriptor();
  for (;;) {
    if (TerminationRequested()) return false;
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int n = ::poll(fds, wake >= 0 ? 2 : 1, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return true;  // let the read report the error
    if (wake >= 0 && fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

}  // namespace nc::platform
