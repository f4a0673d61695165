// Termination requests on POSIX: SIGINT, SIGTERM and SIGHUP are caught
// while a scope lives. The handler only records: a flag, the newest word's
// cancel bit, a byte in a pipe that wakes the waits on the terminal.
#include "platform/termination.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/posix/termination_wait.h"

namespace nc::platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

std::atomic<bool> g_requested{false};
std::atomic<unsigned> g_caught{0};  // bit i: kSignals[i] arrived
std::atomic<ProgressWord*> g_word{nullptr};
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};
static_assert(std::atomic<ProgressWord*>::is_always_lock_free);
static_assert(std::atomic<unsigned>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

std::mutex g_lock;  // what follows
int g_users = 0;
struct Taken {
  bool installed = false;
  struct sigaction previous = {};
};
Taken g_taken[kSignalCount];

void OnRequest(int signal) {
  int saved = errno;
  g_requested.store(true);
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == signal) g_caught.fetch_or(1u << i);
  if (ProgressWord* word = g_word.load()) word->fetch_or(kProgressCancel);
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

void TakeSignals() {
  for (int i = 0; i < kSignalCount; ++i) {
    Taken& taken = g_taken[i];
    taken.installed = false;
    if (::sigaction(kSignals[i], nullptr, &taken.previous) != 0) continue;
    bool ignored =
        (taken.previous.sa_flags & SA_SIGINFO) == 0 && taken.previous.sa_handler == SIG_IGN;
    if (ignored) continue;
    struct sigaction action = {};
    action.sa_handler = OnRequest;
    action.sa_flags = SA_RESTART;  // the waits that must wake poll the pipe
    sigemptyset(&action.sa_mask);
    for (int other : kSignals) sigaddset(&action.sa_mask, other);
    taken.installed = ::sigaction(kSignals[i], &action, nullptr) == 0;
  }
}

// Restores the host's dispositions; returns the signals to raise again: those
// that arrived and that the host handles itself.
unsigned GiveSignalsBack() {
  unsigned caught = g_caught.load(), again = 0;
  for (int i = 0; i < kSignalCount; ++i) {
    Taken& taken = g_taken[i];
    if (!taken.installed) continue;
    ::sigaction(kSignals[i], &taken.previous, nullptr);
    taken.installed = false;
    if ((caught & (1u << i)) != 0 && IsHandlerFunction(taken.previous)) again |= 1u << i;
  }
  return again;
}

}  // namespace

TerminationScope::TerminationScope(ProgressWord* word) {
  std::lock_guard<std::mutex> lock(g_lock);
  previousWord_ = g_word.load();
  if (word != nullptr) g_word.store(word);
  if (g_users++ > 0) return;
  int saved = errno;
  g_requested.store(false);
  g_caught.store(0);
  PrepareWakePipe();
  TakeSignals();
  errno = saved;
}

TerminationScope::~TerminationScope() {
  unsigned again = 0;
  int saved = errno;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    g_word.store(previousWord_);
    if (--g_users > 0) return;
    g_word.store(nullptr);
    again = GiveSignalsBack();
    g_requested.store(false);
  }
  // The host's own handler hears of the request now that the job is over
  // (outside the lock: it may start another job).
  for (int i = 0; i < kSignalCount; ++i)
    if ((again & (1u << i)) != 0) ::raise(kSignals[i]);
  errno = saved;
}

bool TerminationRequested() { return g_requested.load(); }

int TerminationDescriptor() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_users > 0 ? g_wakeRead.load() : -1;
}

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
