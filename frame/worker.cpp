#include "frame/worker.h"

#include <atomic>
#include <system_error>

#include "frame/result_text.h"

namespace nc::frame {

namespace {

std::atomic<bool (*)()> g_startHook{nullptr};

bool StartAllowed() {
  auto hook = g_startHook.load();
  return hook == nullptr || hook();
}

}  // namespace

Worker::~Worker() { JoinWorker(*this); }

int RunWorker(Worker& worker, const WorkerSteps& steps, bool quiet) {
  if (!quiet && !steps.openDialog(steps.context)) return kResultDialogError;

  // Made here, on the caller's thread, before the worker can signal it.
  worker.completion_ = std::make_unique<platform::WorkerCompletion>();
  worker.exitCode_ = 0;
  bool started = false;
  if (StartAllowed()) {
    try {
      worker.thread_ = std::thread([&worker, steps] {
        worker.exitCode_ = steps.work(steps.context);
        worker.completion_->Signal();
      });
      started = true;
    } catch (const std::system_error&) {
      started = false;
    }
  }
  if (!started) {
    steps.closeDialog(steps.context);
    return kResultThreadError;
  }

  worker.completion_->Wait();
  steps.closeDialog(steps.context);
  JoinWorker(worker);
  const bool cancelled =
      steps.word != nullptr && (steps.word->load() & platform::kProgressCancel) != 0;
  return worker.exitCode_ != 0 || cancelled ? kResultCancelled : kResultOk;
}

void JoinWorker(Worker& worker) {
  if (worker.thread_.joinable()) worker.thread_.join();
}

void SetWorkerStartHookForTests(bool (*hook)()) { g_startHook.store(hook); }

}  // namespace nc::frame
