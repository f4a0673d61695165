// ZqDESF: ciphertext and hash files checked against DES references built
// from libgcrypt (and OpenSSL both ways where available), chunk sizes seen
// through the progress window, key-file and source failures with their
// result texts, cancel and faults leaving no output, and jobs in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "des_reference.h"
#include "des_test_support.h"
#include "fault_test_support.h"
#include "frame/data_file.h"
#include "frame/guard_hook.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::test {
namespace {

using des_ref::Block;
using des_ref::Bytes;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

constexpr Block kKey = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
constexpr Block kIv = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};

struct Mode {
  const char* option;
  std::uint16_t mode;
  std::uint8_t unit;
};
const Mode kModes[] = {
    {"/ECB", 1, 8},   {"/CBC", 2, 8},   {"/CFB", 3, 8},   {"/CFB:1", 3, 1}, {"/cfb:2", 3, 2},
    {"/CFB:3", 3, 3}, {"/CFB:5", 3, 5}, {"/CFB:6", 3, 6}, {"/CFB:7", 3, 7}, {"/CFB:8", 3, 8},
    {"/OFB", 4, 8},   {"/OFB:1", 4, 1}, {"/OFB:3", 4, 3}, {"/ofb:4", 4, 4}, {"/OFB:5", 4, 5},
    {"/OFB:6", 4, 6}, {"/OFB:7", 4, 7},
};

Bytes Pattern(std::size_t size, std::uint32_t seed = 1) {
  Bytes bytes(size);
  std::uint32_t x = seed;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

// The payload the encryptor must write for `plain` in `mode`.
Bytes ExpectedPayload(const Mode& mode, const Bytes& plain, const Block& key = kKey) {
  switch (mode.mode) {
    case 1: {
      Bytes padded = plain;
      padded.resize((plain.size() + 7) / 8 * 8, 0);
      return des_ref::BlockMode(false, true, key, kIv, padded);
    }
    case 2:
      return des_ref::BlockMode(true, true, key, kIv, plain);
    default:
      return des_ref::UnitStream(mode.mode == 3, true, mode.unit, key, kIv, plain);
  }
}

Bytes Payload(const Bytes& file) {
  return file.size() < 48 ? Bytes() : Bytes(file.begin() + 48, file.end());
}

// A ciphertext file around `payload`.
Bytes CiphertextFile(std::uint16_t mode, std::uint8_t unit, std::uint32_t length,
                     const Bytes& payload) {
  frame::DataFileHeader h = frame::NewHeader(frame::kFileCiphertext, frame::kAlgDes, 0);
  h.mode = mode;
  h.unitSize = unit;
  h.dataLength = length;
  Bytes file(48);
  frame::EncodeHeader(h, file.data());
  file.insert(file.end(), payload.begin(), payload.end());
  return file;
}

void ExpectCiphertextHeader(const Bytes& file, const Mode& mode, std::uint32_t length) {
  frame::DataFileHeader h = HeaderOf(file);
  ExpectDataFileHeader(h, 2, 2, 0);
  EXPECT_EQ(h.mode, mode.mode);
  EXPECT_EQ(h.unitSize, mode.unit);
  EXPECT_EQ(h.dataLength, length);
  EXPECT_EQ(h.protectionCode, 0u);
  EXPECT_EQ(h.integrityValue, 0u);
  EXPECT_EQ(h.tokenChallenge, 0u);
}

class DesfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetUi(&ui_);
    WriteFileBytes(key_, DesKeyFileBytes(kKey));
  }
  void TearDown() override {
    frame::SetGuardedFaultHookForTests(nullptr);
    platform::SetUi(nullptr);
  }

  std::string Run(const std::string& options, int* code) {
    return CallOperation(ZqDESF, options, code);
  }
  // Source, destination, command, the test's key file, and `more`.
  std::string Job(const std::string& source, const std::string& destination,
                  const std::string& command, const std::string& more = "/NOLOGO") {
    return Quoted(source) + " " + Quoted(destination) + " " + command + " /KEY:" + Quoted(key_) +
           " " + more;
  }
  int RunJob(const std::string& source, const std::string& destination, const std::string& command,
             const std::string& more = "/NOLOGO") {
    int code = -1;
    std::string text = Run(Job(source, destination, command, more), &code);
    EXPECT_EQ(code == 0, text == Native("ZQDESF00: Операция выполнена успешно")) << text;
    return code;
  }
  std::vector<unsigned> Percents() const { return test::PercentsShown(ui_); }

  ScriptedUi ui_;
  TempFolder folder_;
  const std::string key_ = folder_ / "k.dek";
  const std::string plain_ = folder_ / "plain";
  const std::string cipher_ = folder_ / "cipher";
  const std::string back_ = folder_ / "back";
};

