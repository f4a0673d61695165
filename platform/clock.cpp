// The system clock: a monotonic clock and the thread sleep of the standard
// library, the same on every platform.
#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace nc::platform {

namespace {

class SystemClock final : public Clock {
 public:
  std::uint64_t NowMs() override {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  }
  void SleepMs(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

SystemClock g_systemClock;
std::atomic<Clock*> g_clock{nullptr};

}  // namespace

Clock& CurrentClock() {
  Clock* clock = g_clock.load();
  return clock != nullptr ? *clock : g_systemClock;
}

void SetClock(Clock* clock) { g_clock.store(clock); }

bool UsingSystemClock() { return g_clock.load() == nullptr; }

}  // namespace nc::platform
