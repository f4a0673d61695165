// Time and waiting for the carriers' retry and wait policies. Tests replace
// the clock so that policies measured in minutes run in milliseconds.
#pragma once
#include <atomic>
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
// True while the system clock is the one in use (no test clock installed):
// waits may then block in the system instead of polling.
bool UsingSystemClock();

// A clock for tests: time moves only when someone sleeps, and a sleep
// returns at once after moving it. Every sleep is counted, so a test can
// check a wait policy (how many waits, how long in all) without waiting.
// Safe to share between threads.
class InstantClock : public Clock {
 public:
  explicit InstantClock(std::uint64_t startMs = 1000000) : now_(startMs) {}
  std::uint64_t NowMs() override { return now_.load(); }
  void SleepMs(std::uint32_t ms) override {
    now_ += ms;
    ++sleeps_;
    slept_ += ms;
  }
  // Moves time without counting a sleep.
  void Advance(std::uint64_t ms) { now_ += ms; }
  std::uint64_t sleeps() const { return sleeps_.load(); }
  std::uint64_t sleptMs() const { return slept_.load(); }
  void ResetCounts() {
    sleeps_ = 0;
    slept_ = 0;
  }

 private:
  std::atomic<std::uint64_t> now_;
  std::atomic<std::uint64_t> sleeps_{0};
  std::atomic<std::uint64_t> slept_{0};
};

// Installs a clock for the life of the object, then restores the system one.
class ScopedClock {
 public:
  explicit ScopedClock(Clock* clock) { SetClock(clock); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
  ~ScopedClock() { SetClock(nullptr); }
};

}  // namespace nc::platform
