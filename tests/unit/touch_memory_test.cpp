// The Touch Memory library over its simulators: the three access paths
// chosen by the adapter type and the "TMEX" value, the ports held by a
// session, the ROM checks of the library's own serial signalling, the
// driver and TMEX results mapped to error codes, the memory mapping read at
// initialisation, the error texts in all their forms, and a fault inside a
// driver caught by a caller's guard.
#include "carriers/touch_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/exception_guard.h"
#include "platform/last_error.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "testsupport/carriers/touch_memory_sim.h"
#include "testsupport/ui/scripted_ui.h"
#include "touch_memory_test_support.h"

namespace nc::carriers {
namespace {

using drivers::MakeRomCode;
using drivers::RomCode;
using platform::GetLastErrorCode;

constexpr char kNtKey[] = "SYSTEM\\CurrentControlSet\\Services\\VTMD\\Parameters";
constexpr char k9xKey[] = "SYSTEM\\CurrentControlSet\\Services\\VXD\\VTMD\\Parameters";

const RomCode kDevice = MakeRomCode(0x01, 0x0000000B81C2ull);
const RomCode kOtherDevice = MakeRomCode(0x08, 0x00000123ABCDull);

std::vector<std::uint8_t> Bytes(const RomCode& rom) { return {rom.begin(), rom.end()}; }
std::vector<std::uint8_t> Bytes(const std::uint8_t* rom) { return {rom, rom + 8}; }

std::string Hex(const RomCode& rom) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : rom) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
    text += ' ';
  }
  return text;
}

// ============================================================================
// CRC-8
// ============================================================================

TEST(TmCrc8, KnownAnswers) {
  // The catalogue check value of CRC-8/MAXIM-DOW.
  const std::string digits = "123456789";
  EXPECT_EQ(TmCrc8(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0xA1);
  // The worked example of the 1-Wire CRC: family 02, serial 00000001B81C.
  const std::uint8_t rom[8] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2};
  EXPECT_EQ(TmCrc8(rom, 7), 0xA2);
  // A code followed by its CRC checks to 0.
  EXPECT_EQ(TmCrc8(rom, 8), 0x00);
  EXPECT_EQ(TmCrc8(rom, 0), 0x00);
}

TEST(TmCrc8, AgreesWithTheSimulatedDevicesShiftRegister) {
  for (std::uint64_t serial : {0ull, 1ull, 0xFFFFFFFFFFFFull, 0x123456789ABCull}) {
    for (std::uint8_t family : {0x01, 0x06, 0x0C, 0x81}) {
      RomCode rom = MakeRomCode(family, serial);
      EXPECT_EQ(TmCrc8(rom.data(), 7), rom[7]) << int(family) << " " << serial;
    }
  }
}

// ============================================================================
// Error texts
// ============================================================================

struct TextRow {
  std::uint32_t code;
  const char* russian;  // UTF-8
  const char* english;
};

// The table as the library documents it, in its search order.
const TextRow kTexts[] = {
    {0x00000000, "Нет ошибки", "Success"},
    {0xE0040001, "Некорректный номер функции", "Bad function code requested"},
    {0xE0040002, "Адаптер Touch Memory используется другим приложением",
     "The Touch Memory adaptor is busy by another application"},
    {0xE0040003, "Указан некорректный описатель адаптера",
     "Incorrect handle of Touch Memory adaptor had been passed"},
    {0xE0040004, "Ошибка при обмене данными с прибором Touch Memory", "Data exchange error"},
    {0xE0040005, "Указаны неверные параметры при вызове функции",
     "Invalid parameters had been used"},
    {0xE0040006,
     "Ошибка инициализации библиотеки взаимодействия с драйвером адаптеров Touch Memory",
     "Touch Memory library initialization error"},
    {0xE0040009, "Запрошенная функция не поддерживается адаптером",
     "Requested function is not support by Touch Memory adaptor"},
    {0xE004000A, "Использующийся прибор не DS1991", "Not DS1991 had been used"},
    {0xE0040007, "Драйвер поддержки адаптеров Touch Memory не загружен",
     "Touch Memory support driver had not been loaded"},
    {0xE0040008, "Был использован прибор Touch Memory неизвестного типа", "Unknow device type"},
    {0xE004000B, "Адаптер Toucm Memory не найден", "Touch Memory adaptor not found"},
    {0xFFFFFFFF, "Неизвестная ошибка", "Unknow error"},
};

std::vector<std::uint8_t> TextOf(std::uint32_t code, std::uint32_t form) {
  std::uint8_t buffer[600];
  std::memset(buffer, 0xEE, sizeof buffer);
  std::uint32_t size = TmErrorText(code, buffer, sizeof buffer, form);
  EXPECT_LT(size, sizeof buffer);
  return std::vector<std::uint8_t>(buffer, buffer + std::min<std::uint32_t>(size, sizeof buffer));
}

