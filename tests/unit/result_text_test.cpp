// Result texts, the conversion of last errors into results, the overwrite
// question, the information box and intSTRIStr.
#include "frame/result_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::frame {
namespace {

using test::Native;

// The messages of the result codes, as the user reads them.
struct Message {
  int code;
  const char* text;
  bool takesName;
};
const Message kMessages[] = {
    {0, "00: Операция выполнена успешно", false},
    {1, "01: Неправильный формат команды", false},
    {2, "02: Ошибка чтения файла: ", true},
    {3, "03: Ошибка записи в файл: ", true},
    {7, "07: Ошибка сравнения файлов", false},
    {10, "10: Пользователь прервал работу", false},
    {11, "11: Файл уже существует: ", true},
    {12, "12: Отрицательный результат при проверке ЭЦП", false},
    {25, "25: Ошибка при чтении параметров аппаратуры", false},
    {26, "26: Ошибка при выделении памяти", false},
    {27, "27: Неверный формат файла: ", true},
    {28, "28: Ошибка при создании диалогового окна", false},
    {29, "29: Ошибка при запуске потока", false},
    {30, "30: Версия файла данных не поддерживается: ", true},
    {31, "31: Нарушение целостности данных файла: ", true},
    {32, "32: Неизвестная ошибка", false},
    {33, "33: Возникло необработанное исключение", false},
    {34, "34: Данные файла не защищаются", false},
};

std::string MessageOf(int code) {
  for (const Message& m : kMessages)
    if (m.code == code) return Native(m.text);
  ADD_FAILURE() << "no message for " << code;
  return {};
}

// ---------------------------------------------------------------------------
// Building the text

TEST(ResultText, TagThenMessageThenNameForTheCodesThatTakeOne) {
  for (const Message& m : kMessages) {
    SCOPED_TRACE(m.code);
    ResultText result;
    InitResultText(result, "ZQDESF");
    EXPECT_STREQ(result.text, "ZQDESF");
    AppendResult(result, m.code, "k.dek");
    std::string expected = "ZQDESF" + Native(m.text) + (m.takesName ? "k.dek" : "");
    EXPECT_EQ(std::string(result.text), expected);
    EXPECT_EQ(ResultCodeOf(result, 6), m.code);

    InitResultText(result, "ZQDIK");
    AppendResult(result, m.code);
    EXPECT_EQ(std::string(result.text), "ZQDIK" + Native(m.text));
    EXPECT_EQ(ResultCodeOf(result, 5), m.code);
  }
}

TEST(ResultText, LongNameIsCutToTheBufferOnACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 600; ++i) name += Native("ж");
  ResultText result;
  InitResultText(result, "ZQPWD");
  AppendResult(result, kResultCorrupt, name.c_str());
  std::string text = result.text;
  std::string full = "ZQPWD" + MessageOf(31) + name;
  ASSERT_LE(text.size(), kResultTextSize - 1);
  EXPECT_GE(text.size(), kResultTextSize - 4);
  EXPECT_EQ(text, full.substr(0, text.size()));
  EXPECT_TRUE(test::IsCharacterBoundary(full, text.size()));
  EXPECT_EQ(ResultCodeOf(result, 5), kResultCorrupt);
}

// ---------------------------------------------------------------------------
// Copying the text out

TEST(CopyResultOut, CutToEverySizeKeepsWholeCharacters) {
  ResultText result;
  InitResultText(result, "ZQGOSB");
  AppendResult(result, kResultBadCommand);
  const std::string full = result.text;
  for (std::int32_t size = 1; size <= static_cast<std::int32_t>(full.size()) + 2; ++size) {
    SCOPED_TRACE(size);
    std::vector<char> buffer(static_cast<std::size_t>(size), '\x7F');
    CopyResultOut(result, buffer.data(), size);
    std::string out = buffer.data();  // terminated inside the buffer
    std::size_t room = static_cast<std::size_t>(size) - 1;
    EXPECT_EQ(out, full.substr(0, out.size()));
    EXPECT_LE(out.size(), room);
    EXPECT_TRUE(test::IsCharacterBoundary(full, out.size()));
    std::size_t fits = std::min(room, full.size());
#ifdef _WIN32
    EXPECT_EQ(out.size(), fits);
#else
    EXPECT_GE(out.size() + 3, fits);  // at most a partial character is dropped
#endif
  }
}

#ifndef _WIN32
TEST(CopyResultOut, CutInsideALetterDropsTheWholeLetter) {
  ResultText result;
  InitResultText(result, "ZQGOSB");
  AppendResult(result, kResultBadCommand);  // "ZQGOSB01: Неправильный..."
  char buffer[16];
  CopyResultOut(result, buffer, 12);  // room for "ZQGOSB01: " and half of "Н"
  EXPECT_STREQ(buffer, "ZQGOSB01: ");
  CopyResultOut(result, buffer, 13);
  EXPECT_STREQ(buffer, "ZQGOSB01: Н");
}
#endif

