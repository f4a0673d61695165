// ZqPWD: what a change of protection writes (only the code and the
// enciphered words change; the key stays the same key), what it asks and
// shows, and the files it refuses or leaves untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "des_test_support.h"
#include "frame/data_file.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "protect/key_material.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::test {
namespace {

using platform::ScriptedUi;
using Bytes = std::vector<std::uint8_t>;

std::string Source() {
  return Native("Сейчас будет выполнена авторизация доступа к файлу источника.");
}
std::string Destination() {
  return Native(
      "Сейчас будет выполнена авторизация доступа к файлу приемника.\n Присоедините "
      "соответствующую аппаратуру.");
}

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// An unprotected key file of `algorithm`/`keyKind` holding `blocks`, with
// its integrity value and challenge.
Bytes KeyFile(std::uint16_t algorithm, std::uint16_t keyKind,
              const std::vector<std::vector<std::uint32_t>>& blocks) {
  frame::DataFileHeader header = frame::NewHeader(frame::kFileKey, algorithm, keyKind);
  header.tokenChallenge = 0x5eed1234;
  std::uint32_t integrity = 0;
  for (const auto& block : blocks)
    frame::UpdateIntegrityValue(&integrity, block.data(), block.size() * 4);
  header.integrityValue = integrity;
  Bytes file(frame::kHeaderSize);
  frame::EncodeHeader(header, file.data());
  for (const auto& block : blocks) {
    file.resize(file.size() + 4 * (block.size() + 1));
    std::size_t at = file.size() - 4 * (block.size() + 1);
    Put32(file, at, static_cast<std::uint32_t>(block.size()));
    for (std::size_t i = 0; i < block.size(); ++i) Put32(file, at + 4 + 4 * i, block[i]);
  }
  return file;
}

const std::vector<std::uint32_t> kDes = {0x01020304, 0x05060708};
const std::vector<std::uint32_t> kModulus = {0x9e3779b9, 0x7f4a7c15, 0x1};
const std::vector<std::uint32_t> kExponent = {0xdeadbeef, 0x1234567};

class PwdTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }

  // Types the passwords in turn, one per carrier dialog; cancels once they
  // are used up.
  void Passwords(std::vector<std::string> passwords) {
    // Shared: the script is copied for each dialog.
    auto next = std::make_shared<std::size_t>(0);
    ui_.carrierScript = [passwords, next](const ScriptedUi::CarrierEvent& e) {
      if (e.kind != ScriptedUi::CarrierEvent::Open) return ScriptedUi::CarrierAction{};
      if (*next == passwords.size())
        return ScriptedUi::CarrierAction{false, "", platform::kCarrierCancel};
      return ScriptedUi::CarrierAction{true, passwords[(*next)++], platform::kCarrierOk};
    };
  }
  int Run(const std::string& options, std::string* text = nullptr) {
    int code = -1;
    std::string t = CallOperation(ZqPWD, options, &code);
    if (text != nullptr) *text = t;
    return code;
  }
  std::vector<std::string> InfoTexts() const {
    std::vector<std::string> texts;
    for (const auto& s : ui_.shown)
      if (s.kind == ScriptedUi::Shown::Info) {
        EXPECT_EQ(s.caption, Native("Смена защиты ключей"));
        texts.push_back(s.text);
      }
    return texts;
  }

  ScriptedUi ui_;
  TempFolder folder_;
};

