// The Activator/M dongle layer: the client calls of carriers/drivers/
// activator_client.h under the cross-process mutex "ActivatorMForCM", with
// probes and their retries, double reads, decoy reads, and the port-timing
// calibration stored in the settings (registry) value "SSI_ACT".
//
// Process-wide state: the mutex handle (open between ActivatorOpen and
// ActivatorClose), the calibrated flag and the timing value; calibration
// runs at most once per process (later processes take the stored value).
// Waits go through platform::CurrentClock.
#pragma once
#include <cstdint>
#include <optional>

#include "carriers/drivers/activator_client.h"

namespace nc::carriers {

inline constexpr char kActivatorMutexName[] = "ActivatorMForCM";
inline constexpr std::uint32_t kActivatorMutexWaitMs = 300000;
inline constexpr char kActivatorSettingsKey[] = "SOFTWARE\\Corvane Technologies\\NCX\\2.0";
inline constexpr char kActivatorTimingValue[] = "SSI_ACT";
inline constexpr std::uint32_t kActivatorRetryWaitMs = 1000;
inline constexpr std::uint32_t kActivatorProbes = 10;        // probes before giving up
inline constexpr std::uint32_t kActivatorWordAttempts = 10;  // double reads per word

// Seeds the decoy generator, creates the mutex and, under it, calibrates
// (once per process; the outcome does not matter here). True when the
// mutex was acquired.
bool ActivatorOpen();
// Reads `count` 16-bit words from word address `address`: under the mutex,
// probe (or calibrate), decoy reads, probe, each word read twice until two
// reads agree, decoy reads. False on any failure.
bool ActivatorRead(std::uint32_t address, std::uint16_t* words, std::uint32_t count);
// Closes the mutex handle (releasing first what the calling thread still
// holds after a fault). The calibration stays for the process.
void ActivatorClose();

// The calibrated timing value, if any.
std::optional<std::uint32_t> ActivatorTiming();
// Forgets the calibration as if the process had started again (tests and
// demonstrations of the first use on a machine).
void ActivatorForgetCalibration();

// ---- the calibration search, step by step --------------------------------------------
namespace activator_calibration {

// One test of a timing value: set it, then 10 times probe, store "ABC" at
// word address 56, read it back and compare.
bool TestTiming(drivers::ActivatorClient& client, std::uint32_t timing);

struct Bracket {
  std::uint32_t lower = 0;    // a failing value (0: none failed)
  std::uint32_t upper = 0;    // a passing value
  std::uint32_t current = 0;  // the last value tested
};
// Test 128 and halve while it passes (down to 1), or test 1000 when 128
// fails; nothing when 1000 fails too.
std::optional<Bracket> FindBracket(drivers::ActivatorClient& client);
// The bisection step for a lower bound: 64 above 320, 32 above 160, 16
// above 80, 8 above 40, else 4.
std::uint32_t BisectionStep(std::uint32_t lower);
// Bisects while the current value is above 2 and the bracket is at least a
// step wide; returns the last value tested.
std::uint32_t Refine(drivers::ActivatorClient& client, Bracket bracket);
// The stored value for the search's result r: 10 below 4, else r + r/2 + r/4.
std::uint32_t StoredTiming(std::uint32_t r);
// The whole calibration: the stored value when the key and value exist,
// else the search, storing its result; then the timing is set. Nothing when
// the search fails.
std::optional<std::uint32_t> Calibrate(drivers::ActivatorClient& client);

}  // namespace activator_calibration

}  // namespace nc::carriers
