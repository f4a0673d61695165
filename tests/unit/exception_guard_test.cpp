// The fault guard around an operation's work.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <setjmp.h>
#include <signal.h>
#endif

#include <cstdint>

#include "fault_test_support.h"
#include "frame/guard_hook.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/exception_guard.h"
#include "platform/ui.h"

namespace nc::frame {
namespace {

// ---------------------------------------------------------------------------
// Faults

using nc::test::g_badAddress;
using nc::test::WriteThroughBadPointer;

[[gnu::noinline]] void ReadThroughBadPointer() {
  volatile int value = *reinterpret_cast<volatile int*>(g_badAddress);
  (void)value;
}

[[gnu::noinline]] void IllegalInstruction() { __builtin_trap(); }

struct Fault {
  const char* what;
  void (*raise)();
};
const Fault kFaults[] = {
    {"write through a bad pointer", WriteThroughBadPointer},
    {"read through a bad pointer", ReadThroughBadPointer},
    {"illegal instruction", IllegalInstruction},
};

// A piece of work that counts its steps and faults in between if told to.
struct Steps {
  void (*fault)() = nullptr;
  int before = 0;
  int after = 0;
};

void CountAndFault(void* context) {
  auto* steps = static_cast<Steps*>(context);
  ++steps->before;
  if (steps->fault != nullptr) steps->fault();
  ++steps->after;
}

TEST(RunGuarded, NormalWorkRunsToTheEnd) {
  Steps steps;
  EXPECT_TRUE(platform::RunGuarded(CountAndFault, &steps));
  EXPECT_EQ(steps.before, 1);
  EXPECT_EQ(steps.after, 1);
}

TEST(RunGuarded, CatchesAccessViolationsAndIllegalInstructions) {
  for (const Fault& f : kFaults) {
    SCOPED_TRACE(f.what);
    Steps steps;
    steps.fault = f.raise;
    EXPECT_FALSE(platform::RunGuarded(CountAndFault, &steps));
    EXPECT_EQ(steps.before, 1);
    EXPECT_EQ(steps.after, 0);
  }
}

TEST(RunGuarded, WorksManyTimesInARow) {
  int caught = 0;
  int finished = 0;
  for (int i = 0; i < 300; ++i) {
    Steps steps;
    steps.fault = i % 4 == 3 ? nullptr : kFaults[i % 3].raise;
    if (platform::RunGuarded(CountAndFault, &steps))
      ++finished;
    else
      ++caught;
  }
  EXPECT_EQ(caught, 225);
  EXPECT_EQ(finished, 75);
}

// Work that runs a guarded piece inside itself and may fault afterwards.
struct Nested {
  Steps inner;
  void (*outerFault)() = nullptr;
  bool innerFinished = false;
  int outerAfter = 0;
};

void RunInner(void* context) {
  auto* n = static_cast<Nested*>(context);
  n->innerFinished = platform::RunGuarded(CountAndFault, &n->inner);
  if (n->outerFault != nullptr) n->outerFault();
  ++n->outerAfter;
}

TEST(RunGuarded, NestedGuardsCatchTheirOwnFaults) {
  struct Case {
    const char* what;
    void (*innerFault)();
    void (*outerFault)();
    bool innerFinished;
    bool outerFinished;
  };
  const Case cases[] = {
      {"no fault", nullptr, nullptr, true, true},
      {"inner fault", WriteThroughBadPointer, nullptr, false, true},
      {"outer fault after the inner guard", nullptr, IllegalInstruction, true, false},
      {"both fault", IllegalInstruction, WriteThroughBadPointer, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Nested n;
    n.inner.fault = c.innerFault;
    n.outerFault = c.outerFault;
    EXPECT_EQ(platform::RunGuarded(RunInner, &n), c.outerFinished);
    EXPECT_EQ(n.innerFinished, c.innerFinished);
    EXPECT_EQ(n.outerAfter, c.outerFinished ? 1 : 0);
  }
  // The guard still works once the nesting is over.
  Steps steps;
  steps.fault = ReadThroughBadPointer;
  EXPECT_FALSE(platform::RunGuarded(CountAndFault, &steps));
}

TEST(RunGuarded, ThreadsFaultingAtTheSameTimeEachCatchTheirOwn) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 100;
  std::atomic<int> caught{0};
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        Steps steps;
        steps.fault = (i + t) % 2 == 0 ? kFaults[(i + t) % 3].raise : nullptr;
        bool done = platform::RunGuarded(CountAndFault, &steps);
        if (done != (steps.fault == nullptr) || steps.before != 1) return;
        ++(done ? finished : caught);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(caught.load(), kThreads * kRounds / 2);
  EXPECT_EQ(finished.load(), kThreads * kRounds / 2);
}

#ifndef _WIN32
// ---------------------------------------------------------------------------
// Faults outside a guarded region belong to whoever handled them before.

thread_local sigjmp_buf* t_hostJump = nullptr;
std::atomic<int> g_hostHandlerCalls{0};

void HostHandler(int) {
  ++g_hostHandlerCalls;
  siglongjmp(*t_hostJump, 1);
}

class HostSignalHandler {
 public:
  HostSignalHandler() {
    struct sigaction action = {};
    action.sa_handler = HostHandler;
    action.sa_flags = SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGILL, &action, &previous_);
  }
  ~HostSignalHandler() { sigaction(SIGILL, &previous_, nullptr); }