// Clear → password → another password → clear, in place, for an RSA key:
// N's bytes never change, the challenge and integrity value stay, and the
// last file is the first one again.
TEST_F(PwdTest, RoundTripInPlaceChangesOnlyTheCodeAndTheSecretWords) {
  const std::string key = folder_ / "k.rsk";
  const Bytes clear = KeyFile(frame::kAlgRsa, frame::kKeySecretHalf, {kModulus, kExponent});
  WriteFileBytes(key, clear);
  const std::size_t exponentAt = frame::kHeaderSize + 4 * (kModulus.size() + 1) + 4;

  Passwords({"first"});
  EXPECT_EQ(Run(Quoted(key) + " " + Quoted("PWD:" + key) + " /Y"), 0);
  EXPECT_EQ(InfoTexts(), std::vector<std::string>{Destination()});
  const Bytes once = ReadFileBytes(key);
  ASSERT_EQ(once.size(), clear.size());
  EXPECT_EQ(HeaderOf(once).protectionCode, 1u);
  EXPECT_TRUE(std::equal(clear.begin() + 40, clear.begin() + exponentAt, once.begin() + 40));
  EXPECT_NE(Bytes(once.begin() + exponentAt, once.end()),
            Bytes(clear.begin() + exponentAt, clear.end()));

  ui_.shown.clear();
  Passwords({"first", "second"});
  EXPECT_EQ(Run(Quoted(key) + " " + Quoted("PWD:" + key) + " /Y"), 0);
  EXPECT_EQ(InfoTexts(), (std::vector<std::string>{Source(), Destination()}));
  const Bytes twice = ReadFileBytes(key);
  EXPECT_NE(twice, once);

  ui_.shown.clear();
  Passwords({"second"});
  EXPECT_EQ(Run(Quoted(key) + " " + Quoted(key) + " /Y"), 0);
  EXPECT_EQ(InfoTexts(), std::vector<std::string>{Source()});
  EXPECT_EQ(ReadFileBytes(key), clear);
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k.rsk"});
}

// A wrong old password, or no new one, changes nothing: the destination is
// not created, a same-named source keeps its bytes.
TEST_F(PwdTest, AFailedAuthorisationLeavesEveryFileAsItWas) {
  const std::string key = folder_ / "k.dek", other = folder_ / "new.dek";
  WriteFileBytes(key, KeyFile(frame::kAlgDes, frame::kKeySymmetric, {kDes}));
  Passwords({"right"});
  ASSERT_EQ(Run(Quoted(key) + " " + Quoted("PWD:" + key) + " /Y"), 0);
  const Bytes protectedKey = ReadFileBytes(key);

  struct Case {
    std::vector<std::string> passwords;
    std::string destination;
    int code;
  } cases[] = {
      {{"wrong"}, key, 31},           // in place
      {{"wrong"}, other, 31},         // to a new file
      {{"right"}, "PWD:" + key, 25},  // the new password not given
      {{"right"}, "PWD:" + other, 25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination);
    Passwords(c.passwords);
    std::string text;
    EXPECT_EQ(Run(Quoted(key) + " " + Quoted(c.destination) + " /Y", &text), c.code);
    if (c.code == 31) {
      EXPECT_EQ(text, Native("ZQPWD31: Нарушение целостности данных файла: ") + key);
    }
    EXPECT_EQ(ReadFileBytes(key), protectedKey);
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k.dek"});
  }
}