TEST(CopyResultOut, NoBufferOrNoRoomWritesNothing) {
  ResultText result;
  InitResultText(result, "ZQGOSB");
  AppendResult(result, kResultOk);
  char buffer[4] = {'a', 'b', 'c', '\0'};
  CopyResultOut(result, buffer, 0);
  CopyResultOut(result, buffer, -5);
  EXPECT_STREQ(buffer, "abc");
  CopyResultOut(result, nullptr, 100);
}

TEST(CopyResultOut, ShortCallerBufferLeavesTheReturnedCodeWhole) {
  // An empty option string lacks the source name: result 01.
  char buffer[8];
  std::memset(buffer, 0x7F, sizeof buffer);
  EXPECT_EQ(ZqGOSB(nullptr, "", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "ZQGOSB0");

  EXPECT_EQ(ZqGOSB(nullptr, "", buffer, 1), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(ZqGOSB(nullptr, "", nullptr, 0), 1);

  char whole[512];
  EXPECT_EQ(ZqGOSB(nullptr, "", whole, sizeof whole), 1);
  EXPECT_EQ(std::string(whole), "ZQGOSB" + MessageOf(1));
}

// ---------------------------------------------------------------------------
// Last error to result

struct ErrorCase {
  std::uint32_t error;
  int code;
  bool takesName;
};
const ErrorCase kErrors[] = {
    {13, 27, true},           {29, 3, true},  {30, 2, true},  {1305, 30, true}, {1326, 25, false},
    {1392, 31, true},         {2, 32, false}, {5, 32, false}, {87, 32, false},  {1784, 32, false},
    {0x8000000Fu, 32, false},
};

TEST(AppendSystemErrorText, MapsEveryErrorAndAppendsTheNameAfterOneBlank) {
  for (const ErrorCase& c : kErrors) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(ResultForSystemError(c.error), c.code);

    char text[512] = "ZQDESF";
    platform::SetLastErrorCode(c.error);
    AppendSystemErrorText(text, sizeof text, "k.dek");
    EXPECT_EQ(std::string(text), "ZQDESF" + MessageOf(c.code) + (c.takesName ? " k.dek" : ""));

    char noName[512] = "ZQDESF";
    platform::SetLastErrorCode(c.error);
    AppendSystemErrorText(noName, sizeof noName, nullptr);
    EXPECT_EQ(std::string(noName), "ZQDESF" + MessageOf(c.code));
  }
}

TEST(AppendSystemErrorText, ErrorZeroEmptiesTheText) {
  EXPECT_EQ(ResultForSystemError(0), 0);
  char text[512] = "ZQDESF";
  platform::SetLastErrorCode(0);
  AppendSystemErrorText(text, sizeof text, "k.dek");
  EXPECT_STREQ(text, "");
}

TEST(AppendSystemErrorText, NameOnlyWhenTheSpaceLeftExceedsItsLengthPlusOne) {
  const std::string base = "T" + MessageOf(2);  // what precedes the name
  const std::string name = "abc";
  struct SizeCase {
    std::size_t left;  // bytes left after the message, terminator included
    bool appended;
  };
  const SizeCase cases[] = {
      {name.size() + 2, true}, {name.size() + 5, true}, {name.size() + 1, false}, {1, false}};
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.left);
    std::size_t size = base.size() + c.left;
    std::vector<char> text(size, '\x7F');
    std::strcpy(text.data(), "T");
    platform::SetLastErrorCode(platform::kErrorReadFault);
    AppendSystemErrorText(text.data(), size, name.c_str());
    EXPECT_EQ(std::string(text.data()), c.appended ? base + " " + name : base);
  }
}

TEST(AppendSystemErrorText, MessageIsCutToASmallBuffer) {
  char text[8] = "T";
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  AppendSystemErrorText(text, sizeof text, "k.dek");
  // Seven bytes of room: "T27: Н" in UTF-8, "T27: Не" in code page 1251.
  std::string full = "T" + MessageOf(27);
  EXPECT_EQ(std::strlen(text), 7u);
  EXPECT_EQ(std::string(text), full.substr(0, 7));
}

// ---------------------------------------------------------------------------
// Questions and information

class ScriptedUiTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }
  platform::ScriptedUi ui_;
};

using ConfirmOverwriteTest = ScriptedUiTest;

std::string Question(const std::string& name) {
  return Native("Файл ") + name + Native(" уже существует. Перезаписать файл?");
}

