// ZqDESK: the key file it writes, its questions, and what a failed or
// refused generation leaves behind (nothing new, an old key untouched).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

using platform::ScriptedUi;

std::string RunDesk(const std::string& options, int* code) {
  return CallOperation(ZqDESK, options, code);
}

std::string Question(const std::string& name) {
  return Native("Файл ") + name + Native(" уже существует. Перезаписать файл?");
}

// The checks every unprotected key file passes; returns the key bytes.
std::array<std::uint8_t, 8> ExpectUnprotectedKeyFile(const std::vector<std::uint8_t>& file) {
  std::array<std::uint8_t, 8> key{};
  EXPECT_EQ(file.size(), 60u);
  if (file.size() != 60) return key;
  frame::DataFileHeader h = HeaderOf(file);
  ExpectDataFileHeader(h, 1, 2, 1);
  EXPECT_EQ(h.mode, 0);
  EXPECT_EQ(h.unitSize, 0);
  EXPECT_EQ(h.dataLength, 0u);
  EXPECT_EQ(h.protectionCode, 0u);
  EXPECT_EQ(Le32(&file[48]), 2u);
  std::copy(file.begin() + 52, file.end(), key.begin());
  std::uint32_t integrity = 0;
  frame::UpdateIntegrityValue(&integrity, key.data(), key.size());
  EXPECT_EQ(h.integrityValue, integrity);
  for (std::uint8_t byte : key) EXPECT_EQ(__builtin_popcount(byte) % 2, 1) << "odd parity";
  return key;
}

class DeskTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override {
    frame::SetGuardedFaultHookForTests(nullptr);
    platform::SetUi(nullptr);
  }

  ScriptedUi ui_;
  TempFolder folder_;
};

TEST_F(DeskTest, NoOptionsWriteAnUnprotectedKeyUnderTheDefaultName) {
  int code = -1;
  std::string text = CallOperationIn(folder_.path(), ZqDESK, "", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, Native("ZQDESK00: Операция выполнена успешно"));
  // Joined by hand: the name's bytes must reach the library unconverted.
  const std::string name = folder_.path().string() + "/" + Native("Ключ DES.DEK");
  ExpectUnprotectedKeyFile(ReadLibraryFile(name));
  EXPECT_EQ(folder_.Names().size(), 1u);  // no temporary file left
  EXPECT_TRUE(ui_.shown.empty());
#ifndef _WIN32
  auto permissions = std::filesystem::status(name).permissions();
  EXPECT_EQ(permissions & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
#endif
}

TEST_F(DeskTest, EveryKeyAndChallengeIsFresh) {
  std::vector<std::array<std::uint8_t, 8>> keys;
  std::vector<std::uint32_t> challenges;
  for (int i = 0; i < 4; ++i) {
    std::string name = folder_ / ("k" + std::to_string(i) + ".dek");
    int code = -1;
    RunDesk(Quoted(name), &code);
    ASSERT_EQ(code, 0);
    std::vector<std::uint8_t> file = ReadLibraryFile(name);
    keys.push_back(ExpectUnprotectedKeyFile(file));
    challenges.push_back(HeaderOf(file).tokenChallenge);
  }
  for (std::size_t i = 0; i < keys.size(); ++i)
    for (std::size_t j = i + 1; j < keys.size(); ++j) {
      EXPECT_NE(keys[i], keys[j]);
      EXPECT_NE(challenges[i], challenges[j]);
    }
}

TEST_F(DeskTest, AnExistingFileIsReplacedOnlyWhenAllowed) {
  const std::string name = folder_ / "k.dek";
  struct Case {
    const char* options;
    std::vector<bool> answers;
    int code;
    bool asked;
  } cases[] = {
      {"/NOLOGO", {true}, 11, false},  // quiet: "no" without a question
      {"", {false}, 11, true},        {"", {true}, 0, true},
      {"/Y", {}, 0, false},           {"/nologo /y", {}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    WriteFileText(name, "old key");
    ui_.shown.clear();
    ui_.answers = c.answers;
    int code = -1;
    std::string text = RunDesk(Quoted(name) + " " + c.options, &code);
    EXPECT_EQ(code, c.code);
    if (c.code == 11) {
      EXPECT_EQ(text, Native("ZQDESK11: Файл уже существует: ") + name);
      EXPECT_EQ(ReadFileText(name), "old key");
    } else {
      ExpectUnprotectedKeyFile(ReadLibraryFile(name));
    }
    ASSERT_EQ(ui_.shown.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(ui_.shown[0].caption, Native("Генератор ключей DES"));
      EXPECT_EQ(ui_.shown[0].text, Question(name));
    }
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k.dek"});
  }
}

TEST_F(DeskTest, ASecondNameIsABadCommandAndCreatesNothing) {
  for (const std::string& options :
       {Quoted(folder_ / "a.dek") + " " + Quoted(folder_ / "b.dek"),
        Quoted(folder_ / "a.dek") + " /Y x", "/Y " + Quoted(folder_ / "a.dek") + Quoted("b.dek")}) {
    int code = -1;
    EXPECT_EQ(RunDesk(options, &code), Native("ZQDESK01: Неправильный формат команды")) << options;
    EXPECT_EQ(code, 1);
  }
  EXPECT_TRUE(folder_.Names().empty());
}

TEST_F(DeskTest, AFileThatCannotBeCreatedGives03) {
  const std::string name = (folder_.path() / "missing" / "k.dek").string();
  int code = -1;
  EXPECT_EQ(RunDesk(Quoted(name), &code), Native("ZQDESK03: Ошибка записи в файл: ") + name);
  EXPECT_EQ(code, 3);
  // Keywords without a name: nothing to create, and no master key is asked for.
  std::string text = CallOperationIn(folder_.path(), ZqDESK, "\"PWD,TM:\"", &code);
  EXPECT_EQ(text, Native("ZQDESK03: Ошибка записи в файл: "));
  EXPECT_TRUE(ui_.CarrierEvents().empty());
  EXPECT_TRUE(folder_.Names().empty());
}

// Quiet mode cannot ask for a password: the master key is refused, and the
// old key file survives untouched.
TEST_F(DeskTest, ARefusedMasterKeyKeepsTheOldKeyFile) {
  const std::string name = folder_ / "k.dek";
  for (const std::string prefix : {"PWD:", "pwd,PWD:", "TM,PWD:"}) {
    SCOPED_TRACE(prefix);
    WriteFileText(name, "old key");
    int code = -1;
    EXPECT_EQ(RunDesk(Quoted(prefix + name) + " /NOLOGO /Y", &code),
              Native("ZQDESK25: Ошибка при чтении параметров аппаратуры"));
    EXPECT_EQ(code, 25);
    EXPECT_EQ(ReadFileText(name), "old key");
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k.dek"});
  }
}

TEST_F(DeskTest, AFaultLeavesTheOldKeyFileAndNoTemporary) {
  const std::string name = folder_ / "k.dek";
  WriteFileText(name, "old key");
  frame::SetGuardedFaultHookForTests(WriteThroughBadPointer);
  int code = -1;
  std::string text = RunDesk(Quoted(name) + " /Y", &code);
  frame::SetGuardedFaultHookForTests(nullptr);
  EXPECT_EQ(code, 33);
  EXPECT_EQ(text, Native("ZQDESK33: Возникло необработанное исключение"));
  EXPECT_EQ(ReadFileText(name), "old key");
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k.dek"});
}

}  // namespace
}  // namespace nc::test