TEST_F(PwdTest, FilesThatAreNoProtectableKeys) {
  const std::string key = folder_ / "k", out = folder_ / "out";
  const Bytes des = KeyFile(frame::kAlgDes, frame::kKeySymmetric, {kDes});
  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = des;
    b[at] = value;
    return b;
  };
  Bytes damaged = des;
  damaged.back() ^= 1;
  Bytes longCount = KeyFile(frame::kAlgGost, frame::kKeySecretHalf, {{1, 2, 3}});
  Put32(longCount, frame::kHeaderSize, 4);  // one word more than the file holds
  Bytes hugeCount = longCount;
  Put32(hugeCount, frame::kHeaderSize, 0x40000001);  // * 4 wraps in 32 bits
  Bytes rsaCut = KeyFile(frame::kAlgRsa, frame::kKeySecretHalf, {kModulus, kExponent});
  rsaCut.resize(rsaCut.size() - 4);
  Bytes unknownFactor = des;
  Put32(unknownFactor, frame::kOffsetProtectionCode, 32);
  struct Case {
    const char* name;
    Bytes file;
    std::string destination;
    int code;
  } cases[] = {
      {"both codes 0", des, out, 34},
      {"magic", with(0, 'X'), "PWD:" + out, 27},
      {"version 2", with(18, 2), "PWD:" + out, 30},
      {"a ciphertext", with(frame::kOffsetFileKind, frame::kFileCiphertext), "PWD:" + out, 34},
      {"a public key", KeyFile(frame::kAlgRsa, frame::kKeyPublicHalf, {kModulus, kExponent}),
       "PWD:" + out, 34},
      {"common numbers", KeyFile(frame::kAlgDh, 4, {{5}, {23}}), "PWD:" + out, 34},
      {"47 bytes", Bytes(des.begin(), des.begin() + 47), "PWD:" + out, 27},
      {"header only", Bytes(des.begin(), des.begin() + 48), "PWD:" + out, 27},
      {"a DES block of 3 words", KeyFile(frame::kAlgDes, frame::kKeySymmetric, {{1, 2, 3}}),
       "PWD:" + out, 27},
      {"a count past the end", longCount, "PWD:" + out, 27},
      {"a count that wraps", hugeCount, "PWD:" + out, 27},
      {"an RSA exponent cut", rsaCut, "PWD:" + out, 27},
      {"an unknown factor", unknownFactor, out, 27},
      {"32769 bytes", Bytes(32769), "PWD:" + out, 27},
      {"damaged and clear", damaged, "PWD:" + out, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(key, c.file);
    ui_.shown.clear();
    Passwords({"never asked"});
    std::string text;
    EXPECT_EQ(Run(Quoted(key) + " " + Quoted(c.destination), &text), c.code);
    if (c.code == 34) {
      EXPECT_EQ(text, Native("ZQPWD34: Данные файла не защищаются"));
    }
    if (c.code == 27) {
      EXPECT_EQ(text, Native("ZQPWD27: Неверный формат файла: ") + key);
    }
    EXPECT_TRUE(ui_.CarrierEvents().empty());
    EXPECT_EQ(ReadFileBytes(key), c.file);
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k"});
  }
  // The file's bytes after the key are kept as they are.
  Bytes tail = des;
  tail.insert(tail.end(), {1, 2, 3});
  WriteFileBytes(key, tail);
  Passwords({"p"});
  EXPECT_EQ(Run(Quoted(key) + " " + Quoted("PWD:" + out)), 0);
  const Bytes written = ReadFileBytes(out);
  ASSERT_EQ(written.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.end() - 3, tail.end(), written.end() - 3));
}

TEST_F(PwdTest, CommandLine) {
  const std::string key = folder_ / "k.dek", out = folder_ / "out.dek";
  WriteFileBytes(key, KeyFile(frame::kAlgDes, frame::kKeySymmetric, {kDes}));
  WriteFileText(out, "old");
  struct Case {
    std::string options;
    std::vector<bool> answers;
    int code;
  } cases[] = {
      {"", {}, 1},
      {Quoted(key), {}, 1},
      {Quoted(key) + " " + Quoted(out) + " " + Quoted(out), {}, 1},
      // "/NOLOGO" is a name here: the third one.
      {Quoted(key) + " " + Quoted(out) + " /NOLOGO", {}, 1},
      // The question is always asked, and "no" keeps the file.
      {Quoted(key) + " " + Quoted("PWD:" + out), {false}, 11},
      {Quoted(folder_ / "missing") + " " + Quoted("PWD:" + out) + " /y", {}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    ui_.answers = c.answers;
    ui_.shown.clear();
    EXPECT_EQ(Run(c.options), c.code);
    EXPECT_EQ(ReadFileText(out), "old");
  }
  ui_.answers = {true};
  Passwords({"p"});
  EXPECT_EQ(Run(Quoted(key) + " " + Quoted("PWD:" + out)), 0);
  EXPECT_EQ(HeaderOf(ReadFileBytes(out)).protectionCode, 1u);
}

}  // namespace
}  // namespace nc::test