std::vector<std::uint8_t> Utf8(const char* text) {
  return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

TEST(TmErrorText, EveryRowInEveryForm) {
  for (const TextRow& row : kTexts) {
    SCOPED_TRACE(testing::Message() << std::hex << row.code);
    for (bool english : {false, true}) {
      const char* text = english ? row.english : row.russian;
      std::uint32_t language = english ? kTmTextEnglish : 0;
      EXPECT_EQ(TextOf(row.code, language | kTmTextUtf8), Utf8(text));
      EXPECT_EQ(TextOf(row.code, language | kTmTextOem), test::Encode(text, "CP866"));
      EXPECT_EQ(TextOf(row.code, language | kTmTextAnsi), test::Encode(text, "CP1251"));
      EXPECT_EQ(TextOf(row.code, language), test::Encode(text, "UTF-16LE"));
    }
  }
}

TEST(TmErrorText, CodePageBytesOfOneRussianText) {
  // "Нет ошибки", byte by byte, as the two code pages' charts give it.
  EXPECT_EQ(TextOf(0, kTmTextAnsi), (std::vector<std::uint8_t>{0xCD, 0xE5, 0xF2, 0x20, 0xEE, 0xF8,
                                                               0xE8, 0xE1, 0xEA, 0xE8}));
  EXPECT_EQ(TextOf(0, kTmTextOem), (std::vector<std::uint8_t>{0x8D, 0xA5, 0xE2, 0x20, 0xAE, 0xE8,
                                                              0xA8, 0xA1, 0xAA, 0xA8}));
  // OEM wins when both code-page bits are set.
  EXPECT_EQ(TextOf(0, kTmTextOem | kTmTextAnsi), TextOf(0, kTmTextOem));
}

TEST(TmErrorText, CodesNotInTheTableGetTheUnknownErrorRow) {
  for (std::uint32_t code : {1u, 0xE0040000u, 0xE004000Cu, 0x80000000u, 0xFFFFFF38u, 5u}) {
    EXPECT_EQ(TextOf(code, kTmTextUtf8), Utf8("Неизвестная ошибка")) << code;
    EXPECT_EQ(TextOf(code, kTmTextEnglish | kTmTextAnsi), Utf8("Unknow error")) << code;
  }
}

TEST(TmErrorText, CutToTheBufferWithATerminatorAndWholeCharacters) {
  const std::string full = "Ошибка при обмене данными с прибором Touch Memory";
  for (std::uint32_t size = 1; size <= full.size() + 2; ++size) {
    std::vector<char> buffer(size + 1, '#');
    std::uint32_t reported = TmErrorText(0xE0040004, buffer.data(), size, kTmTextUtf8);
    EXPECT_EQ(reported, full.size());
    std::size_t copied = std::strlen(buffer.data());
    EXPECT_LT(copied, size);
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    EXPECT_EQ(full.compare(0, copied, buffer.data()), 0);
    std::size_t room = size - 1;
    if (room >= full.size()) {
      EXPECT_EQ(copied, full.size());
    } else {
      EXPECT_GE(copied + 1, room) << "more than the part of one character left out";
    }
    EXPECT_NE(static_cast<unsigned char>(full[copied]) & 0xC0, 0x80u) << "split at " << copied;
  }
  // UTF-16: sizes in bytes, whole units, a two-byte terminator.
  const std::vector<std::uint8_t> wide = test::Encode("Нет ошибки", "UTF-16LE");
  std::uint8_t buffer[9];
  std::memset(buffer, 0xEE, sizeof buffer);
  EXPECT_EQ(TmErrorText(0, buffer, 7, 0), wide.size());
  EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4),
            std::vector<std::uint8_t>(wide.begin(), wide.begin() + 4));
  EXPECT_EQ(buffer[4], 0);
  EXPECT_EQ(buffer[5], 0);
  EXPECT_EQ(buffer[6], 0xEE);
  // Nothing copied into no buffer; the size is still told.
  EXPECT_EQ(TmErrorText(0, nullptr, 100, kTmTextAnsi), 10u);
  std::uint8_t untouched = 0x55;
  EXPECT_EQ(TmErrorText(0, &untouched, 0, kTmTextAnsi), 10u);
  EXPECT_EQ(untouched, 0x55);
}

// ============================================================================
// The library over the simulators
// ============================================================================

// One test's machine: a private settings store and profile folder, the
// simulators installed, a clock that does not wait.
class TouchMemory : public ::testing::Test {
 protected:
  TouchMemory() {
    sim_.SetDevices({kDevice});
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) sim_.AddAdapter(port);
    for (const char* port : {"LPT1", "LPT2"}) sim_.AddPort(port);
  }
  ~TouchMemory() override { platform::SetUi(nullptr); }

  static void SetAdapterType(std::uint32_t type, const char* key = kNtKey) {
    ASSERT_TRUE(platform::WriteSettingDword(key, "AdpType", type));
  }
  static void SetTmex(std::optional<std::uint32_t> value) {
    if (value) {
      ASSERT_TRUE(platform::WriteSettingDword(kNtKey, "TMEX", *value));
    } else {
      ASSERT_TRUE(platform::DeleteSettingValue(kNtKey, "TMEX"));
    }
  }
  static TmSession Open() {
    TmSession session = 0;
    EXPECT_EQ(TmOpenSession(&session), 1) << std::hex << GetLastErrorCode();
    EXPECT_NE(session, 0);
    return session;
  }
  static std::vector<std::uint8_t> ReadRom(TmSession session) {
    std::uint8_t rom[8] = {};
    EXPECT_NE(TmReadRom(session, rom), 0) << std::hex << GetLastErrorCode();
    return Bytes(rom);
  }
  // A read that fails: its error code.
  static std::uint32_t ReadRomError(TmSession session) {
    std::uint8_t rom[8] = {};
    platform::SetLastErrorCode(0);
    EXPECT_EQ(TmReadRom(session, rom), 0);
    return GetLastErrorCode();
  }
  // The ports held open now.
  std::vector<std::string> OpenPorts() {
    std::vector<std::string> open;
    for (const char* port : {"COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2"}) {
      if (sim_.ports().IsOpen(port)) open.push_back(port);
    }
    return open;
  }

  test::PrivateMachine machine_{{kNtKey, k9xKey}};
  test::PrivateProfile profile_;
  platform::InstantClock clock_;
  platform::ScopedClock scopedClock_{&clock_};
  SimulatedTouchMemory sim_;
  ScopedSimulatedTouchMemory installed_{sim_};
};

