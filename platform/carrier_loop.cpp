// The carrier dialog's modal loop. With the system clock the loop sleeps on
// its queue until a message arrives or the next tick is due; with a test
// clock it looks at the queue every real millisecond and moves the test's
// time forward in short steps meanwhile, so that ticks come without waiting.
// Whatever the view, a request to end the process (platform/termination.h)
// cancels the dialog: the loop looks for one at least every 100 ms.
#include "platform/carrier_loop.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/carrier_ui.h"
#include "platform/clock.h"
#include "platform/termination.h"

namespace nc::platform {

namespace {
constexpr std::uint32_t kTestStepMs = 10;
constexpr std::uint64_t kTerminationCheckMs = 100;
}  // namespace

void CarrierLoop::Post(Message message) {
  std::lock_guard<std::mutex> lock(lock_);
  queue_.push_back(std::move(message));
  posted_.notify_all();
}

void CarrierLoop::PostCommand(int command) { Post({Message::Command, command, {}}); }

void CarrierLoop::PostFault() { Post({Message::Fault, 0, {}}); }

void CarrierLoop::PostAction(std::function<void()> action) {
  Post({Message::Action, 0, std::move(action)});
}

void CarrierLoop::End(int result) {
  ended_ = true;
  result_ = result;
}

bool CarrierLoop::StartTimer(std::uint32_t periodMs) {
  std::lock_guard<std::mutex> lock(lock_);
  timer_ = true;
  periodMs_ = periodMs;
  nextTickMs_ = CurrentClock().NowMs() + periodMs;
  return true;
}

void CarrierLoop::StopTimer() {
  std::lock_guard<std::mutex> lock(lock_);
  timer_ = false;
}

int CarrierLoop::Run(CarrierDialogHandler& handler, CarrierWindow& window,
                     const std::function<void()>& afterInit,
                     const std::function<void()>& beforeTick) {
  thread_.store(std::this_thread::get_id());
  ended_ = false;
  result_ = -1;
  handler.OnInit(window);
  if (!ended_ && afterInit) afterInit();
  bool terminationSeen = false;
  while (!ended_) {
    Message message{Message::Command, 0, {}};
    bool tick = false;
    {
      std::unique_lock<std::mutex> lock(lock_);
      for (;;) {
        if (!terminationSeen && TerminationRequested()) {
          terminationSeen = true;
          message = {Message::Command, kCarrierCancel, {}};
          break;
        }
        if (!queue_.empty()) {
          message = std::move(queue_.front());
          queue_.pop_front();
          break;
        }
        std::uint64_t untilTick = 0;
        if (timer_) {
          std::uint64_t now = CurrentClock().NowMs();
          if (now >= nextTickMs_) {
            nextTickMs_ = now + periodMs_;
            tick = true;
            break;
          }
          untilTick = nextTickMs_ - now;
        }
        if (UsingSystemClock()) {
          posted_.wait_for(
              lock, std::chrono::milliseconds(timer_ ? std::min(untilTick, kTerminationCheckMs)
                                                     : kTerminationCheckMs));
        } else {
          posted_.wait_for(lock, std::chrono::milliseconds(1));
          if (queue_.empty() && timer_) {
            lock.unlock();
            CurrentClock().SleepMs(
                static_cast<std::uint32_t>(std::min<std::uint64_t>(untilTick, kTestStepMs)));
            lock.lock();
          }
        }
      }
    }
    if (tick) {
      if (beforeTick) beforeTick();
      handler.OnTimer(window);
      continue;
    }
    switch (message.kind) {
      case Message::Command:
        handler.OnCommand(window, message.command);
        break;
      case Message::Fault:
        handler.OnFault(window);
        break;
      case Message::Action:
        message.action();
        break;
    }
  }
  thread_.store(std::thread::id());
  return result_;
}

}  // namespace nc::platform
