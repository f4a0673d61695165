// Named mutexes: ownership by thread with nested waits, handles of one name
// sharing one mutex, timed waits measured on the test clock, and two
// processes contending (the helper program tests/tools/mutex_helper.cpp is
// the other process): the second waits and then gets it, and a mutex whose
// owner died is taken over as abandoned.
#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "carrier_test_support.h"
#include "platform/clock.h"

namespace nc::platform {
namespace {

using nc::test::PrivateMachine;
using nc::test::UniqueMutexName;

// Owns a handle for the test's duration.
class Mutex {
 public:
  explicit Mutex(const std::string& name) : handle_(CreateNamedMutex(name.c_str())) {
    EXPECT_NE(handle_, kNoMutex) << name;
  }
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  ~Mutex() { CloseNamedMutex(handle_); }
  NamedMutexHandle get() const { return handle_; }

 private:
  NamedMutexHandle handle_;
};

// The outcome of a wait made on a thread of its own (so it is not the owner).
MutexWait WaitOnOtherThread(NamedMutexHandle mutex, std::uint32_t timeoutMs,
                            bool releaseAfter = true) {
  MutexWait result = MutexWait::Failed;
  std::thread other([&] {
    result = WaitNamedMutex(mutex, timeoutMs);
    if (releaseAfter && (result == MutexWait::Acquired || result == MutexWait::Abandoned)) {
      ReleaseNamedMutex(mutex);
    }
  });
  other.join();
  return result;
}

class NamedMutexTest : public ::testing::Test {
 protected:
  PrivateMachine machine_;
  InstantClock clock_;
  ScopedClock useClock_{&clock_};
};

TEST_F(NamedMutexTest, AFreeMutexIsAcquiredAtOnce) {
  Mutex mutex(UniqueMutexName("free"));
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  EXPECT_EQ(clock_.sleeps(), 0u);
  ReleaseNamedMutex(mutex.get());
}

TEST_F(NamedMutexTest, OtherThreadsWaitTheirTimeoutAndGiveUp) {
  Mutex mutex(UniqueMutexName("held"));
  ASSERT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  const std::uint32_t timeouts[] = {0, 1, 170, 300000};
  for (std::uint32_t timeout : timeouts) {
    SCOPED_TRACE(timeout);
    std::uint64_t start = clock_.NowMs();
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), timeout), MutexWait::TimedOut);
    // The wait used up its time on the clock, and no more than one poll
    // beyond it.
    EXPECT_GE(clock_.NowMs() - start, timeout);
    EXPECT_LE(clock_.NowMs() - start, timeout + 10);
  }
  ReleaseNamedMutex(mutex.get());
  EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), MutexWait::Acquired);
}

TEST_F(NamedMutexTest, TheOwnerMayWaitAgainAndReleasesAsOftenAsItWaited) {
  Mutex mutex(UniqueMutexName("nested"));
  ASSERT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  ASSERT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  ReleaseNamedMutex(mutex.get());
  EXPECT_EQ(WaitOnOtherThread(mutex.get(), 50), MutexWait::TimedOut);
  ReleaseNamedMutex(mutex.get());
  EXPECT_EQ(WaitOnOtherThread(mutex.get(), 50), MutexWait::Acquired);
}

TEST_F(NamedMutexTest, OnlyTheOwnerReleases) {
  Mutex mutex(UniqueMutexName("owner"));
  ASSERT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  std::thread stranger([&] { ReleaseNamedMutex(mutex.get()); });
  stranger.join();
  EXPECT_EQ(WaitOnOtherThread(mutex.get(), 20), MutexWait::TimedOut);
  ReleaseNamedMutex(mutex.get());
}

TEST_F(NamedMutexTest, HandlesOfOneNameShareOneMutex) {
  std::string name = UniqueMutexName("shared");
  Mutex first(name);
  Mutex second(name);
  Mutex other(UniqueMutexName("other"));
  ASSERT_EQ(WaitNamedMutex(first.get(), 0), MutexWait::Acquired);
  EXPECT_EQ(WaitOnOtherThread(second.get(), 100), MutexWait::TimedOut);
  EXPECT_EQ(WaitOnOtherThread(other.get(), 0), MutexWait::Acquired);
  // The owner thread may take it through the other handle as well.
  ASSERT_EQ(WaitNamedMutex(second.get(), 0), MutexWait::Acquired);
  ReleaseNamedMutex(second.get());
  ReleaseNamedMutex(first.get());
  EXPECT_EQ(WaitOnOtherThread(second.get(), 0), MutexWait::Acquired);
}

