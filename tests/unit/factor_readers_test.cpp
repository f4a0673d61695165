// The hardware factor readers over the simulated carriers: the status line
// each writes (absent, other errors, OK) into a recording window, a steady
// error written once, the NorvexQuadra record rule, the Activator/M header
// checks, the Touch Memory session closed after every attempt, carrier
// access opened once per call and closed at its end, and nothing written
// once the window is gone.
#include "protect/factor_readers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "carriers/activator.h"
#include "carriers/quadra.h"
#include "carriers/tessel.h"
#include "protect/master_key.h"
#include "protect/status_line.h"
#include "protect_test_support.h"

namespace nc::protect {
namespace {

using platform::CarrierControl;
using test::Key8;
using test::KeyOf;
using test::Native;
using Bytes = std::vector<std::uint8_t>;

const std::uint8_t kChallenge[4] = {0xDE, 0xAD, 0xBE, 0xEF};

void (*ReaderOf(std::uint32_t factor))(CarrierAuthState&) {
  switch (factor) {
    case kFactorTouchMemory:
      return PollTouchMemory;
    case kFactorQuadra:
      return PollQuadra;
    case kFactorActivator:
      return PollActivator;
    default:
      return PollTessel;
  }
}

int ControlOf(std::uint32_t factor) {
  switch (factor) {
    case kFactorTouchMemory:
      return platform::kCarrierTmStatus;
    case kFactorQuadra:
      return platform::kCarrierQuadraStatus;
    case kFactorActivator:
      return platform::kCarrierActivatorStatus;
    default:
      return platform::kCarrierTesselStatus;
  }
}

// A NorvexQuadra dongle of ours whose cells are all different.
carriers::SimQuadraDongle Dongle(std::uint16_t layout, std::uint16_t mark,
                                 std::uint16_t developer = carriers::kQuadraDeveloperId) {
  carriers::SimQuadraDongle dongle;
  dongle.developerId = developer;
  for (std::uint32_t i = 0; i < carriers::kSimQuadraCells; ++i) {
    dongle.cells[i] = static_cast<std::uint16_t>(0x5A00 + i * 0x0101);
  }
  dongle.cells[8] = layout;
  dongle.cells[9] = mark;
  return dongle;
}

// An Activator/M dongle: the header "CM2x", type, version; then the words.
carriers::SimActivator Activator(std::uint16_t type = 2, std::uint8_t version = 1,
                                 std::uint16_t magicLow = 0x4D43) {
  carriers::SimActivator dongle;
  for (std::uint32_t i = 0; i < carriers::kSimActivatorWords; ++i) {
    dongle.words[i] = static_cast<std::uint16_t>(0xB000 + i * 0x0203);
  }
  dongle.words[0] = magicLow;  // "CM"
  dongle.words[1] = 0x7832;    // "2x"
  dongle.words[2] = type;
  dongle.words[3] = static_cast<std::uint16_t>(version << 8);  // byte 6 is not looked at
  return dongle;
}

carriers::SimTesselToken Token() {
  std::array<std::uint8_t, 36> body{};
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(0x30 + i);
  const char key[] = "Tessel key A";
  return carriers::MakeTesselToken({1, 2, 3, 4, 5, 6, 7, 8}, body,
                                   Bytes(key, key + sizeof key - 1));
}

// The key a 16-byte record of cells or words gives.
Key8 RecordKey(const std::vector<std::uint16_t>& words) {
  Bytes record;
  for (std::uint16_t w : words) {
    record.push_back(static_cast<std::uint8_t>(w & 0xFF));
    record.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  SelfKeyedDesCbc(record.data(), static_cast<std::uint32_t>(record.size()));
  MasterKeyBlock block;
  FoldContribution(block, record.data(), static_cast<std::uint32_t>(record.size()));
  Key8 key;
  std::memcpy(key.data(), block.key, 8);
  return key;
}

class FactorReaders : public test::ProtectTest {
 public:
  using ProtectTest::devices_;
  using ProtectTest::tm_;
  using ProtectTest::TmKey;

  std::unique_ptr<CarrierAuthState> State(std::uint32_t code) {
    return test::NewAuthState(code, kChallenge, 4, &window_);
  }
  std::vector<std::string> Lines(int control) {
    std::vector<std::string> texts;
    for (const auto& line : window_.lines()) {
      if (line.control == control) texts.push_back(line.text);
    }
    return texts;
  }

  // A dongle of each kind and a token beside the Touch Memory device.
  void AttachEveryCarrier() {
    devices_.quadra = {Dongle(3, 0x0100)};
    devices_.activator = Activator();
    devices_.tessel = {Token()};
  }
  // The reader of every hardware factor, in turn.
  static void ReadEveryFactor(CarrierAuthState& state) {
    for (std::uint32_t factor :
         {kFactorTouchMemory, kFactorQuadra, kFactorActivator, kFactorTessel})
      ReaderOf(factor)(state);
  }

  test::RecordingCarrierWindow window_;
  std::optional<test::MutexHolder> holder_;
};

// ---- the status line of every factor ------------------------------------------------------

struct StatusCase {
  const char* what;
  std::uint32_t factor;
  void (*setup)(FactorReaders&);
  const char* line;  // UTF-8
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.what; }

const char kTmAbsent[] = "Присоедините прибор Touch Memory к считывателю";
const char kQuadraAbsent[] = "Присоедините ключ NorvexQuadra к разъему порта";
const char kActivatorAbsent[] = "Присоедините ключ Activator/M к разъему порта";
const char kTesselAbsent[] = "Присоедините Tessel к разъему USB-порта";

const StatusCase kStatusCases[] = {
    {"Touch Memory read", kFactorTouchMemory, [](FactorReaders&) {}, "OK"},
    {"Touch Memory reader empty", kFactorTouchMemory,
     [](FactorReaders& f) { f.tm_.SetDevices({}); }, kTmAbsent},
    {"Touch Memory driver not set up", kFactorTouchMemory,
     [](FactorReaders& f) { platform::DeleteSettingsKey(f.TmKey()); },
     "Ошибка: Драйвер поддержки адаптеров Touch Memory не загружен"},
    {"NorvexQuadra read", kFactorQuadra,
     [](FactorReaders& f) { f.devices_.quadra = {Dongle(3, 0x0100)}; }, "OK"},
    {"NorvexQuadra: no dongle", kFactorQuadra, [](FactorReaders&) {}, kQuadraAbsent},
    {"NorvexQuadra: another developer's dongle only", kFactorQuadra,
     [](FactorReaders& f) { f.devices_.quadra = {Dongle(3, 0x0100, 1234)}; }, kQuadraAbsent},
    {"NorvexQuadra: status 9 after a dongle without a record", kFactorQuadra,
     [](FactorReaders& f) {
       f.devices_.quadra = {Dongle(0, 0)};
       f.devices_.failures["quadra.find_next"].always = 9;
     },
     kQuadraAbsent},
    {"NorvexQuadra: status 9 before any dongle", kFactorQuadra,
     [](FactorReaders& f) {
       f.devices_.quadra = {Dongle(3, 0x0100)};
       f.devices_.failures["quadra.find_first"].always = 9;
     },
     "Ошибка: Порт не найден."},
    {"NorvexQuadra: a cell read fails", kFactorQuadra,
     [](FactorReaders& f) {
       f.devices_.quadra = {Dongle(3, 0x0100)};
       f.devices_.failures["quadra.read"].always = 5;
     },
     "Ошибка: Задан некорректный адрес памяти."},
    {"Activator/M read", kFactorActivator,
     [](FactorReaders& f) { f.devices_.activator = Activator(); }, "OK"},
    {"Activator/M: no dongle", kFactorActivator, [](FactorReaders&) {}, kActivatorAbsent},
    {"Activator/M: wrong magic", kFactorActivator,
     [](FactorReaders& f) { f.devices_.activator = Activator(2, 1, 0x4D44); },
     "Ошибка в формате данных ключа"},
    {"Activator/M: format type 4", kFactorActivator,
     [](FactorReaders& f) { f.devices_.activator = Activator(4); },
     "Ошибка в формате данных ключа"},
    {"Activator/M: format type with a high byte", kFactorActivator,
     [](FactorReaders& f) { f.devices_.activator = Activator(0x0102); },
     "Ошибка в формате данных ключа"},
    {"Activator/M: version 2", kFactorActivator,
     [](FactorReaders& f) { f.devices_.activator = Activator(3, 2); },
     "Версия формата данных ключа не поддерживается данной версией приложения"},
    {"Activator/M: access held elsewhere", kFactorActivator,
     [](FactorReaders& f) {
       f.devices_.activator = Activator();
       f.holder_.emplace(carriers::kActivatorMutexName);
     },
     "Ошибка инициализации"},
    {"Tessel read", kFactorTessel, [](FactorReaders& f) { f.devices_.tessel = {Token()}; }, "OK"},
    {"Tessel: no token", kFactorTessel, [](FactorReaders&) {}, kTesselAbsent},
    {"Tessel: the driver does not answer", kFactorTessel,
     [](FactorReaders& f) {
       f.devices_.tessel = {Token()};
       f.devices_.failures["tessel.version"].always = 31;
     },
     "Ошибка: Драйвер поддержки Tessel не загружен"},
};

class FactorReaderStatus : public FactorReaders,
                           public ::testing::WithParamInterface<StatusCase> {};

TEST_P(FactorReaderStatus, ShowsTheStateOnceAndFoldsOnlyOnSuccess) {
  const StatusCase& c = GetParam();
  c.setup(*this);
  auto state = State(kHardwareFactors);
  ReaderOf(c.factor)(*state);
  ReaderOf(c.factor)(*state);  // read already, or the same error again: no new line

  EXPECT_EQ(Lines(ControlOf(c.factor)), std::vector<std::string>{Native(c.line)});
  EXPECT_EQ(window_.lines().size(), 1u) << "other lines untouched";
  const bool read = std::string(c.line) == "OK";
  EXPECT_EQ(state->obtained.load() & 0xFFFF, read ? c.factor : 0u);
  EXPECT_EQ(KeyOf(*state) != Key8{}, read);
  EXPECT_EQ(state->key.count, 2u);
  EXPECT_EQ(state->tmSession, 0);
  CloseDongleAccess(*state);
}

INSTANTIATE_TEST_SUITE_P(EveryFactor, FactorReaderStatus, ::testing::ValuesIn(kStatusCases));

// ---- the line changes with the error only ---------------------------------------------------

TEST_F(FactorReaders, AFailingLineIsRewrittenOnlyWhenTheErrorChanges) {
  auto state = State(kFactorTouchMemory | kFactorQuadra);
  tm_.SetDevices({});
  PollTouchMemory(*state);
  PollTouchMemory(*state);
  tm_.switches().FailNext("vtmd.open_session", {carriers::kTmAdapterBusy});
  PollTouchMemory(*state);
  PollTouchMemory(*state);
  EXPECT_EQ(
      Lines(platform::kCarrierTmStatus),
      (std::vector<std::string>{
          Native(kTmAbsent), Native("Ошибка: Адаптер Touch Memory используется другим приложением"),
          Native(kTmAbsent)}));

  // No dongle, then the end of the dongles found: both are "absent".
  PollQuadra(*state);
  devices_.quadra = {Dongle(0, 0)};
  devices_.failures["quadra.find_next"].always = 9;
  PollQuadra(*state);
  devices_.failures["quadra.read"].always = 5;
  PollQuadra(*state);
  EXPECT_EQ(Lines(platform::kCarrierQuadraStatus),
            (std::vector<std::string>{Native(kQuadraAbsent),
                                      Native("Ошибка: Задан некорректный адрес памяти.")}));
  CloseDongleAccess(*state);
}

// ---- NorvexQuadra: which dongle, which cells --------------------------------------------------

struct CellCase {
  std::uint16_t layout, mark;  // cells 8 and 9 of the first dongle
  int start;                   // its record's first cell, or -1: skipped
};

TEST_F(FactorReaders, TheQuadraRecordIsFoundByCells8And9AndUnmaskedByCell0) {
  const CellCase cases[] = {
      {3, 0x0100, 12}, {2, 0x0100, 32}, {3, 0x0101, -1},      {2, 0x0000, -1},
      {1, 0x0100, -1}, {4, 0x0100, -1}, {0x0103, 0x0100, -1},
  };
  // The second dongle always carries a record (at cell 12, its own mask).
  carriers::SimQuadraDongle second = Dongle(3, 0x0100);
  for (std::uint32_t i = 0; i < carriers::kSimQuadraCells; ++i) {
    second.cells[i] = static_cast<std::uint16_t>(second.cells[i] ^ 0x0F0F);
  }
  second.cells[8] = 3;
  second.cells[9] = 0x0100;
  for (const CellCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.layout << " " << c.mark);
    devices_.quadra = {Dongle(c.layout, c.mark), second};
    const carriers::SimQuadraDongle& source = c.start >= 0 ? devices_.quadra[0] : second;
    const int start = c.start >= 0 ? c.start : 12;
    std::vector<std::uint16_t> words;
    for (int i = 0; i < 8; ++i) {
      words.push_back(static_cast<std::uint16_t>(source.cells[start + i] ^ source.cells[0]));
    }
    auto state = State(kFactorQuadra);
    PollQuadra(*state);
    EXPECT_EQ(state->obtained.load() & kFactorQuadra, kFactorQuadra);
    EXPECT_EQ(KeyOf(*state), RecordKey(words));
    CloseDongleAccess(*state);
  }
}

// ---- Activator/M: which words ------------------------------------------------------------------

TEST_F(FactorReaders, TheActivatorRecordIsTheEightWordsFromWord4) {
  for (std::uint16_t type : {2, 3}) {
    devices_.activator = Activator(type);
    std::vector<std::uint16_t> words(devices_.activator->words.begin() + 4,
                                     devices_.activator->words.begin() + 12);
    auto state = State(kFactorActivator);
    PollActivator(*state);
    EXPECT_EQ(KeyOf(*state), RecordKey(words)) << type;
    CloseDongleAccess(*state);
  }
}

// ---- Touch Memory sessions
// ------------------------------------------------------------------------

TEST_F(FactorReaders, TheTouchMemorySessionIsClosedAfterEveryAttempt) {
  auto state = State(kFactorTouchMemory);
  tm_.SetDevices({});
  for (int attempt = 1; attempt <= 2; ++attempt) {
    PollTouchMemory(*state);
    EXPECT_EQ(state->tmSession, 0);
    EXPECT_EQ(tm_.vtmd().openSessions(), 0);
    EXPECT_EQ(tm_.switches().Calls("vtmd.open_session"), attempt);
  }
  tm_.SetDevices({kTmDevice});
  PollTouchMemory(*state);
  EXPECT_EQ(state->obtained.load() & kFactorTouchMemory, kFactorTouchMemory);
  EXPECT_EQ(state->tmSession, 0);
  EXPECT_EQ(tm_.vtmd().openSessions(), 0);
  EXPECT_EQ(tm_.switches().Calls("vtmd.open_session"), 3);
}

TEST_F(FactorReaders, ASessionAlreadyOpenIsUsedAndClosed) {
  auto state = State(kFactorTouchMemory);
  ASSERT_EQ(carriers::TmLibraryInit(0), 1);
  ASSERT_EQ(carriers::TmOpenSession(&state->tmSession), 1);
  PollTouchMemory(*state);
  EXPECT_EQ(state->obtained.load() & kFactorTouchMemory, kFactorTouchMemory);
  EXPECT_EQ(tm_.switches().Calls("vtmd.open_session"), 1);
  EXPECT_EQ(state->tmSession, 0);
  EXPECT_EQ(tm_.vtmd().openSessions(), 0);
}

// ---- carrier access over one call
// -----------------------------------------------------------------

TEST_F(FactorReaders, AccessIsOpenedOncePerCallAndRetriedUntilItOpens) {
  devices_.activator = Activator();
  holder_.emplace(carriers::kActivatorMutexName);
  ASSERT_TRUE(holder_->held());
  tm_.SetDevices({});
  auto state = State(kHardwareFactors);
  PollTouchMemory(*state);
  PollQuadra(*state);
  PollActivator(*state);
  EXPECT_EQ(state->obtained.load(), kObtainedTmLibrary | kObtainedQuadraAccess);
  // The client is prepared by opening and again by every search; a second
  // attempt only searches.
  EXPECT_EQ(devices_.log.calls["quadra.format"], 2);
  PollQuadra(*state);
  EXPECT_EQ(devices_.log.calls["quadra.format"], 3);
  EXPECT_EQ(Lines(platform::kCarrierActivatorStatus),
            std::vector<std::string>{Native("Ошибка инициализации")});

  holder_->Release();
  PollActivator(*state);
  EXPECT_EQ(state->obtained.load() & kObtainedActivatorAccess, kObtainedActivatorAccess);
  EXPECT_EQ(state->obtained.load() & kFactorActivator, kFactorActivator);
}

TEST_F(FactorReaders, CloseDongleAccessClosesTheDonglesOfTheCodeOnly) {
  devices_.quadra = {Dongle(3, 0x0100)};
  devices_.activator = Activator();
  std::uint8_t packet[carriers::kQuadraPacketSize] = {};
  std::uint16_t word = 0;

  auto quadraOnly = State(kFactorQuadra);
  PollQuadra(*quadraOnly);
  auto activatorOnly = State(kFactorActivator);
  PollActivator(*activatorOnly);
  CloseDongleAccess(*quadraOnly);
  EXPECT_EQ(carriers::QuadraFindFirst(packet), carriers::kQuadraNotInitialised);
  EXPECT_TRUE(carriers::ActivatorRead(0, &word, 1));
  EXPECT_EQ(quadraOnly->obtained.load() & kObtainedQuadraAccess, 0u);

  CloseDongleAccess(*activatorOnly);
  EXPECT_FALSE(carriers::ActivatorRead(0, &word, 1));
  EXPECT_EQ(activatorOnly->obtained.load() & kObtainedActivatorAccess, 0u);
  // The factors obtained stay obtained.
  EXPECT_EQ(quadraOnly->obtained.load(), kFactorQuadra);
  EXPECT_EQ(activatorOnly->obtained.load(), kFactorActivator);
}

// ---- what a reader leaves alone
// ------------------------------------------------------------------

TEST_F(FactorReaders, AFactorNotAskedForOrObtainedAlreadyIsNotRead) {
  AttachEveryCarrier();
  auto notAsked = State(kFactorPassword);
  auto obtained = State(kHardwareFactors);
  obtained->obtained = kHardwareFactors;
  for (CarrierAuthState* state : {notAsked.get(), obtained.get()}) {
    ReadEveryFactor(*state);
    EXPECT_EQ(KeyOf(*state), Key8{});
  }
  EXPECT_EQ(notAsked->obtained.load(), 0u);
  EXPECT_EQ(obtained->obtained.load(), kHardwareFactors);
  EXPECT_TRUE(window_.lines().empty());
  EXPECT_TRUE(devices_.log.calls.empty());
  EXPECT_EQ(tm_.switches().Calls("vtmd.open"), 0);
  EXPECT_EQ(tm_.switches().Calls("vtmd.open_session"), 0);
}

TEST_F(FactorReaders, WithoutAWindowNothingIsWrittenAndTheKeyIsTheSame) {
  AttachEveryCarrier();
  auto shown = State(kHardwareFactors);
  auto silent = State(kHardwareFactors);
  silent->window = nullptr;  // as after the dialog has gone
  for (CarrierAuthState* state : {shown.get(), silent.get()}) {
    ReadEveryFactor(*state);
    EXPECT_EQ(state->obtained.load() & 0xFFFF, kHardwareFactors);
  }
  EXPECT_EQ(KeyOf(*silent), KeyOf(*shown));
  EXPECT_EQ(window_.lines().size(), 4u);  // the "OK"s of the shown state

  // Failures without a window write nothing either.
  window_.Clear();
  tm_.SetDevices({});
  devices_.quadra.clear();
  devices_.activator.reset();
  devices_.tessel.clear();
  auto failing = State(kHardwareFactors);
  failing->window = nullptr;
  ReadEveryFactor(*failing);
  EXPECT_EQ(failing->obtained.load() & 0xFFFF, 0u);
  EXPECT_TRUE(window_.lines().empty());
  CloseDongleAccess(*shown);
}

// ---- the line buffer
// ------------------------------------------------------------------------------

TEST_F(FactorReaders, ALongLineIsCutToTheBufferWithoutSplittingACharacter) {
  auto state = State(kFactorTouchMemory);
  std::string text;
  while (text.size() < 3 * kStatusLineSize) text += "Ошибка ";
  ShowStatusText(*state, platform::kCarrierTmStatus, text.c_str());
  const std::vector<std::string> lines = Lines(platform::kCarrierTmStatus);
  ASSERT_EQ(lines.size(), 1u);
  const std::string full = Native(text);
  EXPECT_LE(lines[0].size(), kStatusLineSize - 1);
  EXPECT_GE(lines[0].size(), kStatusLineSize - 2);
  EXPECT_EQ(full.compare(0, lines[0].size(), lines[0]), 0);
  EXPECT_TRUE(test::IsCharacterBoundary(full, lines[0].size()));

  char line[kStatusLineSize];
  EXPECT_EQ(std::string(line, BeginErrorLine(line)), Native("Ошибка: "));
}

}  // namespace
}  // namespace nc::protect