// ---- initialisation ----------------------------------------------------------------

TEST_F(TouchMemory, WithoutAdapterTypeTheDriverIsNotLoaded) {
  platform::ScriptedUi ui;
  platform::SetUi(&ui);
  platform::SetLastErrorCode(0);
  EXPECT_EQ(TmLibraryInit(0), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmDriverNotLoaded);
  EXPECT_TRUE(ui.shown.empty());
  // The key is created when missing, as the registry call does.
  EXPECT_TRUE(platform::SettingsKeyExists(kNtKey));

  EXPECT_EQ(TmLibraryInit(1), 0);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, test::Native("ZQVTMD: Библиотека функций работы с VTMD.VXD."));
  EXPECT_EQ(ui.shown[0].text, test::Native("Драйвер VTMD.VXD не загружен."));
  TmSession session = 0;
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmDriverNotLoaded);
}

TEST_F(TouchMemory, DriverTypesNeedTheDriversDevice) {
  SetAdapterType(0);
  sim_.vtmd().SetInstalled(false);
  EXPECT_EQ(TmLibraryInit(0), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmDriverNotLoaded);
  TmSession session = 0;
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmDriverNotLoaded);

  sim_.vtmd().SetInstalled(true);
  EXPECT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(GetLastErrorCode(), kTmSuccess);
  EXPECT_EQ(sim_.vtmd().openDevices(), 1);
  // Opened once for the life of the process.
  EXPECT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(sim_.vtmd().openDevices(), 1);
  TmShutdown();
  EXPECT_EQ(sim_.vtmd().openDevices(), 0);
}

TEST_F(TouchMemory, TheParametersKeyFollowsThePlatform) {
  SetAdapterType(0, k9xKey);
  EXPECT_EQ(TmLibraryInit(0), 0);  // the NT key has no adapter type
  sim_.vtmd().SetWindows9x(true);
  EXPECT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(ReadRom(Open()), Bytes(kDevice));
}

// ---- AdpType 9 with and without TMEX ------------------------------------------------

struct TmexCase {
  const char* what;
  std::optional<std::uint32_t> tmexValue;  // the "TMEX" value, or none
  bool moduleThere;
  const char* missingEntry;
  bool loadTried;
  bool tmexUsed;
};

const TmexCase kTmexCases[] = {
    {"no TMEX value, IBFS32 there", std::nullopt, true, "", true, true},
    {"no TMEX value, IBFS32 missing", std::nullopt, false, "", true, false},
    {"TMEX = 0, IBFS32 there", 0u, true, "", false, false},
    {"TMEX = 1, IBFS32 there", 1u, true, "", true, true},
    {"TMEX = 2, IBFS32 there", 2u, true, "", true, true},
    {"no TMEX value, TMTouchByte missing", std::nullopt, true, "TMTouchByte", true, false},
    {"no TMEX value, TMExtendedStartSession missing", std::nullopt, true, "TMExtendedStartSession",
     true, false},
};

TEST_F(TouchMemory, AdapterType9UsesTmexOnlyWhenAllowedAndComplete) {
  SetAdapterType(9);
  for (const TmexCase& c : kTmexCases) {
    SCOPED_TRACE(c.what);
    SetTmex(c.tmexValue);
    SimulatedTouchMemory sim;
    sim.SetDevices({kDevice});
    sim.AddAdapter("COM2");
    sim.tmex().SetInstalled(c.moduleThere);
    sim.tmex().SetMissingEntry(c.missingEntry);
    ScopedSimulatedTouchMemory installed(sim);

    ASSERT_EQ(TmLibraryInit(0), 1) << std::hex << GetLastErrorCode();
    EXPECT_EQ(sim.switches().Calls("tmex.load"), c.loadTried ? 1 : 0);
    TmSession session = Open();
    EXPECT_EQ(ReadRom(session), Bytes(kDevice));
    if (c.tmexUsed) {
      EXPECT_EQ(sim.tmex().lastPortNumber(), 2);
      EXPECT_EQ(sim.tmex().lastPortType(), 1);
      EXPECT_EQ(sim.tmex().openSessions(), 1);
      EXPECT_EQ(sim.ports().stats("COM2").opens, 0);
    } else {
      // The library's own signalling on COM2: configured (115200), reset at
      // 14400, slots at 115200.
      EXPECT_EQ(sim.tmex().loads(), 0) << "an incomplete module is released";
      EXPECT_TRUE(sim.ports().IsOpen("COM2"));
      EXPECT_EQ(sim.ports().stats("COM2").rates,
                (std::vector<std::uint32_t>{115200, 14400, 115200}));
    }
    EXPECT_EQ(TmCloseSession(session), 1);
    EXPECT_EQ(sim.tmex().openSessions(), 0);
    EXPECT_FALSE(sim.ports().IsOpen("COM2"));
  }
}

