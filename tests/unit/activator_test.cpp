// The Activator/M dongle layer over the simulated client: the port-timing
// calibration (its search, its stored value, once per process), reads with
// probes, double reads and decoys, the mutex, and a fault in the client.
#include "carriers/activator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "carrier_test_support.h"
#include "platform/named_mutex.h"
#include "platform/settings.h"

namespace nc::carriers {
namespace {

using nc::test::CarrierTest;
namespace calibration = activator_calibration;

class ActivatorTest : public CarrierTest {
 protected:
  ActivatorTest() {
    SimActivator dongle;
    for (std::uint32_t i = 0; i < kSimActivatorWords; ++i) {
      dongle.words[i] = static_cast<std::uint16_t>(0xA000 + i * 7);
    }
    devices_.activator = dongle;
  }
  void WorksFrom(std::uint32_t minTiming, std::uint32_t maxTiming = 0xFFFFFFFF) {
    devices_.activator->minTiming = minTiming;
    devices_.activator->maxTiming = maxTiming;
  }
  std::optional<std::uint32_t> Stored() {
    std::uint32_t value = 0;
    if (!platform::ReadSettingDword(kActivatorSettingsKey, kActivatorTimingValue, &value)) {
      return std::nullopt;
    }
    return value;
  }
  int Calls(const char* call) { return devices_.log.calls[call]; }
};

// ---------------------------------------------------------------------------
// The search

struct SearchCase {
  const char* what;
  std::uint32_t minTiming, maxTiming;
  std::vector<std::uint32_t> timings;  // values set, the stored one last
  std::optional<std::uint32_t> stored;
};

const SearchCase kSearchCases[] = {
    {"works down to 1: stores 10", 1, 0xFFFFFFFF, {128, 64, 32, 16, 8, 4, 2, 1, 10}, 10},
    {"fails at 2: the search ends below 4, stores 10",
     3,
     0xFFFFFFFF,
     {128, 64, 32, 16, 8, 4, 2, 10},
     10},
    {"fails at 4: one bisection step of 4", 5, 0xFFFFFFFF, {128, 64, 32, 16, 8, 4, 6, 10}, 10},
    {"lower bound 40 keeps step 4 down to a 2-wide bracket",
     42,
     0xFFFFFFFF,
     {128, 64, 32, 48, 40, 44, 42, 73},
     73},
    {"lower bound above 40 bisects with step 8 and stops at a 4-wide bracket",
     70,
     0xFFFFFFFF,
     {128, 64, 96, 80, 72, 68, 119},
     119},
    {"128 fails, 1000 passes: steps 16, then 32 above 160",
     200,
     0xFFFFFFFF,
     {128, 1000, 564, 346, 237, 182, 209, 365},
     365},
    {"fails at 128 and at 1000: nothing stored", 1001, 0xFFFFFFFF, {128, 1000}, std::nullopt},
    {"works only below 128: nothing stored", 1, 100, {128, 1000}, std::nullopt},
};

TEST_F(ActivatorTest, TheCalibrationSearchFindsAndStoresTheTiming) {
  for (const SearchCase& c : kSearchCases) {
    SCOPED_TRACE(c.what);
    platform::DeleteSettingsKey(kActivatorSettingsKey);
    ActivatorClose();
    ActivatorForgetCalibration();
    WorksFrom(c.minTiming, c.maxTiming);
    devices_.log = SimLog();
    EXPECT_TRUE(ActivatorOpen());  // true whatever the calibration gives
    EXPECT_EQ(devices_.log.activatorTimings, c.timings);
    EXPECT_EQ(Stored(), c.stored);
    EXPECT_EQ(ActivatorTiming(), c.stored);
    // A missing key is created in any case.
    EXPECT_TRUE(platform::SettingsKeyExists(kActivatorSettingsKey));
  }
}

TEST(ActivatorCalibration, BisectionStepsChangeAboveTheirBounds) {
  const std::pair<std::uint32_t, std::uint32_t> rows[] = {
      {0, 4},    {40, 4},   {41, 8},   {80, 8},    {81, 16},        {160, 16},
      {161, 32}, {320, 32}, {321, 64}, {1000, 64}, {0xFFFFFFFF, 64}};
  for (auto [lower, step] : rows) {
    EXPECT_EQ(calibration::BisectionStep(lower), step) << lower;
  }
}

TEST(ActivatorCalibration, TheStoredValueAddsHalfAndQuarter) {
  const std::pair<std::uint32_t, std::uint32_t> rows[] = {
      {0, 10}, {1, 10}, {3, 10}, {4, 7}, {7, 11}, {42, 73}, {68, 119}, {1000, 1750}};
  for (auto [r, stored] : rows) {
    EXPECT_EQ(calibration::StoredTiming(r), stored) << r;
  }
}

struct RefineCase {
  const char* what;
  calibration::Bracket bracket;
  std::uint32_t minTiming;
  std::vector<std::uint32_t> tested;
  std::uint32_t result;
};

const RefineCase kRefineCases[] = {
    {"lower bound 41: step 8, stops 4 wide", {41, 57, 41}, 45, {49, 45}, 45},
    {"lower bound 40: step 4, then 8 once above 40", {40, 56, 40}, 45, {48, 44}, 44},
    {"41 to 48 is narrower than step 8: nothing tested", {41, 48, 41}, 45, {}, 41},
    {"40 to 47 is not narrower than step 4", {40, 47, 40}, 45, {43}, 43},
    {"current value 2: no bisection", {2, 4, 2}, 3, {}, 2},
    {"step 64 above 320: stops 42 wide", {321, 1000, 1000}, 700, {660, 830, 745, 702}, 702},
};

TEST_F(ActivatorTest, RefiningBisectsWithTheStepOfTheLowerBound) {
  for (const RefineCase& c : kRefineCases) {
    SCOPED_TRACE(c.what);
    WorksFrom(c.minTiming);
    devices_.log = SimLog();
    EXPECT_EQ(calibration::Refine(drivers::CurrentActivatorClient(), c.bracket), c.result);
    EXPECT_EQ(devices_.log.activatorTimings, c.tested);
  }
}

TEST_F(ActivatorTest, ATimingPassesOnlyWhenAllTenRoundsPass) {
  drivers::ActivatorClient& client = drivers::CurrentActivatorClient();
  WorksFrom(50);
  EXPECT_TRUE(calibration::TestTiming(client, 50));
  EXPECT_EQ(Calls("activator.probe"), 10);
  EXPECT_EQ(Calls("activator.store"), 10);
  EXPECT_FALSE(calibration::TestTiming(client, 49));

  // A probe that fails in the seventh round.
  devices_.failures["activator.probe"].next = {0, 0, 0, 0, 0, 0, 3};
  EXPECT_FALSE(calibration::TestTiming(client, 50));
  // A store that fails in the last round.
  devices_.failures["activator.store"].next = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_FALSE(calibration::TestTiming(client, 50));
  // The text goes to word address 56: "AB" then "C".
  EXPECT_TRUE(calibration::TestTiming(client, 50));
  EXPECT_EQ(devices_.activator->words[56], 'A' | ('B' << 8));
  EXPECT_EQ(devices_.activator->words[57] & 0xFF, 'C');
}

// ---------------------------------------------------------------------------
// The stored value

TEST_F(ActivatorTest, AStoredValueSkipsTheSearch) {
  ASSERT_TRUE(platform::WriteSettingDword(kActivatorSettingsKey, kActivatorTimingValue, 77));
  EXPECT_TRUE(ActivatorOpen());
  EXPECT_EQ(devices_.log.activatorTimings, (std::vector<std::uint32_t>{77}));
  EXPECT_EQ(Calls("activator.probe"), 0);
  EXPECT_EQ(ActivatorTiming(), 77u);
  EXPECT_EQ(Stored(), 77u);
}

TEST_F(ActivatorTest, AKeyWithoutTheValueIsSearchedAndFilledIn) {
  ASSERT_TRUE(platform::CreateSettingsKey(kActivatorSettingsKey));
  ASSERT_TRUE(platform::WriteSettingDword(kActivatorSettingsKey, "Other", 5));
  WorksFrom(1);
  EXPECT_TRUE(ActivatorOpen());
  EXPECT_EQ(Stored(), 10u);
  std::uint32_t other = 0;
  EXPECT_TRUE(platform::ReadSettingDword(kActivatorSettingsKey, "Other", &other));
  EXPECT_EQ(other, 5u);
}

TEST_F(ActivatorTest, CalibrationRunsOncePerProcessAndANewProcessTakesTheStoredValue) {
  WorksFrom(70);
  EXPECT_TRUE(ActivatorOpen());
  ASSERT_EQ(Stored(), 119u);
  ActivatorClose();
  devices_.log = SimLog();
  EXPECT_TRUE(ActivatorOpen());
  EXPECT_TRUE(devices_.log.activatorTimings.empty());
  ActivatorClose();
  // A new process: the stored value, no search.
  ActivatorForgetCalibration();
  EXPECT_TRUE(ActivatorOpen());
  EXPECT_EQ(devices_.log.activatorTimings, (std::vector<std::uint32_t>{119}));
}

// ---------------------------------------------------------------------------
// Reads

TEST_F(ActivatorTest, ReadsWordsTwiceEachBetweenDecoys) {
  WorksFrom(1);
  ASSERT_TRUE(ActivatorOpen());
  std::set<std::size_t> before, after;
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    devices_.log.activatorReads.clear();
    clock_.Advance(3);
    std::uint16_t words[8] = {};
    ASSERT_TRUE(ActivatorRead(4, words, 8));
    for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(words[i], 0xA000 + (4 + i) * 7) << i;
    // [decoy] 4 4 5 5 ... 11 11 [decoy]
    const auto& reads = devices_.log.activatorReads;
    std::vector<std::uint32_t> doubled;
    for (std::uint32_t i = 4; i < 12; ++i) doubled.insert(doubled.end(), {i, i});
    auto at = std::search(reads.begin(), reads.end(), doubled.begin(), doubled.end());
    ASSERT_NE(at, reads.end());
    std::size_t first = static_cast<std::size_t>(at - reads.begin());
    before.insert(first);
    after.insert(reads.size() - first - doubled.size());
    for (std::size_t i = 0; i < reads.size(); ++i) {
      if (i < first || i >= first + doubled.size()) {
        EXPECT_LE(reads[i], 62u);
      }
    }
  }
  EXPECT_EQ(before, (std::set<std::size_t>{0, 1}));
  EXPECT_EQ(after, (std::set<std::size_t>{0, 1}));
}

TEST_F(ActivatorTest, TwoReadsMustAgree) {
  WorksFrom(1);
  ASSERT_TRUE(ActivatorOpen());
  // Every other read is disturbed: no two reads in a row agree, and each
  // word is given up after 10 attempts.
  Injection& disturb = devices_.failures["activator.read"];
  for (int i = 0; i < 40; ++i) disturb.next.push_back(i % 2 == 0 ? 0x0100 : 0);
  std::uint16_t word = 0;
  EXPECT_FALSE(ActivatorRead(2, &word, 1));
  EXPECT_EQ(std::count(devices_.log.activatorReads.begin(), devices_.log.activatorReads.end(), 2u),
            20);
  // One disturbed read is outvoted by the next two.
  disturb.next = {0, 0x0100};
  devices_.log = SimLog();
  ASSERT_TRUE(ActivatorRead(2, &word, 1));
  EXPECT_EQ(word, 0xA000 + 2 * 7);
}

TEST_F(ActivatorTest, ProbesAreRetriedTenTimesWithAWaitBetween) {
  ASSERT_TRUE(platform::WriteSettingDword(kActivatorSettingsKey, kActivatorTimingValue, 100));
  ASSERT_TRUE(ActivatorOpen());
  std::uint16_t words[4] = {};
  devices_.failures["activator.probe"].next.assign(9, 3);
  EXPECT_TRUE(ActivatorRead(0, words, 4));
  EXPECT_EQ(Calls("activator.probe"), 11);  // 9 failures, then one each before and after decoys
  EXPECT_EQ(clock_.sleeps(), 9u);
  EXPECT_EQ(clock_.sleptMs(), 9u * kActivatorRetryWaitMs);

  devices_.log = SimLog();
  clock_.ResetCounts();
  devices_.failures["activator.probe"].next.assign(10, 3);
  EXPECT_FALSE(ActivatorRead(0, words, 4));
  EXPECT_EQ(Calls("activator.probe"), 10);
  EXPECT_TRUE(devices_.log.activatorReads.empty());

  // The second probe, after the decoys, has ten tries of its own.
  devices_.log = SimLog();
  devices_.failures["activator.probe"].next = {0, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
  EXPECT_FALSE(ActivatorRead(0, words, 4));
  EXPECT_EQ(Calls("activator.probe"), 11);
  EXPECT_LE(devices_.log.activatorReads.size(), 1u);  // a decoy at most, no word read
}

TEST_F(ActivatorTest, AStoredTimingTheDongleDoesNotTakeFailsTheRead) {
  ASSERT_TRUE(platform::WriteSettingDword(kActivatorSettingsKey, kActivatorTimingValue, 20));
  WorksFrom(50);
  ASSERT_TRUE(ActivatorOpen());
  std::uint16_t words[4] = {};
  EXPECT_FALSE(ActivatorRead(0, words, 4));
  EXPECT_EQ(Calls("activator.probe"), 10);
}

TEST_F(ActivatorTest, AReadAfterAFailedCalibrationCalibratesAgain) {
  WorksFrom(5000);
  ASSERT_TRUE(ActivatorOpen());
  EXPECT_FALSE(ActivatorTiming());
  std::uint16_t word = 0;
  devices_.log = SimLog();
  EXPECT_FALSE(ActivatorRead(0, &word, 1));
  EXPECT_EQ(devices_.log.activatorTimings, (std::vector<std::uint32_t>{128, 1000}));
  // The dongle is replaced by one that works: the next read calibrates.
  WorksFrom(1);
  EXPECT_TRUE(ActivatorRead(0, &word, 1));
  EXPECT_EQ(word, 0xA000);
  EXPECT_EQ(ActivatorTiming(), 10u);
}

TEST_F(ActivatorTest, WithoutADongleOpenSucceedsAndReadsFail) {
  InstallSimulatedDevices(nullptr);
  EXPECT_TRUE(ActivatorOpen());
  std::uint16_t word = 0;
  EXPECT_FALSE(ActivatorRead(0, &word, 1));
  EXPECT_FALSE(ActivatorTiming());
}

TEST_F(ActivatorTest, NothingIsReadBeforeOpenOrAfterClose) {
  std::uint16_t word = 0;
  EXPECT_FALSE(ActivatorRead(0, &word, 1));
  ASSERT_TRUE(ActivatorOpen());
  ActivatorClose();
  EXPECT_FALSE(ActivatorRead(0, &word, 1));
  EXPECT_TRUE(devices_.log.activatorReads.empty());
}

TEST_F(ActivatorTest, AMutexHeldElsewhereFailsOpenAndReadAfterFiveMinutes) {
  nc::test::MutexHolder holder(kActivatorMutexName);
  ASSERT_TRUE(holder.held());
  std::uint64_t start = clock_.NowMs();
  EXPECT_FALSE(ActivatorOpen());
  EXPECT_GE(clock_.NowMs() - start, kActivatorMutexWaitMs);
  std::uint16_t word = 0;
  EXPECT_FALSE(ActivatorRead(0, &word, 1));
  EXPECT_EQ(Calls("activator.probe"), 0);
  holder.Release();
  // The handle stayed: once free, the dongle is read.
  WorksFrom(1);
  EXPECT_TRUE(ActivatorRead(0, &word, 1));
}

TEST_F(ActivatorTest, AFaultInTheClientIsCaughtAndCloseFreesTheMutex) {
  WorksFrom(1);
  ASSERT_TRUE(ActivatorOpen());
  devices_.faultOn = "activator.read";
  platform::MutexWait other = platform::MutexWait::Failed;
  bool finished = nc::test::RunGuardedOnThread(
      [] {
        std::uint16_t word = 0;
        ActivatorRead(0, &word, 1);
      },
      [&] {
        // The fault skipped the layer's release; closing on the thread that
        // faulted releases it, so that others need not wait for the thread
        // to end (it is still alive here).
        ActivatorClose();
        other = nc::test::WaitOnOtherThread(kActivatorMutexName);
      });
  EXPECT_FALSE(finished);
  EXPECT_EQ(other, platform::MutexWait::Acquired);
  devices_.faultOn.clear();
  ASSERT_TRUE(ActivatorOpen());
  std::uint16_t word = 0;
  EXPECT_TRUE(ActivatorRead(0, &word, 1));
}

}  // namespace
}  // namespace nc::carriers