// ============================================================================
// Ciphertexts and hashes
// ============================================================================

TEST_F(DesfTest, EveryModeWritesTheReferenceCiphertextAndDecryptsBack) {
  for (const Mode& mode : kModes) {
    std::vector<std::size_t> sizes = {0, 1, 7, 13, 65535, 65536, 65537};
    if (mode.unit != 1 && mode.unit != 2 && mode.unit != 4) sizes.push_back(300005);
    for (std::size_t size : sizes) {
      SCOPED_TRACE(std::string(mode.option) + " " + std::to_string(size) + " bytes");
      const Bytes plain = Pattern(size, static_cast<std::uint32_t>(size));
      WriteFileBytes(plain_, plain);
      ASSERT_EQ(RunJob(plain_, cipher_, mode.option, "/NOLOGO /Y"), 0);
      const Bytes file = ReadFileBytes(cipher_);
      ExpectCiphertextHeader(file, mode, static_cast<std::uint32_t>(size));
      EXPECT_EQ(file.size(), 48 + (mode.mode == 1 ? (size + 7) / 8 * 8 : size));
      EXPECT_TRUE(Payload(file) == ExpectedPayload(mode, plain));
      ASSERT_EQ(RunJob(cipher_, back_, "/D", "/NOLOGO /Y"), 0);
      EXPECT_TRUE(ReadFileBytes(back_) == plain);
    }
  }
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"back", "cipher", "k.dek", "plain"}));
}

// The encryptor reads the most whole units the 64 KiB buffer holds (65535
// bytes for 3- and 5-byte units, 65532 for 6, 65534 for 7, 65536
// otherwise); the hash reads 65536 bytes. The percentages after each chunk
// show the size: a source of two chunks shows 50 then 100 only when the
// chunk is not smaller, and one byte more needs a third chunk only when
// the chunk is not larger.
TEST_F(DesfTest, ChunksAreWholeUnitsOfTheBuffer) {
  const struct {
    const char* option;
    std::size_t chunk;
  } cases[] = {
      {"/CFB:3", 65535}, {"/OFB:5", 65535}, {"/CFB:6", 65532}, {"/OFB:7", 65534},
      {"/CFB:1", 65536}, {"/OFB:2", 65536}, {"/CFB:4", 65536}, {"/OFB:8", 65536},
      {"/CBC", 65536},   {"/ECB", 65536},   {"/HASH", 65536},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    WriteFileBytes(plain_, Pattern(2 * c.chunk));
    ui_.progress.clear();
    ASSERT_EQ(RunJob(plain_, cipher_, c.option, "/Y"), 0);
    EXPECT_EQ(Percents(), (std::vector<unsigned>{50, 100}));
    WriteFileBytes(plain_, Pattern(2 * c.chunk + 1));
    ui_.progress.clear();
    ASSERT_EQ(RunJob(plain_, cipher_, c.option, "/Y"), 0);
    EXPECT_EQ(Percents(), (std::vector<unsigned>{49, 99, 100}));
  }
}

TEST_F(DesfTest, HashFileHoldsTheKeyedHash) {
  for (std::size_t size : {0u, 1u, 8u, 65535u, 65536u, 65537u, 200003u}) {
    SCOPED_TRACE(size);
    const Bytes plain = Pattern(size, 7);
    WriteFileBytes(plain_, plain);
    ASSERT_EQ(RunJob(plain_, cipher_, "/HASH", "/NOLOGO /Y"), 0);
    const Bytes file = ReadFileBytes(cipher_);
    ASSERT_EQ(file.size(), 56u);
    frame::DataFileHeader h = HeaderOf(file);
    ExpectDataFileHeader(h, 4, 2, 0);
    EXPECT_EQ(h.mode, 0);
    EXPECT_EQ(h.unitSize, 8);
    EXPECT_EQ(h.dataLength, 0u);
    EXPECT_EQ(Payload(file), des_ref::KeyedHash(kKey, kIv, plain));
  }
}

