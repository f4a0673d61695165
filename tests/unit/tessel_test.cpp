// The Tessel token layer over the simulated driver and tokens: the
// response against HMAC-MD5 computed elsewhere (Python's hmac, and OpenSSL
// natively), the data file against DES-CBC computed by OpenSSL, the
// directory search, the data-file checks, two tokens, selection retries,
// the mapping of driver failures and token statuses, the request block as
// the driver receives it, and the error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

#include "carrier_test_support.h"
#include "carriers/drivers/carrier_drivers.h"
#include "carriers/tessel.h"
#include "testsupport/carriers/drivers/tessel_sim.h"

namespace nc::carriers {
namespace {

using nc::test::CarrierTest;
using nc::test::Native;
using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

const std::array<std::uint8_t, 8> kSerialA = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const std::array<std::uint8_t, 8> kSerialB = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
const std::uint8_t kChallenge[4] = {0xDE, 0xAD, 0xBE, 0xEF};

std::array<std::uint8_t, 36> Body(std::uint8_t first) {
  std::array<std::uint8_t, 36> body{};
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(first + i);
  return body;
}

Bytes Key(const char* text) { return Bytes(text, text + std::strlen(text)); }

// Token A's data file as OpenSSL enciphers it (DES-CBC, key 0123456789abcdef,
// IV "QELVORTS", 32 bytes), with the last 4 bytes XORed with E(last block).
const char kDataFileA[] =
    "4e435844415441000100"
    "d7cd37b22a683260ed17b649f5dfe4451f2427314c7697816f58cd906f70e7f9"
    "ee9c106d";

// HMAC-MD5 with Python's hmac module over body[0..3] + challenge + body[4..35].
const char kResponseA[] = "3e7df34fae9eab086d272dcc19135868";  // challenge deadbeef
const char kResponseB[] = "4aaac747fad0f8125eaf1dc1199d8db5";

SimTesselToken TokenA() { return MakeTesselToken(kSerialA, Body(0x30), Key("Tessel key A")); }
SimTesselToken TokenB() {
  return MakeTesselToken(kSerialB, Body(0xA0), Key("Tessel key B, a different one"));
}

// Puts `driver` in the place of the Tessel driver, the others as installed.
void InstallTesselDriver(drivers::TesselDriver* driver) {
  drivers::CarrierDrivers installed = drivers::InstalledCarrierDrivers();
  installed.tessel = driver;
  drivers::InstallCarrierDrivers(&installed);
}

class TesselTest : public CarrierTest {
 protected:
  ~TesselTest() override {
    // Whatever happened, nothing stays open or selected.
    EXPECT_EQ(devices_.log.tesselOpenHandles, 0);
    EXPECT_EQ(devices_.log.tesselSelectedTokens, 0);
  }
  // The response as hex, or the error as "error <n>".
  std::string Response(const std::uint8_t* challenge = kChallenge, std::uint32_t length = 4) {
    std::uint8_t out[16];
    std::memset(out, 0xCC, sizeof out);
    std::uint32_t error = TesselResponse(out, challenge, length);
    if (error != kTesselOk) {
      for (std::uint8_t b : out) EXPECT_EQ(b, 0xCC) << "written on failure";
      return "error " + std::to_string(error);
    }
    return Hex(out, sizeof out);
  }
  static std::string Error(std::uint32_t code) { return "error " + std::to_string(code); }
  int Calls(const std::string& call) { return devices_.log.calls[call]; }
  SimTesselEntry& DataFile(std::size_t token = 0) {
    return devices_.tessel[token].root[2].entries[0];
  }
};

// ---------------------------------------------------------------------------
// The response

TEST_F(TesselTest, TheDataFileIsWhatDesCbcUnderTheSerialNumberGives) {
  Bytes file = MakeTesselDataFile(kSerialA, Body(0x30));
  EXPECT_EQ(Hex(file.data(), file.size()), kDataFileA);
}

TEST_F(TesselTest, TheResponseIsTheTwoKeyedHashStepsOverTheMessage) {
  devices_.tessel = {TokenA()};
  DataFile().bytes = FromHex(kDataFileA);  // enciphered elsewhere
  EXPECT_EQ(Response(), kResponseA);
  // The steps, as the token saw them: identify, re-select, search, read,
  // two hashes, end.
  EXPECT_EQ(devices_.log.tesselRequests,
            (std::vector<std::uint16_t>{3, 258, 3,                // identify
                                        3, 258,                   // the same token again
                                        260, 260, 260, 260, 260,  // root 0, 1 (+0), 2 (+0)
                                        261, 263,                 // the data file
                                        261, 273, 261, 273,       // two keyed hashes
                                        3}));
  EXPECT_EQ(clock_.sleeps(), 0u);
}

TEST_F(TesselTest, TheChallengeTakesPartWithItsFirstFourBytesAtMost) {
  devices_.tessel = {TokenA()};
  const std::uint8_t other[4] = {1, 2, 3, 4};
  const std::uint8_t longer[6] = {0xDE, 0xAD, 0xBE, 0xEF, 0x55, 0x66};
  EXPECT_EQ(Response(other, 4), "558b193ed3e9691c683e88faf60b25dd");
  EXPECT_EQ(Response(longer, 6), kResponseA);
  EXPECT_EQ(Response(kChallenge, 2), "36cb796ee254b157369601affded93ad");
  EXPECT_EQ(Response(nullptr, 0), "b799a13ee7d5c43272e37347cec94834");
}

TEST_F(TesselTest, AKeyLongerThanABlockIsHashedFirst) {
  Bytes key(100);
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  devices_.tessel = {MakeTesselToken(kSerialA, Body(0x30), key)};
  EXPECT_EQ(Response(), "c5039a42ab01ff5225a388b294bdc4bf");
}

#ifdef NCCORE_HAVE_OPENSSL
TEST_F(TesselTest, ResponsesAgreeWithOpenSslHmacMd5) {
  std::uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(seed >> 16);
  };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::array<std::uint8_t, 8> serial{};
    std::array<std::uint8_t, 36> body{};
    Bytes key(1 + next() % 90);
    std::uint8_t challenge[4];
    for (auto& b : serial) b = next();
    for (auto& b : body) b = next();
    for (auto& b : key) b = next();
    for (auto& b : challenge) b = next();
    devices_.tessel = {MakeTesselToken(serial, body, key)};
    Bytes message(body.begin(), body.begin() + 4);
    message.insert(message.end(), challenge, challenge + 4);
    message.insert(message.end(), body.begin() + 4, body.end());
    unsigned char expected[16];
    unsigned int length = 0;
    HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), message.data(), message.size(),
         expected, &length);
    ASSERT_EQ(length, 16u);
    EXPECT_EQ(Response(challenge, 4), Hex(expected, 16));
  }
}
#endif

