// The NorvexQuadra dongle layer over the simulated client: opening and
// closing, the search by developer identifier, cell reads among decoys, the
// retry policy measured on the test clock, the cross-process mutex (also
// against a second process), a driver fault, and the status texts.
#include "carriers/quadra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "carrier_test_support.h"
#include "platform/named_mutex.h"

namespace nc::carriers {
namespace {

using nc::test::CarrierTest;
using nc::test::Native;

SimQuadraDongle Dongle(std::uint16_t developer, std::uint16_t firstCell) {
  SimQuadraDongle dongle;
  dongle.developerId = developer;
  for (std::uint32_t i = 0; i < kSimQuadraCells; ++i) {
    dongle.cells[i] = static_cast<std::uint16_t>(firstCell + i * 3);
  }
  return dongle;
}

class QuadraTest : public CarrierTest {
 protected:
  QuadraTest() {
    devices_.quadra = {Dongle(1234, 0x1000), Dongle(9766, 0x2000), Dongle(9766, 0x3000)};
  }
  std::uint8_t packet_[kQuadraPacketSize] = {};
  int Calls(const char* call) { return devices_.log.calls[call]; }
};

TEST_F(QuadraTest, EveryCallBeforeOpeningIsRefused) {
  std::uint16_t value = 0;
  EXPECT_EQ(QuadraFindFirst(packet_), kQuadraNotInitialised);
  EXPECT_EQ(QuadraFindNext(packet_), kQuadraNotInitialised);
  EXPECT_EQ(QuadraReadCell(packet_, 8, &value), kQuadraNotInitialised);
  EXPECT_TRUE(devices_.log.calls.empty());
}

TEST_F(QuadraTest, FindsTheDonglesOfItsDeveloperAndReadsTheirCells) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);  // skips the dongle of developer 1234
  std::uint16_t value = 0;
  ASSERT_EQ(QuadraReadCell(packet_, 8, &value), kQuadraOk);
  EXPECT_EQ(value, 0x2000 + 8 * 3);
  ASSERT_EQ(QuadraFindNext(packet_), kQuadraOk);
  ASSERT_EQ(QuadraReadCell(packet_, 0, &value), kQuadraOk);
  EXPECT_EQ(value, 0x3000);
  ASSERT_EQ(QuadraReadCell(packet_, 39, &value), kQuadraOk);
  EXPECT_EQ(value, 0x3000 + 39 * 3);
  EXPECT_EQ(clock_.sleeps(), 0u);
  // No third dongle: "not found", which the policy calls again 10 times.
  EXPECT_EQ(QuadraFindNext(packet_), kQuadraNotFound);
  EXPECT_EQ(Calls("quadra.find_next"), 2 + 9);
  EXPECT_EQ(clock_.sleeps(), 9u);
}

TEST_F(QuadraTest, OpenAndFindFirstConfigureTheClientAsTheyShould) {
  // The simulated client insists on the configuration 1, 4, 2 and on the
  // order format, configure, initialise; FindFirst makes all three again.
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
  for (const char* call : {"quadra.format", "quadra.configure", "quadra.initialize"}) {
    EXPECT_EQ(Calls(call), 2) << call;
  }
  EXPECT_EQ(Calls("quadra.find_first"), 1);
}

TEST_F(QuadraTest, WithoutAClientTheDriverIsNotFoundAndNothingIsRetried) {
  InstallSimulatedDevices(nullptr);
  EXPECT_EQ(QuadraOpen(), 12);
  EXPECT_EQ(clock_.sleeps(), 0u);
  // The failed open closed the mutex handle.
  EXPECT_EQ(QuadraFindFirst(packet_), kQuadraNotInitialised);
}

TEST_F(QuadraTest, AFailedOpenClosesTheMutexAndLeavesItFree) {
  devices_.failures["quadra.initialize"].always = 52;
  EXPECT_EQ(QuadraOpen(), 52);
  EXPECT_EQ(Calls("quadra.initialize"), 10);
  EXPECT_EQ(QuadraFindFirst(packet_), kQuadraNotInitialised);
  platform::NamedMutexHandle mutex = platform::CreateNamedMutex(kQuadraMutexName);
  std::thread other([&] {
    EXPECT_EQ(platform::WaitNamedMutex(mutex, 0), platform::MutexWait::Acquired);
    platform::ReleaseNamedMutex(mutex);
  });
  other.join();
  platform::CloseNamedMutex(mutex);
}