// A key the generator made, through the whole round: the key bytes of the
// .DEK file are the cipher's key.
TEST_F(DesfTest, AGeneratedKeyEncryptsUnderItsBytes) {
  const std::string generated = folder_ / "gen.dek";
  int code = -1;
  CallOperation(ZqDESK, Quoted(generated) + " /NOLOGO", &code);
  ASSERT_EQ(code, 0);
  const Bytes keyFile = ReadFileBytes(generated);
  ASSERT_EQ(keyFile.size(), 60u);
  Block key{};
  std::copy(keyFile.begin() + 52, keyFile.end(), key.begin());

  const Bytes plain = Pattern(1000);
  WriteFileBytes(plain_, plain);
  std::string text =
      Run(Quoted(plain_) + " " + Quoted(cipher_) + " /KEY:" + Quoted(generated) + " /CBC /NOLOGO",
          &code);
  ASSERT_EQ(code, 0) << text;
  EXPECT_EQ(Payload(ReadFileBytes(cipher_)), ExpectedPayload(kModes[1], plain, key));
}

// With no "/KEY:" the key file is "Ключ DES.DEK" in the current folder, the
// generator's default.
TEST_F(DesfTest, TheDefaultKeyFileIsTheGeneratorsDefault) {
  int code = -1, generated = -1, encrypted = -1, decrypted = -1;
  std::string missing;
  {
    InFolder here(folder_.path());
    WriteFileBytes("a.txt", Pattern(100));
    missing = Run("\"a.txt\" \"a.enc\" /CBC /NOLOGO", &code);
    CallOperation(ZqDESK, "/NOLOGO", &generated);
    Run("\"a.txt\" \"a.enc\" /CBC /NOLOGO", &encrypted);
    Run("\"a.enc\" \"b.txt\" /D /NOLOGO", &decrypted);
  }

  EXPECT_EQ(code, 2);
  EXPECT_EQ(missing, Native("ZQDESF02: Ошибка чтения файла:  Ключ DES.DEK"));
  EXPECT_EQ(generated, 0);
  EXPECT_EQ(encrypted, 0);
  EXPECT_EQ(decrypted, 0);
  EXPECT_EQ(ReadFileBytes(folder_ / "b.txt"), Pattern(100));
}

#ifdef NCCORE_HAVE_OPENSSL
// Our ciphertexts decrypt with OpenSSL, and OpenSSL's, under our header,
// decrypt with ZqDESF. ECB and CBC take whole blocks (the two differ on a
// final partial block); CFB and OFB any length.
TEST_F(DesfTest, CiphertextsInteroperateWithOpenSsl) {
  using Ossl = des_ref::OpenSslDes;
  const Ossl& ossl = Ossl::Get();
  ASSERT_TRUE(ossl.ok());
  const struct {
    Mode mode;
    Ossl::Cipher cipher;
    std::size_t size;
  } cases[] = {
      {{"/ECB", 1, 8}, Ossl::kEcb, 2 * 65536 + 24},   {{"/CBC", 2, 8}, Ossl::kCbc, 2 * 65536 + 24},
      {{"/CFB", 3, 8}, Ossl::kCfb64, 2 * 65536 + 13}, {{"/CFB:1", 3, 1}, Ossl::kCfb8, 70001},
      {{"/OFB", 4, 8}, Ossl::kOfb, 2 * 65536 + 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode.option);
    const Bytes plain = Pattern(c.size, 3);
    WriteFileBytes(plain_, plain);
    ASSERT_EQ(RunJob(plain_, cipher_, c.mode.option, "/NOLOGO /Y"), 0);
    EXPECT_TRUE(ossl.Run(c.cipher, false, kKey, kIv, Payload(ReadFileBytes(cipher_))) == plain);

    const Bytes theirs = ossl.Run(c.cipher, true, kKey, kIv, plain);
    WriteFileBytes(cipher_, CiphertextFile(c.mode.mode, c.mode.unit,
                                           static_cast<std::uint32_t>(c.size), theirs));
    ASSERT_EQ(RunJob(cipher_, back_, "/D", "/NOLOGO /Y"), 0);
    EXPECT_TRUE(ReadFileBytes(back_) == plain);
  }
}
#endif

TEST_F(DesfTest, EcbFillerIsRemovedOnDecryption) {
  WriteFileBytes(plain_, Pattern(13));
  ASSERT_EQ(RunJob(plain_, cipher_, "/ECB"), 0);
  EXPECT_EQ(ReadFileBytes(cipher_).size(), 48u + 16);
  ASSERT_EQ(RunJob(cipher_, back_, "/D"), 0);
  EXPECT_EQ(ReadFileBytes(back_), Pattern(13));
}