// ---- the ports of the adapter types ---------------------------------------------------

struct PortCase {
  std::uint32_t type;
  const char* port;  // the port a session holds, or none
};

TEST_F(TouchMemory, DriverSessionsHoldTheAdaptersPortExclusively) {
  const PortCase cases[] = {{0, nullptr}, {1, nullptr}, {2, "COM1"}, {3, "COM2"},
                            {4, "COM3"},  {5, "COM4"},  {6, "LPT1"}, {7, "LPT2"}};
  for (const PortCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "AdpType " << c.type);
    SetAdapterType(c.type);
    ASSERT_EQ(TmLibraryInit(0), 1);
    TmSession session = Open();
    EXPECT_EQ(OpenPorts(), c.port ? std::vector<std::string>{c.port} : std::vector<std::string>{});
    EXPECT_EQ(ReadRom(session), Bytes(kDevice));
    if (c.port != nullptr) {
      // A second session would need the same port.
      TmSession second = 0;
      EXPECT_EQ(TmOpenSession(&second), 0);
      EXPECT_EQ(GetLastErrorCode(), kTmAdapterBusy);
    }
    EXPECT_EQ(sim_.vtmd().openSessions(), 1);
    EXPECT_EQ(TmCloseSession(session), 1);
    EXPECT_EQ(GetLastErrorCode(), kTmSuccess);
    EXPECT_TRUE(OpenPorts().empty());
    EXPECT_EQ(sim_.vtmd().openSessions(), 0);
  }
}

TEST_F(TouchMemory, DirectPortTypesSignalOnComPortsOneToFour) {
  SetTmex(0u);
  const PortCase cases[] = {{8, "COM1"}, {9, "COM2"}, {10, "COM3"}, {11, "COM4"}};
  for (const PortCase& c : cases) {
    SCOPED_TRACE(c.port);
    SetAdapterType(c.type);
    ASSERT_EQ(TmLibraryInit(0), 1);
    TmSession session = Open();
    EXPECT_EQ(OpenPorts(), std::vector<std::string>{c.port});
    EXPECT_EQ(ReadRom(session), Bytes(kDevice));
    EXPECT_EQ(TmCloseSession(session), 1);
  }
  EXPECT_EQ(sim_.vtmd().openDevices(), 0) << "the driver is not needed";
}

TEST_F(TouchMemory, PortThatDoesNotOpen) {
  SetAdapterType(3);
  ASSERT_EQ(TmLibraryInit(0), 1);
  TmSession session = 0;
  // Held by someone else: busy.
  drivers::PortHandle other = sim_.ports().Open("COM2");
  ASSERT_NE(other, drivers::kNoPort);
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmAdapterBusy);
  sim_.ports().Close(other);
  // Any other failure: an initialisation error.
  sim_.switches().FailNext("serial.open", {2});
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmInitError);
  EXPECT_EQ(sim_.vtmd().openSessions(), 0) << "no driver session without the port";
  session = Open();
  EXPECT_EQ(TmCloseSession(session), 1);
}

// ---- the driver's requests -----------------------------------------------------------

TEST_F(TouchMemory, DriverFailuresReachTheCaller) {
  SetAdapterType(3);
  ASSERT_EQ(TmLibraryInit(0), 1);
  TmSession session = 0;

  sim_.switches().FailNext("vtmd.open_session", {0xE0040002});
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), 0xE0040002u);
  EXPECT_TRUE(OpenPorts().empty()) << "the port goes back when the session fails";

  // A session number 0 is a failure, never reported as success.
  sim_.switches().FailNext("vtmd.zero_session", {1});
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmUnknownError);
  EXPECT_TRUE(OpenPorts().empty());

  session = Open();
  sim_.SetDevices({});
  EXPECT_EQ(ReadRomError(session), kTmExchangeError);  // no device on the reader
  sim_.SetDevices({kDevice});
  sim_.switches().FailNext("vtmd.read_rom", {0xE0040008});
  EXPECT_EQ(ReadRomError(session), 0xE0040008u);
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));

  // Closing an unknown session fails, yet the port goes back.
  EXPECT_EQ(TmCloseSession(session + 1000), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmBadHandle);
  EXPECT_TRUE(OpenPorts().empty());
  EXPECT_EQ(sim_.vtmd().openSessions(), 1);
  EXPECT_EQ(TmCloseSession(session), 1);
  EXPECT_EQ(sim_.vtmd().openSessions(), 0);
}

