// The worker-thread protocol: the order of its steps, the thread the work
// runs on, and the results 0, 10, 28 and 29.
#include "frame/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "frame/result_text.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#endif

namespace nc::frame {
namespace {

// A job that records its steps.
struct Job {
  bool dialogOpens = true;
  std::int32_t exitCode = 0;
  std::vector<std::string> steps;
  std::thread::id workThread;
  std::atomic<int> workRuns{0};
  bool slow = false;
};

bool Open(void* context) {
  auto& job = *static_cast<Job*>(context);
  job.steps.push_back("open");
  return job.dialogOpens;
}
void Close(void* context) {
  auto& job = *static_cast<Job*>(context);
  job.steps.push_back(job.workRuns.load() != 0 ? "close after work" : "close");
}
std::int32_t Work(void* context) {
  auto& job = *static_cast<Job*>(context);
  job.workThread = std::this_thread::get_id();
  // A little work, so that a caller that did not wait would close too early.
  std::this_thread::sleep_for(std::chrono::milliseconds(job.slow ? 30 : 0));
  ++job.workRuns;
  return job.exitCode;
}

WorkerSteps StepsOf(Job& job) {
  WorkerSteps steps;
  steps.context = &job;
  steps.openDialog = Open;
  steps.closeDialog = Close;
  steps.work = Work;
  return steps;
}

class WorkerTest : public ::testing::Test {
 protected:
  void TearDown() override { SetWorkerStartHookForTests(nullptr); }
};

TEST_F(WorkerTest, WorkRunsOnItsOwnThreadBetweenOpenAndClose) {
  Job job;
  job.slow = true;
  Worker worker;
  EXPECT_EQ(RunWorker(worker, StepsOf(job), false), kResultOk);
  EXPECT_EQ(job.workRuns.load(), 1);
  EXPECT_NE(job.workThread, std::this_thread::get_id());
  EXPECT_EQ(job.steps, (std::vector<std::string>{"open", "close after work"}));
  EXPECT_FALSE(worker.started());  // joined
  EXPECT_EQ(worker.exitCode(), 0);
}

TEST_F(WorkerTest, QuietRunsWithoutADialog) {
  Job job;
  Worker worker;
  EXPECT_EQ(RunWorker(worker, StepsOf(job), true), kResultOk);
  EXPECT_EQ(job.workRuns.load(), 1);
  // Closing a dialog that was never opened is the close step's business.
  EXPECT_EQ(job.steps, (std::vector<std::string>{"close after work"}));
}

TEST_F(WorkerTest, ANonzeroExitCodeMeansCancelled) {
  for (std::int32_t exitCode : {1, 2, -1}) {
    Job job;
    job.exitCode = exitCode;
    Worker worker;
    EXPECT_EQ(RunWorker(worker, StepsOf(job), false), kResultCancelled) << exitCode;
    EXPECT_EQ(worker.exitCode(), exitCode);
  }
}

TEST_F(WorkerTest, ADialogThatCannotBeCreatedStopsBeforeTheWorker) {
  Job job;
  job.dialogOpens = false;
  Worker worker;
  EXPECT_EQ(RunWorker(worker, StepsOf(job), false), kResultDialogError);
  EXPECT_EQ(job.workRuns.load(), 0);
  EXPECT_EQ(job.steps, (std::vector<std::string>{"open"}));
  // Quiet: no dialog is asked for, so none can fail.
  Job quiet;
  quiet.dialogOpens = false;
  EXPECT_EQ(RunWorker(worker, StepsOf(quiet), true), kResultOk);
}

TEST_F(WorkerTest, AThreadThatCannotStartIsReportedAndTheDialogClosed) {
  SetWorkerStartHookForTests([] { return false; });
  Job job;
  Worker worker;
  EXPECT_EQ(RunWorker(worker, StepsOf(job), false), kResultThreadError);
  EXPECT_EQ(job.workRuns.load(), 0);
  EXPECT_EQ(job.steps, (std::vector<std::string>{"open", "close"}));
  EXPECT_FALSE(worker.started());
  JoinWorker(worker);  // nothing to join
}

TEST_F(WorkerTest, OneWorkerRecordServesRunAfterRun) {
  Worker worker;
  for (int round = 0; round < 20; ++round) {
    Job job;
    job.exitCode = round % 2;
    EXPECT_EQ(RunWorker(worker, StepsOf(job), round % 3 == 0),
              round % 2 ? kResultCancelled : kResultOk);
    EXPECT_EQ(job.workRuns.load(), 1);
  }
}

#ifdef _WIN32
// The caller's wait is the thread's message loop: messages for the caller's
// windows are dispatched while the worker runs, and a quit message ends the
// wait and is left for the host's own loop.
std::atomic<int> g_dispatched{0};
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    ++g_dispatched;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

struct WindowJob {
  HWND window = nullptr;
  DWORD callerThread = 0;
  bool dispatchedDuringWork = false;
};

TEST_F(WorkerTest, TheWaitDispatchesTheCallersMessagesAndKeepsTheQuitMessage) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"nccore-worker-test";
  ::RegisterClassW(&windowClass);
  WindowJob job;
  job.window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(job.window, nullptr);
  job.callerThread = ::GetCurrentThreadId();
  g_dispatched = 0;

  WorkerSteps steps;
  steps.context = &job;
  steps.openDialog = [](void*) { return true; };
  steps.closeDialog = [](void*) {};
  steps.work = [](void* context) -> std::int32_t {
    auto& j = *static_cast<WindowJob*>(context);
    ::PostMessageW(j.window, WM_APP, 0, 0);
    // Only the caller's loop can deliver it; the bound only keeps a broken
    // wait from hanging the test.
    for (int i = 0; i < 1000 && g_dispatched.load() == 0; ++i) ::Sleep(10);
    j.dispatchedDuringWork = g_dispatched.load() == 1;
    ::PostThreadMessageW(j.callerThread, WM_QUIT, 7, 0);
    return 0;
  };
  Worker worker;
  EXPECT_EQ(RunWorker(worker, steps, false), kResultOk);
  EXPECT_TRUE(job.dispatchedDuringWork);

  MSG msg;
  bool quit = false;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message == WM_QUIT) quit = msg.wParam == 7;
  EXPECT_TRUE(quit);
  ::DestroyWindow(job.window);
  ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}
#endif

}  // namespace
}  // namespace nc::frame