// ---------------------------------------------------------------------------
// The retry policy

struct PolicyCase {
  const char* what;
  std::uint16_t status;  // what the client keeps answering
  int calls;             // calls made in all
  std::uint64_t waits;   // 1000 ms waits between them
};

const PolicyCase kPolicyCases[] = {
    {"port busy: 301 waits, about five minutes", 7, 302, 301},
    {"operation not done: as busy", 8, 302, 301},
    {"driver busy: as busy", 30, 302, 301},
    {"dongle busy: as busy", 46, 302, 301},
    {"no dongle: made 10 times", 3, 10, 9},
    {"bad memory address: made 10 times", 5, 10, 9},
    {"driver exchange error: made 10 times", 59, 10, 9},
    {"a status without text: made 10 times", 200, 10, 9},
    {"driver not found: at once", 12, 1, 0},
};

TEST_F(QuadraTest, AStatusThatPersistsIsRetriedByItsKind) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
  for (const PolicyCase& c : kPolicyCases) {
    SCOPED_TRACE(c.what);
    devices_.failures["quadra.read"].always = c.status;
    devices_.log = SimLog();
    clock_.ResetCounts();
    std::uint16_t value = 0xBEEF;
    // Cell 63 lies beyond the decoys' range (0..62): its reads are the real ones.
    EXPECT_EQ(QuadraReadCell(packet_, 63, &value), c.status);
    EXPECT_EQ(value, 0xBEEF);  // untouched on failure
    const auto& reads = devices_.log.quadraReads;
    int requested = static_cast<int>(std::count(reads.begin(), reads.end(), 63));
    EXPECT_EQ(requested, c.calls);
    // At most one decoy, before the real reads: none follow a failed read.
    EXPECT_LE(reads.size() - static_cast<std::size_t>(requested), 1u);
    EXPECT_EQ(reads.back(), 63);
    EXPECT_EQ(clock_.sleeps(), c.waits);
    EXPECT_EQ(clock_.sleptMs(), c.waits * kQuadraRetryWaitMs);
  }
}

TEST_F(QuadraTest, AStatusThatClearsUpEndsInSuccess) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  devices_.failures["quadra.find_first"].next = {7, 7, 3, 46, 3};
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
  EXPECT_EQ(Calls("quadra.find_first"), 6);
  EXPECT_EQ(clock_.sleeps(), 5u);
}

TEST_F(QuadraTest, OtherStatusesAreCountedPerCallAndBusyWaitsDoNotCount) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  // Nine "other" answers with busy ones among them, then a tenth: that one
  // is returned, after 14 waits.
  devices_.failures["quadra.find_first"].next = {3, 3, 7, 3, 3, 8, 3, 3, 30, 3, 3, 46, 7, 3, 9};
  EXPECT_EQ(QuadraFindFirst(packet_), 9);
  EXPECT_EQ(Calls("quadra.find_first"), 15);
  EXPECT_EQ(clock_.sleeps(), 14u);
}

TEST_F(QuadraTest, BusyWaitsAreCountedOverTheWholeOperation) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  devices_.log = SimLog();
  clock_.ResetCounts();
  // FindFirst formats (200 busy answers first), configures, initialises and
  // searches (busy for ever): the search gets the 101 waits that are left.
  devices_.failures["quadra.format"].next.assign(200, 7);
  devices_.failures["quadra.find_first"].always = 46;
  EXPECT_EQ(QuadraFindFirst(packet_), 46);
  EXPECT_EQ(Calls("quadra.format"), 201);
  EXPECT_EQ(Calls("quadra.find_first"), 102);
  EXPECT_EQ(clock_.sleeps(), 301u);
  // The next operation has a budget of its own.
  devices_.failures["quadra.find_first"].always.reset();
  devices_.failures["quadra.find_next"].always = 7;
  clock_.ResetCounts();
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
  EXPECT_EQ(QuadraFindNext(packet_), 7);
  EXPECT_EQ(clock_.sleeps(), 301u);
}

// ---------------------------------------------------------------------------
// Decoy reads