TEST_F(TouchMemory, TouchPrimitivesAreNotOfferedThroughTheDriver) {
  SetAdapterType(0);
  ASSERT_EQ(TmLibraryInit(0), 1);
  TmSession session = Open();
  EXPECT_FALSE(TmTouchReset(session));
  EXPECT_EQ(GetLastErrorCode(), kTmNotSupported);
  EXPECT_EQ(TmTouchByte(session, 0x33), 0xFF);
  EXPECT_EQ(GetLastErrorCode(), kTmNotSupported);
  EXPECT_EQ(TmCloseSession(session), 1);
}

// ---- own serial signalling --------------------------------------------------------------

class OwnSerial : public TouchMemory {
 protected:
  OwnSerial() {
    SetAdapterType(9);
    SetTmex(0u);
    EXPECT_EQ(TmLibraryInit(0), 1);
  }
};

TEST_F(OwnSerial, ReadsTheRomCodeAndSettles25Ms) {
  TmSession session = Open();
  clock_.ResetCounts();
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));
  EXPECT_EQ(clock_.sleeps(), 1u);
  EXPECT_EQ(clock_.sleptMs(), 25u);
  // The port is configured once per session.
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));
  EXPECT_EQ(sim_.ports().stats("COM2").configures, 1);
  EXPECT_EQ(TmCloseSession(session), 1);
  session = Open();
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));
  EXPECT_EQ(sim_.ports().stats("COM2").configures, 2);
  EXPECT_EQ(TmCloseSession(session), 1);
}

struct RomFailure {
  const char* what;
  std::vector<RomCode> devices;
  int corruptByte;
  std::uint8_t mask;
  bool adapterThere;
  std::uint32_t error;
};

TEST_F(OwnSerial, RomReadFailures) {
  RomCode familyZero = MakeRomCode(0x00, 0x0000000B81C2ull);  // a valid CRC, family 0
  const RomFailure cases[] = {
      {"nothing on the reader (0xC0 comes back)", {}, -1, 0, true, kTmExchangeError},
      {"no adapter on the port (nothing comes back)", {kDevice}, -1, 0, false, kTmAdapterNotFound},
      {"family code 0", {familyZero}, -1, 0, true, kTmExchangeError},
      {"serial number byte corrupted", {kDevice}, 3, 0x10, true, kTmExchangeError},
      {"CRC byte corrupted", {kDevice}, 7, 0x01, true, kTmExchangeError},
      {"family byte corrupted", {kDevice}, 0, 0x80, true, kTmExchangeError},
      {"two devices garble each other", {kDevice, kOtherDevice}, -1, 0, true, kTmExchangeError},
  };
  for (const RomFailure& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedTouchMemory sim;
    sim.SetDevices(c.devices);
    sim.line().CorruptRomByte(c.corruptByte, c.mask);
    sim.AddAdapter("COM2").SetPresent(c.adapterThere);
    ScopedSimulatedTouchMemory installed(sim);
    ASSERT_EQ(TmLibraryInit(0), 1);
    TmSession session = Open();
    std::uint8_t rom[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(TmReadRom(session, rom), 0);
    EXPECT_EQ(GetLastErrorCode(), c.error);
    EXPECT_EQ(Bytes(rom), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}))
        << "nothing of a failed read reaches the caller";
    // Time slots follow only a presence pulse.
    bool presence = c.adapterThere && !c.devices.empty();
    const std::vector<std::uint32_t> rates = presence
                                                 ? std::vector<std::uint32_t>{115200, 14400, 115200}
                                                 : std::vector<std::uint32_t>{115200, 14400};
    EXPECT_EQ(sim.ports().stats("COM2").rates, rates);
    EXPECT_EQ(TmCloseSession(session), 1);
  }
}

TEST_F(OwnSerial, PresenceWithAFramingErrorIsReadOnceMore) {
  TmSession session = Open();
  sim_.switches().FailNext("serial.framing", {1});
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));
  EXPECT_EQ(sim_.switches().Calls("serial.framing"), 1);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(OwnSerial, SessionMustBeThePortHandle) {
  TmSession session = Open();
  EXPECT_EQ(ReadRomError(session + 1), kTmBadHandle);
  EXPECT_EQ(TmCloseSession(session + 1), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmBadHandle);
  EXPECT_TRUE(sim_.ports().IsOpen("COM2")) << "a wrong handle leaves the session's port alone";
  EXPECT_FALSE(TmTouchReset(session + 1));
  EXPECT_EQ(GetLastErrorCode(), kTmBadHandle);
  EXPECT_EQ(TmCloseSession(session), 1);
  EXPECT_EQ(ReadRomError(session), kTmBadHandle);  // closed
}

TEST_F(OwnSerial, TouchResetAndTouchByte) {
  TmSession session = Open();
  EXPECT_TRUE(TmTouchReset(session));
  EXPECT_EQ(TmTouchByte(session, 0x33), 0x33);  // Read ROM, echoed
  for (std::uint8_t expected : kDevice) EXPECT_EQ(TmTouchByte(session, 0xFF), expected);
  EXPECT_EQ(TmTouchByte(session, 0xFF), 0xFF);  // the devices are silent again
  sim_.SetDevices({});
  EXPECT_FALSE(TmTouchReset(session));
  EXPECT_EQ(GetLastErrorCode(), kTmExchangeError);
  EXPECT_EQ(TmCloseSession(session), 1);
}

// ---- TMEX -------------------------------------------------------------------------------

