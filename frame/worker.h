// The worker-thread protocol of the long generators (GOST common numbers,
// RSA key pairs): the caller's thread opens the job's progress dialog
// (unless quiet), starts the worker thread, waits for its completion signal
// while keeping the dialog alive, closes the dialog, joins the thread and
// takes its exit code.
#pragma once
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/progress_ui.h"

namespace nc::frame {

struct WorkerSteps {
  void* context = nullptr;
  // Creates the job's progress dialog; false when it cannot be created.
  bool (*openDialog)(void* context) = nullptr;
  // Destroys the dialog; also called when it was never opened.
  void (*closeDialog)(void* context) = nullptr;
  // The work, run on the worker thread; its result is the thread's exit
  // code, nonzero when the work stopped at the user's request.
  std::int32_t (*work)(void* context) = nullptr;
  // The window's word, when the job has one: a cancel the user gave after
  // the work last looked (its final step may not report again) still
  // counts, so nothing is written after the user asked to stop.
  const platform::ProgressWord* word = nullptr;
};

// The worker thread, kept in the job's record (not in the guarded work's
// frame) so that the job's cleanup can join it whatever happened.
class Worker {
 public:
  Worker() = default;
  ~Worker();  // joins a thread still running
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bool started() const { return thread_.joinable(); }
  std::int32_t exitCode() const { return exitCode_; }

 private:
  friend int RunWorker(Worker& worker, const WorkerSteps& steps, bool quiet);
  friend void JoinWorker(Worker& worker);

  std::unique_ptr<platform::WorkerCompletion> completion_;
  std::int32_t exitCode_ = 0;
  std::thread thread_;
};

// Runs the protocol:
//   1. unless `quiet`, openDialog; failure -> 28;
//   2. start the worker thread; failure -> 29 (the dialog is closed);
//   3. wait for the worker's completion signal, keeping the dialog alive;
//   4. closeDialog, join the thread, take its exit code;
//   5. a nonzero exit code -> 10, else 0.
// Returns kResultOk, kResultDialogError, kResultThreadError or
// kResultCancelled.
int RunWorker(Worker& worker, const WorkerSteps& steps, bool quiet);
// Waits for a started worker thread to end. Safe to repeat. A job's cleanup
// makes the work stop first (its cancel bit) when the wait was cut short.
void JoinWorker(Worker& worker);

// For tests: while a hook is set, each worker start asks it first and fails
// as if the system refused the thread when it returns false.
void SetWorkerStartHookForTests(bool (*hook)());

}  // namespace nc::frame