// ---------------------------------------------------------------------------
// The data file

TEST_F(TesselTest, DataFormatVersionOneIsUsedAndTwoIsRefused) {
  devices_.tessel = {MakeTesselToken(kSerialA, Body(0x30), Key("Tessel key A"), 1)};
  EXPECT_EQ(Response(), kResponseA);
  devices_.tessel = {MakeTesselToken(kSerialA, Body(0x30), Key("Tessel key A"), 2)};
  EXPECT_EQ(Response(), Error(kTesselBadDataVersion));
  char text[200];
  TesselStatusText(text, sizeof text, kTesselBadDataVersion);
  EXPECT_EQ(std::string(text),
            Native("Версия формата данных Tessel не поддерживается данной версией программного "
                   "обеспечения"));
}

TEST_F(TesselTest, TheDataFileIsChecked) {
  struct Case {
    const char* what;
    void (*spoil)(Bytes&);
    std::uint32_t error;
  };
  const Case cases[] = {
      {"magic", [](Bytes& f) { f[0] = 'M'; }, kTesselBadDataFormat},
      {"last letter of the magic", [](Bytes& f) { f[6] = 'a'; }, kTesselBadDataFormat},
      {"version 0", [](Bytes& f) { f[8] = 0; }, kTesselBadDataVersion},
      {"version 255", [](Bytes& f) { f[8] = 255; }, kTesselBadDataVersion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    devices_.tessel = {TokenA()};
    c.spoil(DataFile().bytes);
    EXPECT_EQ(Response(), Error(c.error));
  }
  // Bytes 7 and 9 are not looked at.
  devices_.tessel = {TokenA()};
  DataFile().bytes[7] = 0x77;
  DataFile().bytes[9] = 0x99;
  EXPECT_EQ(Response(), kResponseA);
  // A body byte changed (the last four included): a response all the same,
  // but another one.
  for (std::size_t at : {10u, 27u, 42u, 45u}) {
    SCOPED_TRACE(at);
    devices_.tessel = {TokenA()};
    DataFile().bytes[at] ^= 1;
    std::string response = Response();
    EXPECT_EQ(response.rfind("error", 0), std::string::npos);
    EXPECT_NE(response, kResponseA);
  }
}

TEST_F(TesselTest, AShortReadOfTheDataFileIsAnExchangeError) {
  devices_.tessel = {TokenA()};
  devices_.failures["tessel.request.263"].next = {5};
  EXPECT_EQ(Response(), Error(kTesselExchangeError));
  devices_.failures["tessel.short.263"].next = {45};
  EXPECT_EQ(Response(), Error(kTesselExchangeError));
}

// ---------------------------------------------------------------------------
// The data directory

SimTesselEntry PlainFile(std::size_t size) {
  SimTesselEntry file;
  file.bytes.assign(size, 0x42);
  return file;
}

SimTesselEntry Directory(std::uint16_t id, std::vector<SimTesselEntry> entries) {
  SimTesselEntry directory;
  directory.type = kTesselEntryDirectory;
  directory.identifier = id;
  directory.entries = std::move(entries);
  return directory;
}

TEST_F(TesselTest, TheDataDirectoryIsTheFirstWithA46ByteEntryZero) {
  struct Case {
    const char* what;
    std::vector<SimTesselEntry> before;  // root entries in front of the data directory
    bool dataDirectory;                  // whether the data directory follows them
    std::uint32_t error;
  };
  const std::vector<SimTesselEntry> ninetyNine(99, PlainFile(46));
  std::vector<SimTesselEntry> hundred(100, PlainFile(46));
  const Case cases[] = {
      {"first entry", {}, true, kTesselOk},
      {"after files and an empty directory",
       {PlainFile(46), Directory(0x0700, {}), PlainFile(3)},
       true,
       kTesselOk},
      {"after a directory whose entry 0 is 45 bytes",
       {Directory(0x0700, {PlainFile(45), PlainFile(46)})},
       true,
       kTesselOk},
      {"at root entry 99", ninetyNine, true, kTesselOk},
      {"at root entry 100: not looked at", hundred, true, kTesselNoDirectory},
      {"no directory at all", {PlainFile(46), PlainFile(46)}, false, kTesselNoDirectory},
      {"an empty root", {}, false, kTesselNoDirectory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimTesselToken token = TokenA();
    SimTesselEntry data = token.root[2];
    token.root = c.before;
    if (c.dataDirectory) token.root.push_back(data);
    devices_.tessel = {token};
    EXPECT_EQ(Response(), c.error == kTesselOk ? std::string(kResponseA) : Error(c.error));
  }
}

TEST_F(TesselTest, ADirectoryWhoseEntryZeroIsThe46ByteKindButNotReadableFails) {
  // The first directory with a 46-byte entry 0 is taken, even when it is not
  // the data file: its key file cannot be read.
  SimTesselToken token = TokenA();
  SimTesselEntry key;
  key.type = kTesselEntryKey;
  key.bytes.assign(46, 1);
  token.root.insert(token.root.begin(), Directory(0x0700, {key}));
  devices_.tessel = {token};
  EXPECT_EQ(Response(), Error(kTesselExchangeError));
}

// ---------------------------------------------------------------------------
// Tokens and their selection

TEST_F(TesselTest, WithTwoTokensTheFirstOneFoundAnswers) {
  devices_.tessel = {TokenA(), TokenB()};
  EXPECT_EQ(Response(), kResponseA);
  devices_.tessel = {TokenB(), TokenA()};
  EXPECT_EQ(Response(), kResponseB);
}

TEST_F(TesselTest, TheFirstTokenIsFoundAgainByItsSerialNumber) {
  devices_.tessel = {TokenA(), TokenB()};
  // After the first release the tokens change places, as when one is
  // plugged in again: index 0 is now B, and A is found at index 1.
  devices_.afterTesselRelease = [](SimulatedDevices& d) {
    if (d.log.calls["tessel.release"] == 1) std::swap(d.tessel[0], d.tessel[1]);
  };
  EXPECT_EQ(Response(), kResponseA);
  EXPECT_EQ(devices_.log.tesselSelects, (std::vector<std::uint32_t>{0, 0, 1}));
  EXPECT_EQ(devices_.log.tesselSelected,
            (std::vector<std::array<std::uint8_t, 8>>{kSerialA, kSerialB, kSerialA}));
}

TEST_F(TesselTest, TheFirstTokenPulledOutBetweenTheStepsIsTheRequiredTokenNotFound) {
  devices_.tessel = {TokenA(), TokenB()};
  devices_.afterTesselRelease = [](SimulatedDevices& d) {
    if (d.log.calls["tessel.release"] == 1) d.tessel.erase(d.tessel.begin());
  };
  EXPECT_EQ(Response(), Error(kTesselWrongToken));
  // B was looked at and let go; index 1 was tried ten times.
  EXPECT_EQ(std::count(devices_.log.tesselSelects.begin(), devices_.log.tesselSelects.end(), 1u),
            10);
  char text[100];
  TesselStatusText(text, sizeof text, kTesselWrongToken);
  EXPECT_EQ(std::string(text), Native("Требуемый Tessel не найден"));
}

TEST_F(TesselTest, ATokenInUseIsSelectedAgainAfterShortRandomPauses) {
  devices_.tessel = {TokenA()};
  devices_.tessel[0].busySelects = 9;
  EXPECT_EQ(Response(), kResponseA);
  EXPECT_EQ(clock_.sleeps(), 9u);
  EXPECT_LE(clock_.sleptMs(), 9u * 9 * kTesselBackoffUnitMs);
  EXPECT_EQ(clock_.sleptMs() % kTesselBackoffUnitMs, 0u);

  devices_.tessel[0].busySelects = 10;
  clock_.ResetCounts();
  EXPECT_EQ(Response(), Error(kTesselBusy));
  EXPECT_EQ(clock_.sleeps(), 9u);
}

TEST_F(TesselTest, NoTokenIsNotFoundAfterTenAttempts) {
  devices_.tessel.clear();
  EXPECT_EQ(Response(), Error(kTesselNotFound));
  EXPECT_EQ(devices_.log.tesselSelects.size(), 10u);
  EXPECT_EQ(clock_.sleeps(), 9u);
  char text[100];
  TesselStatusText(text, sizeof text, kTesselNotFound);
  EXPECT_EQ(std::string(text), Native("Tessel не найден"));
}

TEST_F(TesselTest, TheDriverIsCheckedBeforeATokenIsSelected) {
  struct Case {
    const char* what;
    bool driver;
    std::uint32_t version;
    const char* failingCall;
    std::uint32_t windowsError;
    std::uint32_t error;
    std::size_t opens;  // attempts made
  };
  const Case cases[] = {
      {"no driver: token not found, tried 10 times", false, 0x100, nullptr, 0, kTesselNotFound, 10},
      {"open refused", true, 0x100, "tessel.open", 5, kTesselNotFound, 10},
      {"version query fails", true, 0x100, "tessel.version", 31, kTesselNoDriver, 1},
      {"version 255", true, 0xFF, nullptr, 0, kTesselBadDriverVersion, 1},
      {"version 256: opened to identify and to use", true, 0x100, nullptr, 0, kTesselOk, 2},
      {"select refused: access denied", true, 0x100, "tessel.select", 5, kTesselAccessDenied, 1},
      {"select: invalid handle", true, 0x100, "tessel.select", 6, kTesselDetached, 1},
      {"select: invalid parameter", true, 0x100, "tessel.select", 87, kTesselBadParameter, 1},
      {"select: another failure", true, 0x100, "tessel.select", 1167, kTesselExchangeError, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    devices_.tessel = {TokenA()};
    devices_.tesselDriver = c.driver;
    devices_.tesselDriverVersion = c.version;
    devices_.failures.clear();
    if (c.failingCall != nullptr) devices_.failures[c.failingCall].always = c.windowsError;
    devices_.log = SimLog();
    EXPECT_EQ(Response(), c.error == kTesselOk ? std::string(kResponseA) : Error(c.error));
    EXPECT_EQ(static_cast<std::size_t>(Calls("tessel.open")), c.opens);
    EXPECT_EQ(devices_.log.tesselOpenHandles, 0);
  }
}

TEST_F(TesselTest, WithoutSimulatorsTheSystemsDriverFindsNoToken) {
  InstallSimulatedDevices(nullptr);
  std::uint8_t out[16] = {};
  EXPECT_EQ(TesselResponse(out, kChallenge, 4), kTesselNotFound);
  InstallSimulatedDevices(&devices_);
}

// ---------------------------------------------------------------------------
// Requests and answers

TEST(TesselMapping, StatusBytesMapByTheirLowFiveBits) {
  const std::uint32_t expected[32] = {0,   4,   5,   3,   9,   10,  11,  12,  14,  15,  16,
                                      17,  20,  255, 255, 255, 255, 255, 255, 255, 255, 255,
                                      255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  for (std::uint32_t raw = 0; raw < 32; ++raw) {
    for (std::uint32_t high : {0x00u, 0x20u, 0x80u, 0xE0u}) {
      EXPECT_EQ(TesselErrorOfStatus(static_cast<std::uint8_t>(raw | high)), expected[raw])
          << raw << " with " << high;
    }
  }
}

TEST(TesselMapping, FailedControlCallsMapToTokenErrors) {
  const std::pair<std::uint32_t, std::uint32_t> rows[] = {{5, 4}, {6, 7},  {87, 17}, {0, 8},
                                                          {2, 8}, {31, 8}, {122, 8}, {1167, 8}};
  for (auto [windows, token] : rows) EXPECT_EQ(TesselErrorOfControl(windows), token) << windows;
}

TEST_F(TesselTest, AnswersOfTheWrongSizeAndStatusesBecomeErrors) {
  struct Case {
    const char* what;
    const char* switchName;
    std::uint32_t value;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"a status instead of the serial number", "tessel.request.258", 6, 11},
      {"a status instead of an entry", "tessel.request.260", 4, kTesselNoDirectory},
      {"a status instead of a hash", "tessel.request.273", 12, 20},
      {"status 0 instead of data is too short", "tessel.request.258", 0x20, kTesselShortResponse},
      {"an unknown status", "tessel.request.260", 13, kTesselUnknownResponse},
      {"a status for begin", "tessel.request.3", 1, kTesselAccessDenied},
      {"a status for select file", "tessel.request.261", 5, 10},
      {"7 bytes instead of 8", "tessel.short.258", 7, kTesselShortResponse},
      {"15 bytes instead of 16", "tessel.short.273", 15, kTesselShortResponse},
      // The first byte of root entry 0's answer (identifier 0x0101) taken
      // as a status byte: raw status 1.
      {"one byte of data: read as a status", "tessel.short.260", 1, kTesselAccessDenied},
      {"more than the room offered", "tessel.short.258", 64, kTesselExchangeError},
      {"the control call: access denied", "tessel.request", 5, kTesselAccessDenied},
      {"the control call: invalid handle", "tessel.request", 6, kTesselDetached},
      {"the control call: invalid parameter", "tessel.request", 87, kTesselBadParameter},
      {"the control call: another failure", "tessel.request", 1117, kTesselExchangeError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    devices_.tessel = {TokenA()};
    devices_.failures.clear();
    devices_.failures[c.switchName].next = {c.value};
    EXPECT_EQ(Response(), Error(c.error));
  }
}

TEST_F(TesselTest, AnEmptyStatusAnswerIsAnExchangeError) {
  // The token answers nothing at all to "begin": the status-only request
  // gets an empty answer.
  devices_.tessel = {TokenA()};
  // A driver that reports no bytes for the status-only requests (those
  // that offer 2 bytes of room).
  class EmptyAnswers final : public drivers::TesselDriver {
   public:
    explicit EmptyAnswers(drivers::TesselDriver& inner) : inner_(inner) {}
    drivers::TesselHandle Open(std::uint32_t* error) override { return inner_.Open(error); }
    void Close(drivers::TesselHandle device) override { inner_.Close(device); }
    bool Control(drivers::TesselHandle device, std::uint32_t code, const void* in,
                 std::uint32_t inSize, void* out, std::uint32_t outSize, std::uint32_t* returned,
                 std::uint32_t* error) override {
      bool ok = inner_.Control(device, code, in, inSize, out, outSize, returned, error);
      if (code == drivers::kTesselRequest && outSize == 2) *returned = 0;
      return ok;
    }

   private:
    drivers::TesselDriver& inner_;
  };
  drivers::TesselSimulator simulator(devices_);
  EmptyAnswers empty(simulator);
  InstallTesselDriver(&empty);
  std::uint8_t out[16];
  EXPECT_EQ(TesselResponse(out, kChallenge, 4), kTesselExchangeError);
  InstallSimulatedDevices(&devices_);
}

// Passes everything to the simulator and keeps a copy of every request
// block and of the output room offered.
class RecordingDriver final : public drivers::TesselDriver {
 public:
  explicit RecordingDriver(SimulatedDevices& devices) : simulator_(devices) {}
  drivers::TesselHandle Open(std::uint32_t* error) override { return simulator_.Open(error); }
  void Close(drivers::TesselHandle device) override { simulator_.Close(device); }
  bool Control(drivers::TesselHandle device, std::uint32_t code, const void* in,
               std::uint32_t inSize, void* out, std::uint32_t outSize, std::uint32_t* returned,
               std::uint32_t* error) override {
    if (code == drivers::kTesselRequest) {
      const auto* block = static_cast<const std::uint8_t*>(in);
      blocks.emplace_back(block, block + inSize);
      rooms.push_back(outSize);
      bool ok = simulator_.Control(device, code, in, inSize, out, outSize, returned, error);
      return ok;
    }
    return simulator_.Control(device, code, in, inSize, out, outSize, returned, error);
  }
  std::vector<Bytes> blocks;
  std::vector<std::uint32_t> rooms;

 private:
  drivers::TesselSimulator simulator_;
};

std::uint32_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}

TEST_F(TesselTest, RequestBlocksCarryParametersCodeAndFurtherBytes) {
  devices_.tessel = {TokenA()};
  RecordingDriver recorder(devices_);
  InstallTesselDriver(&recorder);
  std::uint8_t out[16];
  ASSERT_EQ(TesselResponse(out, kChallenge, 4), kTesselOk);
  InstallSimulatedDevices(&devices_);
  ASSERT_EQ(recorder.blocks.size(), 17u);
  for (const Bytes& block : recorder.blocks) {
    ASSERT_EQ(block.size(), 272u);
    EXPECT_EQ(block[4] | block[5] | block[6] | block[7], 0);
  }
  // Begin: parameter 1, status only (room for 2 bytes).
  const Bytes& begin = recorder.blocks[0];
  EXPECT_EQ(U16(begin, 8), 1u);
  EXPECT_EQ(U16(begin, 10), 0u);
  EXPECT_EQ(U16(begin, 12), 3u);
  EXPECT_EQ(U16(begin, 14), 0u);
  EXPECT_EQ(recorder.rooms[0], 2u);
  // Serial number: no data, 8 bytes of room.
  EXPECT_EQ(U16(recorder.blocks[1], 12), 258u);
  EXPECT_EQ(recorder.rooms[1], 8u);
  // End: parameter 2.
  EXPECT_EQ(U16(recorder.blocks[2], 8), 2u);
  // Entry 0 of directory 0x0200, root entry 2, then entry 0 of 0x0300.
  EXPECT_EQ(U16(recorder.blocks[7], 12), 260u);
  EXPECT_EQ(U16(recorder.blocks[7], 8), 0x0200u);
  EXPECT_EQ(U16(recorder.blocks[7], 10), 0u);
  EXPECT_EQ(U16(recorder.blocks[8], 8), 0u);
  EXPECT_EQ(U16(recorder.blocks[8], 10), 2u);
  EXPECT_EQ(U16(recorder.blocks[9], 8), 0x0300u);
  EXPECT_EQ(U16(recorder.blocks[9], 10), 0u);
  // Read the data file: word offset 0, 46 bytes.
  const Bytes& read = recorder.blocks[11];
  EXPECT_EQ(U16(read, 12), 263u);
  EXPECT_EQ(U16(read, 8), 0u);
  EXPECT_EQ(U16(read, 10), 46u);
  EXPECT_EQ(recorder.rooms[11], 46u);
  // The first keyed hash: 80 bytes, 4 as parameters and 76 further.
  const Bytes& hash = recorder.blocks[13];
  EXPECT_EQ(U16(hash, 12), 273u);
  EXPECT_EQ(U16(hash, 14), 76u);
  std::vector<std::uint8_t> data(hash.begin() + 8, hash.begin() + 12);
  data.insert(data.end(), hash.begin() + 16, hash.begin() + 16 + 76);
  ASSERT_EQ(data.size(), 80u);
  EXPECT_TRUE(std::all_of(data.begin(), data.begin() + 16, [](std::uint8_t b) { return b == 0; }));
  const std::uint8_t* message = data.data() + 16;
  auto body = Body(0x30);
  EXPECT_EQ(Hex(message, 4), Hex(body.data(), 4));
  EXPECT_EQ(Hex(message + 4, 4), "deadbeef");
  EXPECT_EQ(Hex(message + 8, 32), Hex(body.data() + 4, 32));
  EXPECT_EQ(message[40], 0x80);
  EXPECT_TRUE(std::all_of(message + 41, message + 56, [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(Hex(message + 56, 8), "4003000000000000");  // 512 + 8 * 40 = 832
  // The second: the 16-byte first result, bit count 512 + 128 = 640.
  const Bytes& second = recorder.blocks[15];
  EXPECT_EQ(second[16 + 12 + 16], 0x80);
  EXPECT_EQ(U16(second, 16 + 12 + 56), 640u);
  // Nothing beyond the further bytes.
  EXPECT_TRUE(
      std::all_of(hash.begin() + 16 + 76, hash.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(TesselTest, AFaultInTheDriverIsCaught) {
  devices_.tessel = {TokenA()};
  devices_.faultOn = "tessel.request";
  bool finished = nc::test::RunGuardedOnThread(
      [] {
        std::uint8_t out[16];
        TesselResponse(out, kChallenge, 4);
      },
      [] {});
  EXPECT_FALSE(finished);
  devices_.faultOn.clear();
  // The faulting call left its handle open; the driver drops it on close
  // only, so count it out here.
  devices_.log.tesselOpenHandles = 0;
  devices_.log.tesselSelectedTokens = 0;
}

// ---------------------------------------------------------------------------
// Error texts

std::string Text(std::uint32_t code, std::uint32_t size = 300) {
  std::vector<char> buffer(size + 1, '#');
  TesselStatusText(buffer.data(), size, code);
  EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
  return std::string(buffer.data());
}

TEST(TesselText, TextsAreTheLibrarysOwnSpelling) {
  EXPECT_EQ(Text(0), Native("Нет ошибки"));
  EXPECT_EQ(Text(6), Native("Tessel не найден"));
  EXPECT_EQ(Text(13), Native("Недостаточный размер ответа от Tessel"));
  EXPECT_EQ(Text(16), Native("Нехватает памяти для размещения данных"));
  EXPECT_EQ(Text(21), Native("Tessel используется другим приложением"));
  EXPECT_EQ(Text(255), Native("Получен непонятный ответ от Tessel - возможно версия Tessel не "
                              "поддерживается установленными драйверами"));
  EXPECT_EQ(Text(0x80000002), Native("Ошибка в формате данных Tessel"));
  EXPECT_EQ(Text(0x80000005), Native("Указан некорректный Master-Key"));
}

TEST(TesselText, CodesWithoutARowShareTheInternalErrorText) {
  const std::string internal = Native("Внутренняя ошибка библиотеки Tessel");
  for (std::uint32_t code : {22u, 100u, 254u, 256u, 0x80000000u, 0x80000007u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Text(code), internal) << code;
  }
  std::set<std::string> texts;
  std::vector<std::uint32_t> codes;
  for (std::uint32_t code = 0; code <= 21; ++code) codes.push_back(code);
  codes.push_back(255);
  for (std::uint32_t code = 0x80000001; code <= 0x80000006; ++code) codes.push_back(code);
  for (std::uint32_t code : codes) {
    std::string text = Text(code);
    EXPECT_NE(text, internal) << code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), codes.size());
}

TEST(TesselText, ALongTextIsCutToTheBuffer) {
  const std::string full = Text(14);
  EXPECT_EQ(full, Native("Количество неудачных попыток ввода PIN-кода превысило установленный "
                         "администратором лимит"));
  for (std::uint32_t size : {1u, 2u, 3u, 12u, 13u, 40u, 41u}) {
    std::string cut = Text(14, size);
    EXPECT_LE(cut.size(), size - 1);
    EXPECT_EQ(full.compare(0, cut.size(), cut), 0);
    EXPECT_TRUE(nc::test::IsCharacterBoundary(full, cut.size())) << size;
  }
}

}  // namespace
}  // namespace nc::carriers