TEST_F(QuadraTest, TheRequestedCellIsHiddenAmongZeroToTwoDecoys) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
  // A cell beyond the decoys' range (0..62), so that decoys and the real
  // read are told apart.
  const std::uint16_t kCell = 63;
  std::set<std::size_t> before, after;
  std::set<std::uint16_t> decoyCells;
  std::uint16_t previousFirst = 0xFFFF;
  bool decoysVary = false;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    devices_.log.quadraReads.clear();
    clock_.Advance(7);
    std::uint16_t value = 0;
    ASSERT_EQ(QuadraReadCell(packet_, kCell, &value), kQuadraOk);
    EXPECT_EQ(value, devices_.quadra[1].cells[kCell]);
    const auto& reads = devices_.log.quadraReads;
    ASSERT_GE(reads.size(), 1u);
    ASSERT_LE(reads.size(), 3u);
    std::size_t at = 0;
    while (at < reads.size() && reads[at] != kCell) ++at;
    ASSERT_LT(at, reads.size()) << "the requested cell was not read";
    before.insert(at);
    after.insert(reads.size() - at - 1);
    for (std::size_t i = 0; i < reads.size(); ++i) {
      if (i == at) continue;
      EXPECT_LE(reads[i], 62);
      decoyCells.insert(reads[i]);
    }
    if (at == 1) {
      if (previousFirst != 0xFFFF && previousFirst != reads[0]) decoysVary = true;
      previousFirst = reads[0];
    }
  }
  EXPECT_EQ(before, (std::set<std::size_t>{0, 1}));
  EXPECT_EQ(after, (std::set<std::size_t>{0, 1}));
  EXPECT_TRUE(decoysVary);
  EXPECT_GT(decoyCells.size(), 20u);
}

// ---------------------------------------------------------------------------
// The mutex

TEST_F(QuadraTest, AMutexHeldElsewhereGivesDriverBusyAfterFiveMinutes) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  nc::test::MutexHolder holder(kQuadraMutexName);
  ASSERT_TRUE(holder.held());
  std::uint64_t start = clock_.NowMs();
  EXPECT_EQ(QuadraFindFirst(packet_), kQuadraMutexTimeout);
  EXPECT_GE(clock_.NowMs() - start, kQuadraMutexWaitMs);
  EXPECT_EQ(Calls("quadra.find_first"), 0);
  holder.Release();
  // The handle stays open: once free, the dongle is found.
  EXPECT_EQ(QuadraFindFirst(packet_), kQuadraOk);
}

TEST_F(QuadraTest, OpeningAgainstAHeldMutexFailsAndClosesTheHandle) {
  nc::test::MutexHolder holder(kQuadraMutexName);
  ASSERT_TRUE(holder.held());
  EXPECT_EQ(QuadraOpen(), kQuadraMutexTimeout);
  holder.Release();
  EXPECT_EQ(QuadraFindFirst(packet_), kQuadraNotInitialised);
}

class QuadraProcessTest : public QuadraTest {
 protected:
  nc::test::CountingClock realClock_;
  platform::ScopedClock useRealClock_{&realClock_};
  nc::test::TempFolder markers_;
  std::filesystem::path Marker(const char* name) const { return markers_.path() / name; }
};

TEST_F(QuadraProcessTest, TheLayerWaitsForAnotherProcessThenGoesOn) {
  nc::test::MutexHelper other(kQuadraMutexName, markers_.path(), "hold");
  ASSERT_TRUE(other.started());
  ASSERT_TRUE(nc::test::WaitForFile(Marker("held")));
  std::uint16_t status = 0xFFFF;
  std::atomic<bool> finished{false};
  std::thread opener([&] {
    status = QuadraOpen();
    finished = true;
  });
  while (realClock_.sleeps() < 3 && !finished) std::this_thread::yield();  // it is waiting
  EXPECT_FALSE(finished);
  nc::test::TouchFile(Marker("release"));
  opener.join();
  EXPECT_EQ(status, kQuadraOk);
  EXPECT_TRUE(std::filesystem::exists(Marker("released")));
  EXPECT_EQ(other.Join(), 0);
}

