// The caller's wait for a worker thread on POSIX: no window needs its
// messages dispatched, so it is a plain wait for the worker's signal.
#include <condition_variable>
#include <mutex>

#include "platform/progress_ui.h"

namespace nc::platform {

struct WorkerCompletion::State {
  std::mutex lock;
  std::condition_variable changed;
  bool done = false;
};

WorkerCompletion::WorkerCompletion() : state_(std::make_unique<State>()) {}

WorkerCompletion::~WorkerCompletion() = default;

void WorkerCompletion::Signal() {
  std::lock_guard<std::mutex> lock(state_->lock);
  state_->done = true;
  state_->changed.notify_all();
}

void WorkerCompletion::Wait() {
  std::unique_lock<std::mutex> lock(state_->lock);
  state_->changed.wait(lock, [this] { return state_->done; });
}

}  // namespace nc::platform
