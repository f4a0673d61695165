// A manual-reset event: the carrier dialog's only signal to its polling
// thread. Signalled once, it stays signalled.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace nc::protect {

class StopEvent {
 public:
  void Signal();
  // Waits at most `ms` milliseconds (through platform::CurrentClock when a
  // test clock is installed); true when the event is signalled.
  bool Wait(std::uint32_t ms);
  bool Signalled();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace nc::protect