TEST_F(DesfTest, JobsRunInPlace) {
  const Bytes plain = Pattern(150000, 9);
  WriteFileBytes(plain_, plain);
  ASSERT_EQ(RunJob(plain_, plain_, "/CFB:7", "/NOLOGO /Y"), 0);
  EXPECT_EQ(Payload(ReadFileBytes(plain_)), ExpectedPayload({"/CFB:7", 3, 7}, plain));
  ASSERT_EQ(RunJob(plain_, plain_, "/D", "/NOLOGO /Y"), 0);
  EXPECT_TRUE(ReadFileBytes(plain_) == plain);
  ASSERT_EQ(RunJob(plain_, plain_, "/HASH", "/NOLOGO /Y"), 0);
  EXPECT_EQ(Payload(ReadFileBytes(plain_)), des_ref::KeyedHash(kKey, kIv, plain));
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"k.dek", "plain"}));
}

// ============================================================================
// Comparison
// ============================================================================

TEST_F(DesfTest, CompareNeedsNoKeyAndAsksNothing) {
  std::filesystem::remove(key_);
  WriteFileBytes(plain_, Pattern(5000));
  WriteFileBytes(back_, Pattern(5000));
  WriteFileBytes(cipher_, Pattern(5001));
  const struct {
    std::string options;
    std::string text;
  } cases[] = {
      {Quoted(plain_) + " " + Quoted(back_) + " /COMP", "ZQDESF00: Операция выполнена успешно"},
      {Quoted(plain_) + " " + Quoted(plain_) + " /comp /NOLOGO",
       "ZQDESF00: Операция выполнена успешно"},
      {Quoted(plain_) + " " + Quoted(cipher_) + " /COMP", "ZQDESF07: Ошибка сравнения файлов"},
      {Quoted(folder_ / "none") + " " + Quoted(back_) + " /COMP",
       "ZQDESF02: Ошибка чтения файла: " + (folder_ / "none")},
      {Quoted(plain_) + " " + Quoted(folder_ / "none") + " /COMP",
       "ZQDESF02: Ошибка чтения файла: " + (folder_ / "none")},
  };
  for (const auto& c : cases) {
    int code = -1;
    EXPECT_EQ(Run(c.options, &code), Native(c.text)) << c.options;
  }
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(ReadFileBytes(back_), Pattern(5000));
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"back", "cipher", "plain"}));
}

// ============================================================================
// Commands
// ============================================================================

TEST_F(DesfTest, BadCommandsGive01AtOnce) {
  WriteFileBytes(plain_, Pattern(10));
  const std::string names = Quoted(plain_) + " " + Quoted(cipher_);
  const std::string key = " /KEY:" + Quoted(key_);
  for (const std::string& options : {
           std::string(),
           Quoted(plain_) + " /CBC" + key,
           names + key,
           names + " /CBC /ECB" + key,
           names + " /CBC /CBC" + key,
           names + " /D /HASH" + key,
           names + " \"third\" /CBC" + key,
           names + " /CBC third" + key,
           "\"\" \"\" /CBC" + key,
           names + " /CFB:9" + key,
           names + " /CFB:0" + key,
           names + " /CFB:x" + key,
           names + " /CFB:" + key,
           names + " /OFB:9" + key,
           names + " /OFB:12" + key,
           names + " /OFB:-1" + key,
           names + " /CFB:9 /Y" + key,
       }) {
    int code = -1;
    EXPECT_EQ(Run(options, &code), Native("ZQDESF01: Неправильный формат команды")) << options;
    EXPECT_EQ(code, 1);
  }
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"k.dek", "plain"}));
}

TEST_F(DesfTest, OptionsNeedNoSeparators) {
  WriteFileBytes(plain_, Pattern(100));
  int code = -1;
  // The unit suffix takes two characters; the next option follows at once.
  Run(Quoted(plain_) + Quoted(cipher_) + "/CFB:5/NOLOGO/KEY:" + Quoted(key_), &code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(HeaderOf(ReadFileBytes(cipher_)).unitSize, 5);
  EXPECT_TRUE(ui_.progress.empty());
}

TEST_F(DesfTest, AnExistingDestinationIsReplacedOnlyWhenAllowed) {
  WriteFileBytes(plain_, Pattern(100));
  const struct {
    const char* more;
    std::vector<bool> answers;
    int code;
    bool asked;
  } cases[] = {
      {"/NOLOGO", {true}, 11, false},
      {"", {false}, 11, true},
      {"", {true}, 0, true},
      {"/Y", {}, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.more) + (c.asked ? " asked" : ""));
    WriteFileText(cipher_, "keep");
    ui_.shown.clear();
    ui_.answers = c.answers;
    int code = -1;
    std::string text = Run(Job(plain_, cipher_, "/OFB", c.more), &code);
    EXPECT_EQ(code, c.code);
    if (c.code == 11) {
      EXPECT_EQ(text, Native("ZQDESF11: Файл уже существует: ") + cipher_);
      EXPECT_EQ(ReadFileText(cipher_), "keep");
    } else {
      EXPECT_EQ(ReadFileBytes(cipher_).size(), 148u);
    }
    ASSERT_EQ(ui_.shown.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(ui_.shown[0].caption, Native("Файловый криптопроцессор DES"));
      EXPECT_EQ(ui_.shown[0].text,
                Native("Файл ") + cipher_ + Native(" уже существует. Перезаписать файл?"));
    }
  }
}