TEST_F(ConfirmOverwriteTest, QuietAnswersNoWithoutAsking) {
  ui_.answers = {true};
  EXPECT_FALSE(ConfirmOverwrite(nullptr, platform::kTitleDesKeys, "k.dek", true));
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(ConfirmOverwriteTest, AsksWithTheTitleAsCaption) {
  auto* parent = reinterpret_cast<platform::WindowHandle>(0x1234);
  ui_.answers = {true, false};
  EXPECT_TRUE(ConfirmOverwrite(parent, platform::kTitleDesKeys, "out.dek", false));
  EXPECT_FALSE(ConfirmOverwrite(nullptr, platform::kTitleGostTable, "C:\\t.gtb", false));
  ASSERT_EQ(ui_.shown.size(), 2u);
  EXPECT_EQ(ui_.shown[0].kind, platform::ScriptedUi::Shown::Question);
  EXPECT_EQ(ui_.shown[0].parent, parent);
  EXPECT_EQ(ui_.shown[0].caption, Native("Генератор ключей DES"));
  EXPECT_EQ(ui_.shown[0].text, Question("out.dek"));
  EXPECT_EQ(ui_.shown[1].parent, nullptr);
  EXPECT_EQ(ui_.shown[1].caption, Native("Импорт блока подстановки ГОСТ"));
  EXPECT_EQ(ui_.shown[1].text, Question("C:\\t.gtb"));
}

TEST_F(ConfirmOverwriteTest, EveryOperationTitleIsShownWhole) {
  struct Title {
    int id;
    const char* text;
  };
  const Title titles[] = {
      {101, "Генератор ключей DES"},
      {102, "Файловый криптопроцессор DES"},
      {103, "Генератор пар ключей RSA"},
      {104, "Файловый криптопроцессор RSA"},
      {105, "Импорт блока подстановки ГОСТ"},
      {106, "Генератор ключей ГОСТ"},
      {107, "Генератор общих чисел ЭЦП ГОСТ"},
      {108, "Генератор пар ключей ЭЦП ГОСТ"},
      {109, "Файловый криптопроцессор ГОСТ"},
      {110, "Генератор общих чисел A и P"},
      {111, "Генератор сеансовых ключей"},
      {112, "Файловый криптопроцессор Диффи-Хеллмана"},
      {114, "Смена защиты ключей"},
      {0, ""},
  };
  for (const Title& t : titles) {
    SCOPED_TRACE(t.id);
    ui_.shown.clear();
    ConfirmOverwrite(nullptr, t.id, "f", false);
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].caption, Native(t.text));
  }
}

TEST_F(ConfirmOverwriteTest, LongNameIsCutTo511Characters) {
  std::string name;
  for (int i = 0; i < 600; ++i) name += Native("я");
  ConfirmOverwrite(nullptr, platform::kTitleDesKeys, name.c_str(), false);
  ASSERT_EQ(ui_.shown.size(), 1u);
  const std::string& text = ui_.shown[0].text;
  std::string full = Question(name);
  // "Файл " and then the name's characters, 511 characters in all.
  std::string expected = Native("Файл ");
  for (int i = 0; i < 511 - 5; ++i) expected += Native("я");
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text, full.substr(0, text.size()));
}

using ShowInfoBoxTest = ScriptedUiTest;

TEST_F(ShowInfoBoxTest, CaptionIsTheChangeOfProtectionTitle) {
  auto* parent = reinterpret_cast<platform::WindowHandle>(0x42);
  ShowInfoBox(parent, "text");
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0].kind, platform::ScriptedUi::Shown::Info);
  EXPECT_EQ(ui_.shown[0].parent, parent);
  EXPECT_EQ(ui_.shown[0].caption, Native("Смена защиты ключей"));
  EXPECT_EQ(ui_.shown[0].text, "text");
}

// ---------------------------------------------------------------------------
// intSTRIStr

TEST(IntStriStr, FindsThePatternWithAsciiLettersFolded) {
  struct Case {
    std::string text;
    std::string pattern;
    int at;  // -1: not found
  };
  const Case cases[] = {
      {"Abc /nologo", "/NOLOGO", 4},
      {"Abc /nologo", "/nOlOgO", 4},
      {"abc", "abcd", -1},
      {"abc", "", 0},
      {"", "", 0},
      {"", "a", -1},
      {"abc", "ABC", 0},
      {"abcXYZ", "xyz", 3},
      {"aaab", "AAB", 1},
      {"abcabc", "CA", 2},
      {"abc", "abd", -1},
      // Only ASCII letters are folded: characters 0x20 apart that are not
      // letters, and Russian letters, must match exactly.
      {"a{b", "A[B", -1},
      {"a[b", "A{B", -1},
      {"`", "@", -1},
      {"1", "\x11", -1},
      {Native("Привет"), Native("привет"), -1},
      {Native("Привет"), Native("Привет"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.pattern);
    test::ExactString text(c.text);
    test::ExactString pattern(c.pattern);
    const char* found = intSTRIStr(text.get(), pattern.get());
    if (c.at < 0)
      EXPECT_EQ(found, nullptr);
    else
      EXPECT_EQ(found, text.get() + c.at);
  }
}

}  // namespace
}  // namespace nc::frame