class Tmex : public TouchMemory {
 protected:
  Tmex() {
    SetAdapterType(10);
    sim_.tmex().SetInstalled(true);
    EXPECT_EQ(TmLibraryInit(0), 1);
  }
};

TEST_F(Tmex, SessionStartResults) {
  TmSession session = 0;
  sim_.switches().FailNext("tmex.port_busy", {1});
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmAdapterBusy);
  sim_.switches().FailNext("tmex.start_session", {0xFFFFFFFE});  // -2
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmDriverNotLoaded);
  sim_.switches().FailNext("tmex.setup", {3});
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmUnknownError);
  EXPECT_EQ(sim_.tmex().openSessions(), 0) << "a session that failed its set-up is ended";
  sim_.switches().FailNext("tmex.setup", {2});
  session = Open();
  EXPECT_EQ(sim_.tmex().lastPortNumber(), 3);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(Tmex, RomResults) {
  TmSession session = Open();
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));  // the low bytes of the values
  sim_.SetDevices({});
  EXPECT_EQ(ReadRomError(session), kTmExchangeError);  // TMFirst: 0
  sim_.SetDevices({kDevice});
  sim_.switches().FailNext("tmex.first", {0xFFFF});  // -1
  EXPECT_EQ(ReadRomError(session), kTmExchangeError);
  sim_.switches().FailNext("tmex.rom", {0xFFFB});  // -5: the value itself
  EXPECT_EQ(ReadRomError(session), 0xFFFFFFFBu);
  sim_.switches().FailNext("tmex.rom", {7});
  EXPECT_EQ(ReadRomError(session), 7u);
  EXPECT_EQ(ReadRomError(session + 1), kTmInvalidParameters);
  EXPECT_EQ(TmCloseSession(session + 1), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmInvalidParameters);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(Tmex, CloseResetsClosesAndEnds) {
  TmSession session = Open();
  TmSession second = 0;
  EXPECT_EQ(TmOpenSession(&second), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmAdapterBusy);
  EXPECT_EQ(TmCloseSession(session), 1);
  EXPECT_EQ(sim_.switches().Calls("tmex.touch_reset"), 1);
  EXPECT_EQ(sim_.switches().Calls("tmex.close"), 1);
  EXPECT_EQ(sim_.switches().Calls("tmex.end_session"), 1);
  EXPECT_EQ(sim_.tmex().openSessions(), 0);
  EXPECT_EQ(ReadRomError(session), kTmInvalidParameters);
}

TEST_F(Tmex, ModuleStaysLoadedUntilShutdown) {
  EXPECT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(sim_.tmex().loads(), 1);
  TmSession session = Open();
  EXPECT_EQ(TmLibraryInit(0), 1);  // with a session open
  EXPECT_EQ(ReadRom(session), Bytes(kDevice));
  EXPECT_EQ(TmCloseSession(session), 1);
  TmShutdown();
  EXPECT_EQ(sim_.tmex().loads(), 0);
  TmSession none = 0;
  EXPECT_EQ(TmOpenSession(&none), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmDriverNotLoaded);
}

// ---- a fault inside a driver -------------------------------------------------------------

struct ReadAttempt {
  TmSession session = 0;
  std::uint8_t rom[8] = {};
};

TEST_F(TouchMemory, FaultInsideADriverRequestIsTheCallersToCatch) {
  SetAdapterType(0);
  ASSERT_EQ(TmLibraryInit(0), 1);
  ReadAttempt attempt;
  attempt.session = Open();
  sim_.switches().FaultOn("vtmd.read_rom");
  EXPECT_FALSE(nc::platform::RunGuarded(
      [](void* context) {
        auto* a = static_cast<ReadAttempt*>(context);
        (void)TmReadRom(a->session, a->rom);
      },
      &attempt));
  sim_.switches().Clear();
  // The library goes on, on this thread and on others.
  EXPECT_EQ(TmCloseSession(attempt.session), 1);
  std::thread other([] {
    TmSession session = Open();
    EXPECT_EQ(ReadRom(session), Bytes(kDevice));
    EXPECT_EQ(TmCloseSession(session), 1);
  });
  other.join();
}

TEST_F(TouchMemory, FaultDuringInitialisationLeavesNoMutexBehind) {
  SetAdapterType(0);
  sim_.switches().FaultOn("vtmd.open");
  EXPECT_FALSE(nc::platform::RunGuarded([](void*) { (void)TmLibraryInit(0); }, nullptr));
  sim_.switches().Clear();
  EXPECT_EQ(TmLibraryInit(0), 1);  // the same thread takes the mutex over
  std::thread other([] {
    TmSession session = Open();
    EXPECT_EQ(ReadRom(session), Bytes(kDevice));
    EXPECT_EQ(TmCloseSession(session), 1);
  });
  other.join();
}

TEST_F(TouchMemory, FaultInsideTmexIsTheCallersToCatch) {
  SetAdapterType(8);
  sim_.tmex().SetInstalled(true);
  ASSERT_EQ(TmLibraryInit(0), 1);
  ReadAttempt attempt;
  attempt.session = Open();
  sim_.switches().FaultOn("tmex.rom");
  EXPECT_FALSE(nc::platform::RunGuarded(
      [](void* context) {
        auto* a = static_cast<ReadAttempt*>(context);
        (void)TmReadRom(a->session, a->rom);
      },
      &attempt));
  sim_.switches().Clear();
  EXPECT_EQ(ReadRom(attempt.session), Bytes(kDevice));
  EXPECT_EQ(TmCloseSession(attempt.session), 1);
}

