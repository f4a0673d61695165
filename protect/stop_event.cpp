// The stop event. With the system clock a wait blocks on the condition; with
// a test clock installed it polls in short slices slept through that clock,
// so that time moves only as the test's clock says.
#include "protect/stop_event.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace nc::protect {

namespace {
constexpr std::uint32_t kTestSliceMs = 10;
}

void StopEvent::Signal() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  changed_.notify_all();
}

bool StopEvent::Signalled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

bool StopEvent::Wait(std::uint32_t ms) {
  if (platform::UsingSystemClock()) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; });
  }
  platform::Clock& clock = platform::CurrentClock();
  const std::uint64_t start = clock.NowMs();
  for (;;) {
    if (Signalled()) return true;
    const std::uint64_t elapsed = clock.NowMs() - start;
    if (elapsed >= ms) return false;
    clock.SleepMs(static_cast<std::uint32_t>(std::min<std::uint64_t>(kTestSliceMs, ms - elapsed)));
    std::this_thread::yield();
  }
}

}  // namespace nc::protect