TEST_F(QuadraProcessTest, AKilledProcessesMutexIsTakenOver) {
  nc::test::MutexHelper other(kQuadraMutexName, markers_.path(), "hold");
  ASSERT_TRUE(other.started());
  ASSERT_TRUE(nc::test::WaitForFile(Marker("held")));
  std::uint16_t status = 0xFFFF;
  std::atomic<bool> finished{false};
  std::thread opener([&] {
    status = QuadraOpen();
    if (status == kQuadraOk) status = QuadraFindFirst(packet_);
    finished = true;
  });
  while (realClock_.sleeps() < 3 && !finished) std::this_thread::yield();  // it is waiting
  EXPECT_FALSE(finished);
  other.Kill();
  opener.join();
  EXPECT_EQ(status, kQuadraOk);
}

// ---------------------------------------------------------------------------
// A fault in the client

TEST_F(QuadraTest, AFaultInTheClientIsCaughtAndCloseFreesTheMutex) {
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
  devices_.faultOn = "quadra.read";
  platform::MutexWait other = platform::MutexWait::Failed;
  bool finished = nc::test::RunGuardedOnThread(
      [&] {
        std::uint16_t value = 0;
        QuadraReadCell(packet_, 8, &value);
      },
      [&] {
        // The fault skipped the layer's release; closing on the thread that
        // faulted (as the master-key routine does after its guard caught
        // the fault) releases it while the thread lives on.
        QuadraClose();
        other = nc::test::WaitOnOtherThread(kQuadraMutexName);
      });
  EXPECT_FALSE(finished);
  EXPECT_EQ(other, platform::MutexWait::Acquired);
  devices_.faultOn.clear();
  EXPECT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet_), kQuadraOk);
}

// ---------------------------------------------------------------------------
// Status texts

std::string Text(std::uint16_t status, std::uint32_t size = 256) {
  std::vector<char> buffer(size + 1, '#');
  QuadraStatusText(buffer.data(), size, status);
  EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
  return std::string(buffer.data());
}

TEST_F(QuadraTest, StatusTextsAreTheClientsOwnSpelling) {
  // A few rows, typos included (they are the system's texts).
  EXPECT_EQ(Text(0), "OK");
  EXPECT_EQ(Text(3), Native("Ключ не найден."));
  EXPECT_EQ(Text(7), Native("Порт занят."));
  EXPECT_EQ(Text(10), Native("Ячека памяти уже содержит нулевое значение."));
  EXPECT_EQ(Text(30), Native("Драйвер занят."));
  EXPECT_EQ(Text(42), Native("Цепь SIGNAL не поддерживается ПЭВМ."));
  EXPECT_EQ(Text(57), Native("Небыла выполнена инициализация."));
  EXPECT_EQ(Text(59), Native("Ошибка при обмене данными с драйвером."));
}

TEST_F(QuadraTest, StatusesWithoutARowShareTheInternalErrorText) {
  const std::string internal = Native("Внутренняя ошибка NorvexQuadra.");
  for (std::uint16_t status : {14, 22, 28, 33, 38, 40, 41, 43, 55, 60, 255, 65535}) {
    EXPECT_EQ(Text(status), internal) << status;
  }
  // Every status of the table has a text of its own, except the two rows
  // the client spells alike.
  const std::uint16_t table[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                 15, 16, 17, 18, 19, 20, 21, 29, 30, 31, 32, 39, 42, 44,
                                 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 56, 57, 58, 59};
  std::set<std::string> texts;
  for (std::uint16_t status : table) {
    std::string text = Text(status);
    EXPECT_NE(text, internal) << status;
    if (status != 0) {
      EXPECT_EQ(text.back(), '.') << status;
    }
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), std::size(table) - 1);
  EXPECT_EQ(Text(19), Text(53));
}

TEST_F(QuadraTest, AStatusTextIsCutToTheBufferWithoutSplittingALetter) {
  const std::string full = Native("Порт занят.");
  for (std::uint32_t size = 1; size <= full.size() + 2; ++size) {
    SCOPED_TRACE(size);
    std::string cut = Text(7, size);
    EXPECT_LE(cut.size(), size - 1);
    EXPECT_EQ(full.compare(0, cut.size(), cut), 0);
    EXPECT_TRUE(nc::test::IsCharacterBoundary(full, cut.size()));
    EXPECT_GE(cut.size() + 1, std::min<std::size_t>(size - 1, full.size()));
  }
  char untouched = 'x';
  QuadraStatusText(&untouched, 0, 7);
  EXPECT_EQ(untouched, 'x');
}

}  // namespace
}  // namespace nc::carriers