 private:
  struct sigaction previous_;
};

TEST(RunGuarded, HostHandlerIsRestoredAndStillGetsFaultsFromOutside) {
  HostSignalHandler host;
  g_hostHandlerCalls = 0;

  Steps steps;
  steps.fault = IllegalInstruction;
  EXPECT_FALSE(platform::RunGuarded(CountAndFault, &steps));
  EXPECT_EQ(g_hostHandlerCalls.load(), 0);
  struct sigaction now = {};
  sigaction(SIGILL, nullptr, &now);
  EXPECT_EQ(now.sa_handler, &HostHandler);

  // While another thread is inside a guarded region, a fault on this thread
  // goes to the host's handler.
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  struct Waiting {
    std::atomic<bool>* entered;
    std::atomic<bool>* release;
  } waiting{&entered, &release};
  bool otherFinished = false;
  std::thread other([&] {
    otherFinished = platform::RunGuarded(
        [](void* context) {
          auto* w = static_cast<Waiting*>(context);
          *w->entered = true;
          while (!*w->release) std::this_thread::yield();
        },
        &waiting);
  });
  while (!entered) std::this_thread::yield();
  sigjmp_buf jump;
  t_hostJump = &jump;
  if (sigsetjmp(jump, 1) == 0) IllegalInstruction();
  t_hostJump = nullptr;
  release = true;
  other.join();
  EXPECT_EQ(g_hostHandlerCalls.load(), 1);
  EXPECT_TRUE(otherFinished);
}
#endif

// ---------------------------------------------------------------------------
// A fault inside an operation

class GuardedOperationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetUi(&platform::HeadlessUi());
    test::WriteFileText(source_, kTable);
    test::WriteFileText(destination_, "previous table");
  }
  void TearDown() override {
    SetGuardedFaultHookForTests(nullptr);
    platform::SetUi(nullptr);
  }
  std::int32_t Import(std::string* text) {
    std::string options = "\"" + source_ + "\" \"" + destination_ + "\" /Y /NOLOGO";
    char result[512] = {};
    std::int32_t code = ZqGOSB(nullptr, options.c_str(), result, sizeof result);
    *text = result;
    return code;
  }

  static constexpr const char* kTable =
      "4 A 9 2 D 8 0 E\n6 B 1 C 7 F 5 3\nE B 4 C 6 D F A\n2 3 8 1 0 7 5 9\n"
      "5 8 1 D A 3 4 2\nE F C 7 6 0 9 B\n7 D A 1 0 8 9 F\n4 3 E 5 9 2 C B\n";
  test::TempFolder folder_;
  const std::string source_ = folder_ / "table.txt";
  const std::string destination_ = folder_ / "table.gtb";
};

TEST_F(GuardedOperationTest, FaultBecomesResult33AndLeavesTheDestinationAlone) {
  for (const Fault& f : kFaults) {
    SCOPED_TRACE(f.what);
    SetGuardedFaultHookForTests(f.raise);
    std::string text;
    EXPECT_EQ(Import(&text), 33);
    EXPECT_EQ(text, "ZQGOSB" + test::Native("33: Возникло необработанное исключение"));
    EXPECT_EQ(test::ReadFileText(destination_), "previous table");
    EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"table.gtb", "table.txt"}));
  }

  // The same job without the fault replaces the destination.
  SetGuardedFaultHookForTests(nullptr);
  std::string text;
  EXPECT_EQ(Import(&text), 0) << text;
  EXPECT_NE(test::ReadFileText(destination_), "previous table");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"table.gtb", "table.txt"}));
}

}  // namespace
}  // namespace nc::frame
