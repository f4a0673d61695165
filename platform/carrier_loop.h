// The modal loop the text views of the carrier dialog share (scripted,
// preset password, terminal): the queue of posted commands, fault messages
// and the views' own work, the dialog's timer, and the end of the dialog.
// It hands everything to the dialog's logic on the thread that runs it, one
// message at a time, as a Windows dialog's message loop does.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/carrier_ui.h"

namespace nc::platform {

class CarrierLoop {
 public:
  // Any thread: queue a command (OK, Cancel, Help) for the logic, the fault
  // message, or a piece of the view's own work to run on the loop's thread.
  void PostCommand(int command);
  void PostFault();
  void PostAction(std::function<void()> action);

  // The loop's thread (from inside the logic's handlers).
  void End(int result);
  bool StartTimer(std::uint32_t periodMs);
  void StopTimer();

  // Runs the dialog on the calling thread: OnInit, then `afterInit` (when
  // the logic has not ended the dialog already), then the queued messages
  // and the timer ticks in order until End. Returns End's result. Ticks are
  // measured by platform::CurrentClock(), so test clocks drive them too;
  // `beforeTick` is called before the logic sees each tick.
  int Run(CarrierDialogHandler& handler, CarrierWindow& window,
          const std::function<void()>& afterInit = {},
          const std::function<void()>& beforeTick = {});

  // True on the thread inside Run.
  bool OnLoopThread() const { return std::this_thread::get_id() == thread_.load(); }

 private:
  struct Message {
    enum Kind { Command, Fault, Action } kind;
    int command = 0;
    std::function<void()> action;
  };
  void Post(Message message);

  std::mutex lock_;
  std::condition_variable posted_;
  std::deque<Message> queue_;
  bool timer_ = false;
  std::uint32_t periodMs_ = 0;
  std::uint64_t nextTickMs_ = 0;
  bool ended_ = false;  // the loop's thread only
  int result_ = -1;
  std::atomic<std::thread::id> thread_{};
};

}  // namespace nc::platform