// ============================================================================
// Key files
// ============================================================================

// Every key-file failure names the key file after two blanks (where the
// code takes a name), and nothing is written.
TEST_F(DesfTest, KeyFileFailuresNameTheKeyFile) {
  const Bytes good = DesKeyFileBytes(kKey);
  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes bytes = good;
    bytes[at] = value;
    return bytes;
  };
  Bytes count3 = good;
  count3[48] = 3;
  count3.insert(count3.end(), {1, 2, 3, 4});
  // Blocks shorter than a key, with the integrity value their few bytes give
  // (0 for none): they must not pass as an all-zero or half-zero key.
  Bytes count0(good.begin(), good.begin() + 52);
  count0[48] = 0;
  std::fill(count0.begin() + 40, count0.begin() + 44, 0);
  Bytes count1(good.begin(), good.begin() + 56);
  count1[48] = 1;
  {
    std::uint32_t value = 0;
    nc::frame::UpdateIntegrityValue(&value, &count1[52], 4);
    for (int i = 0; i < 4; ++i) count1[40 + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  Bytes protectedKey = with(36, 1);
  const struct {
    const char* what;
    Bytes file;  // empty: no key file at all
    int code;
  } cases[] = {
      {"missing", {}, 2},
      {"47 bytes", Bytes(good.begin(), good.begin() + 47), 2},
      {"header only", Bytes(good.begin(), good.begin() + 48), 2},
      {"short block", Bytes(good.begin(), good.begin() + 56), 2},
      {"wrong magic", with(0, 'X'), 27},
      {"a ciphertext", with(19, 2), 27},
      {"a GOST key", with(21, 1), 27},
      {"a secret half", with(25, 2), 27},
      {"major version 2", with(18, 2), 30},
      {"wrong kind and version",
       [&] {
         Bytes b = with(18, 2);
         b[19] = 2;
         return b;
       }(),
       27},
      {"block of three words", count3, 32},
      {"block of no words", count0, 27},
      {"block of one word", count1, 27},
      {"integrity value changed", with(40, good[40] ^ 1), 31},
      {"key byte changed", with(55, good[55] ^ 0x10), 31},
      {"protected, quiet", protectedKey, 25},
  };
  const std::map<int, std::string> kTexts = {
      {2, "ZQDESF02: Ошибка чтения файла:  "},
      {27, "ZQDESF27: Неверный формат файла:  "},
      {30, "ZQDESF30: Версия файла данных не поддерживается:  "},
      {31, "ZQDESF31: Нарушение целостности данных файла:  "},
      {32, "ZQDESF32: Неизвестная ошибка"},
      {25, "ZQDESF25: Ошибка при чтении параметров аппаратуры"},
  };
  WriteFileBytes(plain_, Pattern(100));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(key_);
    if (!c.file.empty()) WriteFileBytes(key_, c.file);
    for (const char* command : {"/CBC", "/D", "/HASH"}) {
      int code = -1;
      std::string text = Run(Job(plain_, cipher_, command), &code);
      EXPECT_EQ(code, c.code);
      // The texts of the file faults end with the key file's name.
      const bool namesFile = c.code != 25 && c.code != 32;
      EXPECT_EQ(text, Native(kTexts.at(c.code)) + (namesFile ? key_ : ""));
    }
  }
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"k.dek", "plain"}));

  // The version's minor byte is not checked.
  WriteFileBytes(key_, with(17, 5));
  EXPECT_EQ(RunJob(plain_, cipher_, "/CBC"), 0);
}

TEST_F(DesfTest, AKeyFileNameWithBlanks) {
  const std::string key = folder_ / "my key.dek";
  std::filesystem::rename(key_, key);
  WriteFileBytes(plain_, Pattern(64));
  int code = -1;
  Run(Quoted(plain_) + " " + Quoted(cipher_) + " /KEY:" + Quoted(key) + " /CBC /NOLOGO", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Payload(ReadFileBytes(cipher_)), ExpectedPayload(kModes[1], Pattern(64)));
}

