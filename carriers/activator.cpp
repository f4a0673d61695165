// The Activator/M dongle layer (see activator.h).
#include "carriers/activator.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/settings.h"
#include "zq/wipe.h"

namespace nc::carriers {

namespace {

// ---- process-wide state ------------------------------------------------------------------

platform::NamedMutexHandle g_mutex = platform::kNoMutex;
thread_local int t_held = 0;  // acquisitions of this thread not yet released
bool g_calibrated = false;
std::uint32_t g_timing = 0;
std::uint32_t g_random = 1;  // the decoy generator (15-bit LCG), seeded by ActivatorOpen

std::uint32_t Random() {
  g_random = g_random * 214013u + 2531011u;
  return (g_random >> 16) & 0x7FFFu;
}

bool Acquire() {
  if (g_mutex == platform::kNoMutex) return false;
  platform::MutexWait wait = platform::WaitNamedMutex(g_mutex, kActivatorMutexWaitMs);
  if (wait != platform::MutexWait::Acquired && wait != platform::MutexWait::Abandoned) {
    return false;
  }
  ++t_held;
  return true;
}

void Release() {
  if (t_held <= 0) return;
  --t_held;
  platform::ReleaseNamedMutex(g_mutex);
}

// Probes until the dongle answers: at most kActivatorProbes probes, with a
// wait between two of them.
bool ProbeWithRetries(drivers::ActivatorClient& client) {
  for (std::uint32_t attempt = 1;; ++attempt) {
    if (client.Probe(11, 17) == 0) return true;
    if (attempt == kActivatorProbes) return false;
    platform::CurrentClock().SleepMs(kActivatorRetryWaitMs);
  }
}

// Zero to one reads of consecutive random words, their values discarded.
void DecoyReads(drivers::ActivatorClient& client) {
  std::uint32_t count = Random() % 2;
  std::uint32_t start = Random() % (63 - count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t ignored = 0;
    client.ReadWord(start + i, &ignored);
    SecureWipe(&ignored, sizeof ignored);
  }
}

// One word, accepted when two reads in a row agree.
bool ReadAgreed(drivers::ActivatorClient& client, std::uint32_t address, std::uint16_t* value) {
  for (std::uint32_t attempt = 0; attempt < kActivatorWordAttempts; ++attempt) {
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    bool agreed =
        client.ReadWord(address, &first) && client.ReadWord(address, &second) && first == second;
    if (agreed) *value = first;
    SecureWipe(&first, sizeof first);
    SecureWipe(&second, sizeof second);
    if (agreed) return true;
  }
  return false;
}

bool ReadUnderMutex(drivers::ActivatorClient& client, std::uint32_t address, std::uint16_t* words,
                    std::uint32_t count) {
  if (g_calibrated) {
    if (!ProbeWithRetries(client)) return false;
  } else {
    std::optional<std::uint32_t> timing = activator_calibration::Calibrate(client);
    if (!timing) return false;
    g_timing = *timing;
    g_calibrated = true;
  }
  DecoyReads(client);
  if (!ProbeWithRetries(client)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!ReadAgreed(client, address + i, &words[i])) return false;
  }
  DecoyReads(client);
  return true;
}

}  // namespace

// ---- the calibration ---------------------------------------------------------------------

namespace activator_calibration {

bool TestTiming(drivers::ActivatorClient& client, std::uint32_t timing) {
  static const char kText[] = "ABC";
  client.SetTiming(timing, timing, timing);
  for (int round = 0; round < 10; ++round) {
    if (client.Probe(11, 17) != 0) return false;
    if (!client.StoreText(56, kText, 3)) return false;
    char back[3] = {};
    if (!client.ReadText(56, back, 3) || std::memcmp(back, kText, 3) != 0) return false;
  }
  return true;
}

std::optional<Bracket> FindBracket(drivers::ActivatorClient& client) {
  if (!TestTiming(client, 128)) {
    if (!TestTiming(client, 1000)) return std::nullopt;
    return Bracket{128, 1000, 1000};
  }
  std::uint32_t value = 128;
  while (value > 1) {
    std::uint32_t half = value / 2;
    if (!TestTiming(client, half)) return Bracket{half, value, half};
    value = half;
  }
  return Bracket{0, 1, 1};  // it works down to 1
}

std::uint32_t BisectionStep(std::uint32_t lower) {
  if (lower > 320) return 64;
  if (lower > 160) return 32;
  if (lower > 80) return 16;
  if (lower > 40) return 8;
  return 4;
}

std::uint32_t Refine(drivers::ActivatorClient& client, Bracket bracket) {
  while (bracket.current > 2) {
    if (bracket.upper - bracket.lower < BisectionStep(bracket.lower)) break;
    std::uint32_t middle = (bracket.upper + bracket.lower) / 2;
    if (TestTiming(client, middle)) {
      bracket.upper = middle;
    } else {
      bracket.lower = middle;
    }
    bracket.current = middle;
  }
  return bracket.current;
}

std::uint32_t StoredTiming(std::uint32_t r) { return r < 4 ? 10 : r + r / 2 + r / 4; }

std::optional<std::uint32_t> Calibrate(drivers::ActivatorClient& client) {
  bool existed = platform::SettingsKeyExists(kActivatorSettingsKey);
  platform::CreateSettingsKey(kActivatorSettingsKey);
  std::uint32_t timing = 0;
  if (!existed ||
      !platform::ReadSettingDword(kActivatorSettingsKey, kActivatorTimingValue, &timing)) {
    std::optional<Bracket> bracket = FindBracket(client);
    if (!bracket) return std::nullopt;
    timing = StoredTiming(Refine(client, *bracket));
    platform::WriteSettingDword(kActivatorSettingsKey, kActivatorTimingValue, timing);
  }
  client.SetTiming(timing, timing, timing);
  return timing;
}

}  // namespace activator_calibration

// ---- the layer ---------------------------------------------------------------------------

bool ActivatorOpen() {
  g_random = static_cast<std::uint32_t>(platform::CurrentClock().NowMs());
  if (g_mutex == platform::kNoMutex) {
    g_mutex = platform::CreateNamedMutex(kActivatorMutexName);
    if (g_mutex == platform::kNoMutex) return false;
  }
  if (!Acquire()) return false;
  if (!g_calibrated) {
    std::optional<std::uint32_t> timing =
        activator_calibration::Calibrate(drivers::CurrentActivatorClient());
    if (timing) {
      g_timing = *timing;
      g_calibrated = true;
    }
  }
  Release();
  return true;
}

bool ActivatorRead(std::uint32_t address, std::uint16_t* words, std::uint32_t count) {
  if (words == nullptr && count != 0) return false;
  if (!Acquire()) return false;
  bool ok = ReadUnderMutex(drivers::CurrentActivatorClient(), address, words, count);
  Release();
  return ok;
}

void ActivatorClose() {
  if (g_mutex == platform::kNoMutex) return;
  while (t_held > 0) Release();
  platform::CloseNamedMutex(g_mutex);
  g_mutex = platform::kNoMutex;
}

std::optional<std::uint32_t> ActivatorTiming() {
  if (!g_calibrated) return std::nullopt;
  return g_timing;
}

void ActivatorForgetCalibration() {
  g_calibrated = false;
  g_timing = 0;
}

}  // namespace nc::carriers
