// Time and waiting for the carriers' retry and wait policies. Tests replace
// the clock so that policies measured in minutes run in milliseconds.
#pragma once
#include <cstdint>

namespace nc::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds from an arbitrary fixed point; never goes back.
  virtual std::uint64_t NowMs() = 0;
  virtual void SleepMs(std::uint32_t ms) = 0;
};

// The clock in use: the system clock unless a test installed another.
Clock& CurrentClock();
// Installs `clock` (null restores the system clock).
void SetClock(Clock* clock);

}  // namespace nc::platform