TEST_F(NamedMutexTest, AWaiterGetsTheMutexWhenTheOwnerReleasesIt) {
  nc::test::CountingClock clock;
  ScopedClock useClock(&clock);
  Mutex mutex(UniqueMutexName("handover"));
  ASSERT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  std::atomic<bool> released{false};
  std::atomic<bool> sawRelease{false};
  MutexWait result = MutexWait::Failed;
  std::atomic<bool> finished{false};
  std::thread waiter([&] {
    result = WaitNamedMutex(mutex.get(), 300000);
    sawRelease = released.load();
    if (result == MutexWait::Acquired) ReleaseNamedMutex(mutex.get());
    finished = true;
  });
  while (clock.sleeps() < 3 && !finished) std::this_thread::yield();  // it is waiting
  EXPECT_FALSE(finished);
  released = true;
  ReleaseNamedMutex(mutex.get());
  waiter.join();
  EXPECT_EQ(result, MutexWait::Acquired);
  EXPECT_TRUE(sawRelease);
}

TEST_F(NamedMutexTest, BadHandlesAndNamesFail) {
  EXPECT_EQ(WaitNamedMutex(kNoMutex, 0), MutexWait::Failed);
  EXPECT_EQ(CreateNamedMutex(""), kNoMutex);
  EXPECT_EQ(CreateNamedMutex(nullptr), kNoMutex);
  ReleaseNamedMutex(kNoMutex);  // no effect, no crash
  CloseNamedMutex(kNoMutex);
}

#ifndef _WIN32
TEST_F(NamedMutexTest, NamesBecomeLockFilesInTheRuntimeFolder) {
  Mutex plain("NorvexQuadraForCM");
  Mutex odd("Global\\A/B");
  EXPECT_TRUE(std::filesystem::exists(machine_.folder().path() / "run" / "NorvexQuadraForCM.lock"));
  EXPECT_TRUE(std::filesystem::exists(machine_.folder().path() / "run" / "Global_5cA_2fB.lock"));
}
#endif

// ---------------------------------------------------------------------------
// Two processes. The helper waits with the system clock; so does this side.

class TwoProcessMutexTest : public ::testing::Test {
 protected:
  PrivateMachine machine_;
  nc::test::TempFolder markers_;
  std::filesystem::path Marker(const char* name) const { return markers_.path() / name; }
  std::string Result() const {
    return nc::test::ReadFileText((markers_.path() / "result").string());
  }
};

TEST_F(TwoProcessMutexTest, TheSecondProcessWaitsForTheFirstAndThenGetsIt) {
  std::string name = UniqueMutexName("processes");
  nc::test::MutexHelper first(name, markers_.path(), "hold");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(nc::test::WaitForFile(Marker("held")));
  EXPECT_EQ(Result(), "acquired");

  Mutex mutex(name);
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::TimedOut);
  nc::test::TouchFile(Marker("release"));
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 300000), MutexWait::Acquired);
  // The helper marks "released" just before it releases: the wait cannot
  // have ended earlier.
  EXPECT_TRUE(std::filesystem::exists(Marker("released")));
  ReleaseNamedMutex(mutex.get());
  EXPECT_EQ(first.Join(), 0);
}

TEST_F(TwoProcessMutexTest, AnotherProcessWaitsForThisOne) {
  std::string name = UniqueMutexName("processes");
  Mutex mutex(name);
  ASSERT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::Acquired);
  nc::test::TouchFile(Marker("release"));  // let it go as soon as it has the mutex
  nc::test::MutexHelper second(name, markers_.path(), "hold");
  ASSERT_TRUE(second.started());
  // Whatever it does meanwhile, it cannot hold the mutex yet.
  EXPECT_FALSE(std::filesystem::exists(Marker("held")));
  ReleaseNamedMutex(mutex.get());
  EXPECT_EQ(second.Join(), 0);
  EXPECT_EQ(Result(), "acquired");
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 300000), MutexWait::Acquired);
  ReleaseNamedMutex(mutex.get());
}

TEST_F(TwoProcessMutexTest, AKilledOwnersMutexIsTakenOverAsAbandoned) {
  std::string name = UniqueMutexName("killed");
  nc::test::MutexHelper owner(name, markers_.path(), "hold");
  ASSERT_TRUE(owner.started());
  ASSERT_TRUE(nc::test::WaitForFile(Marker("held")));
  Mutex mutex(name);
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 0), MutexWait::TimedOut);
  owner.Kill();
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 300000), MutexWait::Abandoned);
  ReleaseNamedMutex(mutex.get());
  // Released properly this time: the next owner finds it in order.
  EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), MutexWait::Acquired);
}

TEST_F(TwoProcessMutexTest, AnOwnerThatExitsWithoutReleasingLeavesItAbandoned) {
  std::string name = UniqueMutexName("exited");
  nc::test::MutexHelper owner(name, markers_.path(), "exit");
  ASSERT_TRUE(owner.started());
  ASSERT_TRUE(nc::test::WaitForFile(Marker("held")));
  // A handle of this process keeps the mutex in existence on Windows.
  Mutex mutex(name);
  nc::test::TouchFile(Marker("release"));
  EXPECT_EQ(owner.Join(), 3);
  EXPECT_EQ(WaitNamedMutex(mutex.get(), 300000), MutexWait::Abandoned);
  ReleaseNamedMutex(mutex.get());
}

}  // namespace
}  // namespace nc::platform