// A key protected by a password: the generator asks for it, the processor
// asks again, a wrong one shows as an integrity failure of the key file and
// a cancelled dialog as a refused master key.
TEST_F(DesfTest, AProtectedKeyNeedsItsPassword) {
  using Action = ScriptedUi::CarrierAction;
  using CarrierEvent = ScriptedUi::CarrierEvent;
  auto answer = [this](const char* password) {
    ui_.carrierScript = [password](const CarrierEvent& e) {
      if (e.kind != CarrierEvent::Open) return Action{};
      return password == nullptr ? Action{false, {}, platform::kCarrierCancel}
                                 : Action{true, password, platform::kCarrierOk};
    };
  };
  const std::string key = folder_ / "pwd.dek";
  answer("secret");
  int code = -1;
  CallOperation(ZqDESK, Quoted("PWD:" + key), &code);
  ASSERT_EQ(code, 0);
  const Bytes keyFile = ReadFileBytes(key);
  ASSERT_EQ(keyFile.size(), 60u);
  const frame::DataFileHeader h = HeaderOf(keyFile);
  EXPECT_EQ(h.protectionCode, 1u);
  std::uint32_t overStored = 0;
  frame::UpdateIntegrityValue(&overStored, &keyFile[52], 8);
  EXPECT_NE(h.integrityValue, overStored);  // computed over the plaintext key

  const Bytes plain = Pattern(5000);
  WriteFileBytes(plain_, plain);
  const std::string withKey = " /KEY:" + Quoted(key) + " /Y";
  EXPECT_EQ(
      CallOperation(ZqDESF, Quoted(plain_) + " " + Quoted(cipher_) + " /CBC" + withKey, &code),
      Native("ZQDESF00: Операция выполнена успешно"));
  EXPECT_EQ(CallOperation(ZqDESF, Quoted(cipher_) + " " + Quoted(back_) + " /D" + withKey, &code),
            Native("ZQDESF00: Операция выполнена успешно"));
  EXPECT_TRUE(ReadFileBytes(back_) == plain);

  WriteFileText(back_, "keep");
  answer("secreT");
  EXPECT_EQ(CallOperation(ZqDESF, Quoted(cipher_) + " " + Quoted(back_) + " /D" + withKey, &code),
            Native("ZQDESF31: Нарушение целостности данных файла:  ") + key);
  answer(nullptr);
  EXPECT_EQ(CallOperation(ZqDESF, Quoted(cipher_) + " " + Quoted(back_) + " /D" + withKey, &code),
            Native("ZQDESF25: Ошибка при чтении параметров аппаратуры"));
  EXPECT_EQ(ReadFileText(back_), "keep");
}

// ============================================================================
// Sources and destinations
// ============================================================================

// Ciphertexts that cannot be decrypted as they stand are refused before any
// output exists: an existing destination is kept.
TEST_F(DesfTest, UnusableCiphertextsAreRefusedWithTheirName) {
  const Bytes cbc = CiphertextFile(2, 8, 100, Pattern(100));
  const Bytes ecb = CiphertextFile(1, 8, 13, Pattern(16));
  auto with = [](Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
  };
  auto cut = [](Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
  };
  const std::string readError = "ZQDESF02: Ошибка чтения файла: ";
  const std::string badFormat = "ZQDESF27: Неверный формат файла: ";
  const struct {
    const char* what;
    Bytes file;  // empty: no source at all
    std::string text;
  } cases[] = {
      {"missing", {}, readError},
      {"47 bytes", cut(cbc, 47), readError},
      {"a key file", DesKeyFileBytes(kKey), readError},
      {"a hash file", with(cbc, 19, 4), readError},
      {"a GOST ciphertext", with(cbc, 21, 1), readError},
      {"major version 2", with(cbc, 18, 2), badFormat},
      {"unit size 0", with(cbc, 27, 0), badFormat},
      {"unit size 9", with(with(cbc, 23, 3), 27, 9), badFormat},
      {"unit size 255", with(with(cbc, 23, 4), 27, 255), badFormat},
      {"ECB with 3-byte units", with(ecb, 27, 3), badFormat},
      {"mode 0", with(cbc, 23, 0), badFormat},
      {"mode 5", with(cbc, 23, 5), badFormat},
      {"truncated CBC", cut(cbc, cbc.size() - 1), badFormat},
      {"CBC with a byte more",
       [&] {
         Bytes b = cbc;
         b.push_back(0);
         return b;
       }(),
       badFormat},
      {"CBC length beyond its payload", with(cbc, 32, 101), badFormat},
      {"ECB with a whole block of filler", with(ecb, 32, 8), badFormat},
      {"ECB payload not whole blocks", cut(ecb, ecb.size() - 1), badFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(cipher_);
    if (!c.file.empty()) WriteFileBytes(cipher_, c.file);
    WriteFileText(back_, "keep");
    int code = -1;
    EXPECT_EQ(Run(Job(cipher_, back_, "/D", "/NOLOGO /Y"), &code), Native(c.text) + cipher_);
    EXPECT_EQ(ReadFileText(back_), "keep");
  }
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"back", "cipher", "k.dek"}));
}

