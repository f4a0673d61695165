// Termination requests on POSIX: what a scope does with SIGINT, SIGTERM and
// SIGHUP, and the waits that a request ends. (The operations' side is in
// output_race_test.cpp.)
#ifndef _WIN32
#include "platform/termination.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/posix/termination_wait.h"

namespace nc::platform {
namespace {

volatile sig_atomic_t g_hostCalls = 0;
void HostHandler(int) { g_hostCalls = g_hostCalls + 1; }

// Sets the disposition of `signal` for the test's duration.
class Disposition {
 public:
  Disposition(int signal, void (*handler)(int)) : signal_(signal) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, &saved_);
  }
  ~Disposition() { sigaction(signal_, &saved_, nullptr); }

 private:
  int signal_;
  struct sigaction saved_;
};

TEST(Termination, EachSignalIsRecordedAndTheHostsHandlerIsToldOnceAtTheEnd) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    Disposition host(signal, HostHandler);
    g_hostCalls = 0;
    ProgressWord word{0};
    {
      TerminationScope outer;
      EXPECT_FALSE(TerminationRequested());
      {
        TerminationScope view(&word);
        raise(signal);
        raise(signal);
        EXPECT_TRUE(TerminationRequested());
        EXPECT_EQ(word.load(), kProgressCancel);
      }
      EXPECT_EQ(g_hostCalls, 0);  // not while the job still cleans up
    }
    EXPECT_EQ(g_hostCalls, 1);
    raise(signal);  // the host's handler is back
    EXPECT_EQ(g_hostCalls, 2);

    TerminationScope next;  // a new job starts clean
    EXPECT_FALSE(TerminationRequested());
  }
}

TEST(Termination, DefaultDispositionIsConsumedAndAnIgnoredSignalStaysIgnored) {
  {
    Disposition host(SIGHUP, SIG_DFL);
    {
      TerminationScope job;
      raise(SIGHUP);  // would end the test binary if it were passed on
      EXPECT_TRUE(TerminationRequested());
    }
  }
  Disposition ignored(SIGTERM, SIG_IGN);
  TerminationScope job;
  raise(SIGTERM);
  EXPECT_FALSE(TerminationRequested());
}

TEST(Termination, AWaitForInputEndsOnARequestFromAnyThread) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    TerminationScope job;
    ASSERT_GE(TerminationDescriptor(), 0);
    // A thread of the process gets the signal; the main thread's wait ends.
    std::thread other([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      raise(SIGTERM);
    });
    EXPECT_FALSE(WaitForInput(fds[0]));
    other.join();
    EXPECT_FALSE(WaitForInput(fds[0]));  // and every later wait
  }
  EXPECT_EQ(TerminationDescriptor(), -1);
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_TRUE(WaitForInput(fds[0]));  // outside a job, a plain wait
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace nc::platform
#endif