// ---- the memory mapping at initialisation -------------------------------------------------

class Mapping : public TouchMemory {
 protected:
  Mapping() { SetAdapterType(0); }
  void WriteMapping(const std::string& lines) {
    profile_.Write("TavoTM.INI", "[DeviceMemoryMapping]\r\n" + lines);
  }
};

TEST_F(Mapping, Ds1993RangesLeave485UsableBytes) {
  WriteMapping("MappingDS1993 = 0-15, 100-110\r\n");
  ASSERT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(TmUsableBytes(0x06), 485u);
  EXPECT_FALSE(TmByteUsable(0x06, 0));
  EXPECT_FALSE(TmByteUsable(0x06, 15));
  EXPECT_TRUE(TmByteUsable(0x06, 16));
  EXPECT_TRUE(TmByteUsable(0x06, 99));
  EXPECT_FALSE(TmByteUsable(0x06, 100));
  EXPECT_FALSE(TmByteUsable(0x06, 110));
  EXPECT_TRUE(TmByteUsable(0x06, 111));
  EXPECT_TRUE(TmByteUsable(0x06, 511));
  EXPECT_FALSE(TmByteUsable(0x06, 512));
  // The other families are untouched.
  EXPECT_EQ(TmUsableBytes(0x08), 128u);
  EXPECT_EQ(TmUsableBytes(0x04), 512u);
  EXPECT_EQ(TmUsableBytes(0x0A), 2048u);
  EXPECT_EQ(TmUsableBytes(0x0C), 8192u);
  EXPECT_EQ(TmUsableBytes(0x01), 0u);
}

struct BadMapping {
  const char* lines;
  const char* badKey;
  std::uint32_t usable[5];  // DS1992, DS1993, DS1994, DS1995, DS1996 after the failure
};

TEST_F(Mapping, FirstValueThatDoesNotParseStopsTheReading) {
  const BadMapping cases[] = {
      {"MappingDS1992=100-200\r\nMappingDS1993=0-9\r\n",
       "MappingDS1992",
       {128, 512, 512, 2048, 8192}},
      {"MappingDS1992=0-9\r\nMappingDS1995=5-3\r\nMappingDS1996=0-99\r\n",
       "MappingDS1995",
       {118, 512, 512, 2048, 8192}},
      {"MappingDS1996=0-8191\r\nMappingDS1994=1-2,x\r\nMappingDS1993=\r\n",
       "MappingDS1994",
       {128, 512, 512, 2048, 8192}},
      {"MappingDS1993=  \r\nMappingDS1994=0-511\r\nMappingDS1996=0-8192\r\n",
       "MappingDS1996",
       {128, 512, 0, 2048, 8192}},
  };
  for (const BadMapping& c : cases) {
    SCOPED_TRACE(c.lines);
    WriteMapping(c.lines);
    platform::ScriptedUi ui;
    platform::SetUi(&ui);
    EXPECT_EQ(TmLibraryInit(1), 0);
    EXPECT_EQ(GetLastErrorCode(), kTmInvalidParameters);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, test::Native("ZQVTMD: Библиотека функций работы с VTMD.VXD."));
    EXPECT_EQ(ui.shown[0].text, test::Native(std::string("Ошибка в параметре ") + c.badKey +
                                             " секции DeviceMemoryMapping файла TavoTM.INI.\n"
                                             "Параметр будет проигнорирован."));
    const std::uint8_t families[5] = {0x08, 0x06, 0x04, 0x0A, 0x0C};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(TmUsableBytes(families[i]), c.usable[i]) << i;
    // Without the flag nothing is shown.
    EXPECT_EQ(TmLibraryInit(0), 0);
    EXPECT_EQ(ui.shown.size(), 1u);
    platform::SetUi(nullptr);
  }
  // The driver works all the same.
  EXPECT_EQ(ReadRom(Open()), Bytes(kDevice));
}

TEST_F(Mapping, EveryInitialisationStartsFromAllUsable) {
  WriteMapping("MappingDS1992=0-63\r\n");
  ASSERT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(TmUsableBytes(0x08), 64u);
  WriteMapping("MappingDS1992=64-127\r\nMappingDS1993=\r\n");
  ASSERT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(TmUsableBytes(0x08), 64u);
  EXPECT_TRUE(TmByteUsable(0x08, 0));
  EXPECT_FALSE(TmByteUsable(0x08, 64));
  profile_.Remove("TavoTM.INI");
  ASSERT_EQ(TmLibraryInit(0), 1);  // no profile file: nothing reserved
  EXPECT_EQ(TmUsableBytes(0x08), 128u);
}