TEST_F(DesfTest, ReadAndWriteFailuresNameTheirFile) {
  const std::string missing = folder_ / "none";
  const std::string noFolder = (folder_.path() / "no" / "out").string();
  const std::string folderItself = folder_ / "sub";
  std::filesystem::create_directory(folderItself);
  WriteFileBytes(plain_, Pattern(100));
  WriteFileBytes(cipher_, CiphertextFile(4, 8, 100, Pattern(100)));
  const std::string readError = "ZQDESF02: Ошибка чтения файла: ";
  const std::string writeError = "ZQDESF03: Ошибка записи в файл: ";
  const struct {
    std::string source, destination, command, text;
  } cases[] = {
      {missing, back_, "/CBC", readError + missing},
      {missing, back_, "/HASH", readError + missing},
      {missing, back_, "/D", readError + missing},
      {folderItself, back_, "/OFB", readError + folderItself},
      {plain_, noFolder, "/CBC", writeError + noFolder},
      {plain_, noFolder, "/HASH", writeError + noFolder},
      {cipher_, noFolder, "/D", writeError + noFolder},
      {plain_, folderItself, "/ECB", writeError + folderItself},
  };
  for (const auto& c : cases) {
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/NOLOGO /Y"), &code), Native(c.text))
        << c.command << " " << c.source << " " << c.destination;
  }
  EXPECT_TRUE(std::filesystem::is_directory(folderItself));
  EXPECT_TRUE(std::filesystem::is_empty(folderItself));
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"cipher", "k.dek", "plain", "sub"}));
}

// ============================================================================
// The progress window, cancel and faults
// ============================================================================

TEST_F(DesfTest, TheWindowDescribesTheJob) {
  WriteFileBytes(plain_, Pattern(70000));
  const struct {
    std::string source, destination, command;
    int textId;
    std::string first, second;
  } cases[] = {
      {plain_, cipher_, "/CBC", 2010, "Зашифрование  исходного файла:\n     ",
       "\nв файл шифртекста:\n     "},
      {cipher_, back_, "/D", 2011, "Расшифрование  шифртекста из файла:\n     ",
       "\nв файл исходного текста:\n     "},
      {plain_, back_, "/COMP", 2014, "Сравнение содержимого файла:\n     ",
       "\nс содержимым файла:\n     "},
      {plain_, folder_ / "hash", "/HASH", 2012, "Вычисление хеш-функции исходного файла:\n     ",
       "\nи сохранение ее в файле:\n     "},
  };
  int parent = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ui_.progress.clear();
    int code = -1;
    std::string options = Job(c.source, c.destination, c.command, "/Y");
    CallOperation(ZqDESF, options, &code, &parent);
    ASSERT_GE(ui_.progress.size(), 5u);
    EXPECT_EQ(ui_.progress[0].kind, Event::Open);
    EXPECT_EQ(ui_.progress[0].parent, &parent);
    EXPECT_EQ(ui_.progress[1].kind, Event::Caption);
    EXPECT_EQ(ui_.progress[1].text, Native("Файловый криптопроцессор DES"));
    EXPECT_EQ(ui_.progress[2].kind, Event::Description);
    EXPECT_EQ(ui_.progress[2].id, c.textId);
    EXPECT_EQ(ui_.progress[2].text, Native(c.first) + c.source + Native(c.second) + c.destination);
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
    std::vector<unsigned> percents = Percents();
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_GE(percents.size(), 2u);
  }
}

TEST_F(DesfTest, QuietJobsShowNoWindowAndCannotBeCancelled) {
  WriteFileBytes(plain_, Pattern(200000));
  ui_.cancelWhen = [](const Event&) { return true; };
  EXPECT_EQ(RunJob(plain_, cipher_, "/CBC"), 0);
  EXPECT_EQ(RunJob(cipher_, back_, "/D"), 0);
  EXPECT_TRUE(ui_.progress.empty());
}

TEST_F(DesfTest, CancelLeavesTheDestinationAsItWas) {
  const Bytes plain = Pattern(200000);
  WriteFileBytes(plain_, plain);
  ASSERT_EQ(RunJob(plain_, cipher_, "/OFB:3"), 0);
  // Cancelled at the second chunk, with a chunk already written.
  ui_.cancelWhen = [this](const Event& e) {
    return e.kind == Event::Percent &&
           std::count_if(ui_.progress.begin(), ui_.progress.end(),
                         [](const Event& x) { return x.kind == Event::Percent; }) == 2;
  };
  const struct {
    std::string source, command;
  } cases[] = {{plain_, "/CBC"}, {cipher_, "/D"}, {plain_, "/HASH"}, {plain_, "/ECB"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ui_.progress.clear();
    WriteFileText(back_, "keep");
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, back_, c.command, "/Y"), &code),
              Native("ZQDESF10: Пользователь прервал работу"));
    EXPECT_EQ(code, 10);
    EXPECT_EQ(ReadFileText(back_), "keep");
    EXPECT_EQ(Percents().size(), 2u);
    ASSERT_FALSE(ui_.progress.empty());
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
  }
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"back", "cipher", "k.dek", "plain"}));

  // Cancelled without an earlier destination: nothing is left.
  std::filesystem::remove(back_);
  ui_.progress.clear();
  int code = -1;
  Run(Job(plain_, back_, "/CFB:5", ""), &code);
  EXPECT_EQ(code, 10);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"cipher", "k.dek", "plain"}));
}

// Sources are read as a snapshot or not at all: a source that grows or
// shrinks while the job reads it (here right after the first chunk, when
// the progress window shows it) fails the job with 02 and its name, and the
// destination stays as it was. So does a compared file. (Windows opens a
// source without sharing write access: nobody can change it meanwhile.)
#ifndef _WIN32
TEST_F(DesfTest, ASourceThatChangesWhileItIsReadFailsTheJob) {
  const Bytes plain = Pattern(200000);
  WriteFileBytes(plain_, plain);
  ASSERT_EQ(RunJob(plain_, cipher_, "/CBC"), 0);
  const Bytes cipher = ReadFileBytes(cipher_);
  const struct {
    const char* command;
    std::string source;
    bool grows;
  } cases[] = {
      {"/CBC", plain_, true},  {"/CBC", plain_, false},  {"/D", cipher_, true},
      {"/D", cipher_, false},  {"/HASH", plain_, true},  {"/HASH", plain_, false},
      {"/COMP", plain_, true}, {"/COMP", plain_, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + (c.grows ? " grows" : " shrinks"));
    WriteFileBytes(plain_, plain);
    WriteFileBytes(cipher_, cipher);
    // The comparison's second file is an equal copy; other jobs' destination
    // an old file.
    const bool compare = std::string(c.command) == "/COMP";
    const Bytes old = compare ? plain : Bytes{'k', 'e', 'e', 'p'};
    WriteFileBytes(back_, old);
    bool changed = false;
    ui_.progress.clear();
    ui_.cancelWhen = ChangeSourceOnce(c.source, c.grows, changed);
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, back_, c.command, "/Y"), &code),
              Native("ZQDESF02: Ошибка чтения файла: ") + c.source);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(ReadFileBytes(back_) == old);
    EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"back", "cipher", "k.dek", "plain"}));
  }
}
#endif

TEST_F(DesfTest, AFaultInTheMiddleOfAJobLeavesNoOutput) {
  WriteFileBytes(plain_, Pattern(300000));
  ASSERT_EQ(RunJob(plain_, cipher_, "/CBC"), 0);
  for (const auto& [source, command] :
       {std::pair{plain_, "/CBC"}, std::pair{cipher_, "/D"}, std::pair{plain_, "/HASH"}}) {
    SCOPED_TRACE(command);
    WriteFileText(back_, "keep");
    ui_.progress.clear();
    g_faultPoints = 0;
    frame::SetGuardedFaultHookForTests(FaultAtTheThirdPoint);
    int code = -1;
    std::string text = Run(Job(source, back_, command, "/Y"), &code);
    frame::SetGuardedFaultHookForTests(nullptr);
    EXPECT_EQ(code, 33);
    EXPECT_EQ(text, Native("ZQDESF33: Возникло необработанное исключение"));
    EXPECT_EQ(ReadFileText(back_), "keep");
    EXPECT_GE(Percents().size(), 2u);  // the fault came after output was written
    ASSERT_FALSE(ui_.progress.empty());
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
  }
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"back", "cipher", "k.dek", "plain"}));
}

}  // namespace
}  // namespace nc::test