TEST_F(Mapping, ValuesUpTo2048CharactersAreRead) {
  // 2048 characters: "0-0," and then blanks and a last range.
  std::string value = "0-0," + std::string(2048 - 4 - 5, ' ') + "1-127";
  ASSERT_EQ(value.size(), 2048u);
  WriteMapping("MappingDS1992=" + value + "\r\n");
  EXPECT_EQ(TmLibraryInit(0), 1);
  EXPECT_EQ(TmUsableBytes(0x08), 0u);
  // One more, though it would parse: refused rather than read cut short
  // (cut at 2048 it would end in "1-12").
  value = "0-0," + std::string(2048 - 4 - 5 + 1, ' ') + "1-127";
  ASSERT_EQ(value.size(), 2049u);
  WriteMapping("MappingDS1992=" + value + "\r\n");
  EXPECT_EQ(TmLibraryInit(0), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmInvalidParameters);
  EXPECT_EQ(TmUsableBytes(0x08), 128u);
}

// ---- the description section ------------------------------------------------------------

TEST(TouchMemorySimulation, DescriptionSection) {
  test::PrivateMachine machine({kNtKey});
  platform::InstantClock clock;
  platform::ScopedClock scopedClock(&clock);
  SimulatedTouchMemory sim;
  std::string error;
  ASSERT_TRUE(ConfigureTouchMemorySimulation({{"device", "01 c2 81 0b 00 00 00"},
                                              {"device", "08:cd:ab:23:01:00:00"},
                                              {"adapter", "COM3"},
                                              {"port", "LPT1"},
                                              {"tmex", "no"},
                                              {"fail.vtmd.read_rom", "0xE0040008"},
                                              {"corrupt", "2:0"}},
                                             &sim, &error))
      << error;
  EXPECT_EQ(sim.line().Devices(), (std::vector<RomCode>{kDevice, kOtherDevice}));
  ASSERT_TRUE(ConfigureTouchMemorySimulation({{"device", Hex(kDevice)}}, &sim, &error));
  ScopedSimulatedTouchMemory installed(sim);
  ASSERT_TRUE(platform::WriteSettingDword(kNtKey, "AdpType", 6));
  ASSERT_EQ(TmLibraryInit(0), 1);
  TmSession session = 0;
  ASSERT_EQ(TmOpenSession(&session), 1);
  EXPECT_TRUE(sim.ports().IsOpen("LPT1"));
  std::uint8_t rom[8];
  EXPECT_EQ(TmReadRom(session, rom), 0);
  EXPECT_EQ(GetLastErrorCode(), 0xE0040008u);
  EXPECT_NE(TmReadRom(session, rom), 0);
  EXPECT_EQ(Bytes(rom), Bytes(kDevice));
  EXPECT_EQ(TmCloseSession(session), 1);

  for (const std::pair<std::string, std::string>& bad :
       std::vector<std::pair<std::string, std::string>>{{"device", "01 02 03"},
                                                        {"driver", "perhaps"},
                                                        {"platform", "os2"},
                                                        {"corrupt", "9:1"},
                                                        {"fail.vtmd.open", "x"},
                                                        {"colour", "red"}}) {
    SimulatedTouchMemory other;
    EXPECT_FALSE(ConfigureTouchMemorySimulation({bad}, &other, &error)) << bad.first;
    EXPECT_NE(error.find(bad.first), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace nc::carriers

namespace nc::carriers {
namespace {

TEST(TouchMemorySimulation, SelectedByTheDeviceDescription) {
  test::PrivateMachine machine({kNtKey});
  platform::InstantClock clock;
  platform::ScopedClock scopedClock(&clock);
  drivers::InstallCarrierDrivers(nullptr);
  ASSERT_TRUE(platform::WriteSettingDword(kNtKey, "AdpType", 9));
  ASSERT_TRUE(platform::WriteSettingDword(kNtKey, "TMEX", 0));
  const std::string path = machine.folder() / "devices.txt";
  test::WriteFileText(path,
                      "[touchmemory]\n"
                      "device = 01 c2 81 0b 00 00 00\n"
                      "adapter = COM2\n");
  std::string error;
  ASSERT_TRUE(InstallDescribedDevices(path.c_str(), &error)) << error;
  {
    struct Uninstall {
      ~Uninstall() { InstallSimulatedDevices(nullptr); }
    } uninstallAfterwards;
    ASSERT_EQ(TmLibraryInit(0), 1);
    TmSession session = 0;
    ASSERT_EQ(TmOpenSession(&session), 1) << std::hex << GetLastErrorCode();
    std::uint8_t rom[8] = {};
    ASSERT_NE(TmReadRom(session, rom), 0) << std::hex << GetLastErrorCode();
    EXPECT_EQ(Bytes(rom), Bytes(kDevice));
    EXPECT_EQ(TmCloseSession(session), 1);
  }
#ifndef _WIN32
  // Uninstalled: the system's drivers, with no such adapter.
  ASSERT_TRUE(
      platform::WriteSettingText("SOFTWARE\\NCCORE\\SerialPorts", "COM2", "/nonexistent/port"));
  ASSERT_EQ(TmLibraryInit(0), 1);
  TmSession session = 0;
  EXPECT_EQ(TmOpenSession(&session), 0);
  EXPECT_EQ(GetLastErrorCode(), kTmInitError);
  ASSERT_TRUE(platform::DeleteSettingsKey("SOFTWARE\\NCCORE\\SerialPorts"));
#endif
}

}  // namespace
}  // namespace nc::carriers
