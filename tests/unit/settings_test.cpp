// The settings store: the registry model on both platforms (the Windows
// registry under Wine, the text store natively), and on POSIX the store's
// file itself.
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "carrier_test_support.h"

namespace nc::platform {
namespace {

using nc::test::Native;
using nc::test::PrivateMachine;

const char kRoot[] = "SOFTWARE\\NCCORE Tests\\Settings";
const char kKey[] = "SOFTWARE\\NCCORE Tests\\Settings\\Carrier\\2.0";

class SettingsTest : public ::testing::Test {
 protected:
  PrivateMachine machine_{{kRoot}};
};

TEST_F(SettingsTest, MissingKeyAndValueReadAsMissing) {
  std::uint32_t dword = 77;
  std::string text = "unchanged";
  EXPECT_FALSE(SettingsKeyExists(kKey));
  EXPECT_FALSE(ReadSettingDword(kKey, "SSI_ACT", &dword));
  EXPECT_FALSE(ReadSettingText(kKey, "Port", &text));
  EXPECT_EQ(dword, 77u);
  EXPECT_EQ(text, "unchanged");

  ASSERT_TRUE(CreateSettingsKey(kKey));
  EXPECT_FALSE(ReadSettingDword(kKey, "SSI_ACT", &dword));
  EXPECT_EQ(dword, 77u);
}

TEST_F(SettingsTest, CreatingAKeyCreatesItsParents) {
  ASSERT_TRUE(CreateSettingsKey(kKey));
  EXPECT_TRUE(SettingsKeyExists(kKey));
  EXPECT_TRUE(SettingsKeyExists("SOFTWARE\\NCCORE Tests\\Settings\\Carrier"));
  EXPECT_TRUE(SettingsKeyExists(kRoot));
  // Creating it again is no failure.
  EXPECT_TRUE(CreateSettingsKey(kKey));
}

TEST_F(SettingsTest, WritingAValueCreatesTheKey) {
  ASSERT_TRUE(WriteSettingDword(kKey, "SSI_ACT", 10));
  EXPECT_TRUE(SettingsKeyExists(kKey));
  std::uint32_t value = 0;
  ASSERT_TRUE(ReadSettingDword(kKey, "SSI_ACT", &value));
  EXPECT_EQ(value, 10u);
}

TEST_F(SettingsTest, DwordsKeepEveryBit) {
  const std::uint32_t values[] = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x12345678u};
  for (std::uint32_t v : values) {
    SCOPED_TRACE(v);
    ASSERT_TRUE(WriteSettingDword(kKey, "Value", v));
    std::uint32_t back = ~v;
    ASSERT_TRUE(ReadSettingDword(kKey, "Value", &back));
    EXPECT_EQ(back, v);
  }
}

TEST_F(SettingsTest, TextsComeBackByteForByte) {
  const std::string texts[] = {
      "",
      "/dev/ttyUSB0",
      "quote \" and backslash \\ and \\\" together",
      "two\nlines",
      "  leading and trailing blanks  ",
      "name=value; # not a comment [not a key]",
      Native("Порт адаптера"),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(WriteSettingText(kKey, "Text", text.c_str()));
    std::string back = "x";
    ASSERT_TRUE(ReadSettingText(kKey, "Text", &back));
    EXPECT_EQ(back, text);
  }
}

TEST_F(SettingsTest, AValueOfTheOtherKindReadsAsMissing) {
  ASSERT_TRUE(WriteSettingDword(kKey, "Number", 5));
  ASSERT_TRUE(WriteSettingText(kKey, "Text", "5"));
  std::string text;
  std::uint32_t dword = 0;
  EXPECT_FALSE(ReadSettingText(kKey, "Number", &text));
  EXPECT_FALSE(ReadSettingDword(kKey, "Text", &dword));
  // Rewriting a value with the other kind replaces it.
  ASSERT_TRUE(WriteSettingText(kKey, "Number", "five"));
  EXPECT_FALSE(ReadSettingDword(kKey, "Number", &dword));
  ASSERT_TRUE(ReadSettingText(kKey, "Number", &text));
  EXPECT_EQ(text, "five");
}

TEST_F(SettingsTest, NamesIgnoreAsciiCase) {
  ASSERT_TRUE(WriteSettingDword(kKey, "SSI_ACT", 41));
  std::uint32_t value = 0;
  ASSERT_TRUE(
      ReadSettingDword("software\\nccore tests\\SETTINGS\\carrier\\2.0", "ssi_act", &value));
  EXPECT_EQ(value, 41u);
  ASSERT_TRUE(WriteSettingDword(kKey, "ssi_act", 42));
  ASSERT_TRUE(ReadSettingDword(kKey, "SSI_ACT", &value));
  EXPECT_EQ(value, 42u);
}

TEST_F(SettingsTest, ValuesOfOneKeyAndOfOtherKeysStayApart) {
  const char other[] = "SOFTWARE\\NCCORE Tests\\Settings\\Other";
  ASSERT_TRUE(WriteSettingDword(kKey, "A", 1));
  ASSERT_TRUE(WriteSettingDword(kKey, "B", 2));
  ASSERT_TRUE(WriteSettingDword(other, "A", 3));
  std::uint32_t a = 0, b = 0, otherA = 0, otherB = 0;
  ASSERT_TRUE(ReadSettingDword(kKey, "A", &a));
  ASSERT_TRUE(ReadSettingDword(kKey, "B", &b));
  ASSERT_TRUE(ReadSettingDword(other, "A", &otherA));
  EXPECT_FALSE(ReadSettingDword(other, "B", &otherB));
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
  EXPECT_EQ(otherA, 3u);
}

TEST_F(SettingsTest, DeletingAValueLeavesTheOthers) {
  ASSERT_TRUE(WriteSettingDword(kKey, "SSI_ACT", 10));
  ASSERT_TRUE(WriteSettingDword(kKey, "Keep", 11));
  EXPECT_TRUE(DeleteSettingValue(kKey, "SSI_ACT"));
  std::uint32_t value = 0;
  EXPECT_FALSE(ReadSettingDword(kKey, "SSI_ACT", &value));
  ASSERT_TRUE(ReadSettingDword(kKey, "Keep", &value));
  EXPECT_EQ(value, 11u);
  EXPECT_TRUE(SettingsKeyExists(kKey));
  // Gone already, or never there: still a success.
  EXPECT_TRUE(DeleteSettingValue(kKey, "SSI_ACT"));
  EXPECT_TRUE(DeleteSettingValue("SOFTWARE\\NCCORE Tests\\Settings\\Missing", "X"));
}

TEST_F(SettingsTest, DeletingAKeyTakesItsSubkeysButNotItsNeighbours) {
  const char sibling[] = "SOFTWARE\\NCCORE Tests\\Settings\\Carrier2";
  ASSERT_TRUE(WriteSettingDword(kKey, "A", 1));
  ASSERT_TRUE(WriteSettingDword(sibling, "A", 2));
  EXPECT_TRUE(DeleteSettingsKey("SOFTWARE\\NCCORE Tests\\Settings\\Carrier"));
  EXPECT_FALSE(SettingsKeyExists(kKey));
  EXPECT_FALSE(SettingsKeyExists("SOFTWARE\\NCCORE Tests\\Settings\\Carrier"));
  EXPECT_TRUE(SettingsKeyExists(sibling));
  std::uint32_t value = 0;
  ASSERT_TRUE(ReadSettingDword(sibling, "A", &value));
  EXPECT_EQ(value, 2u);
  EXPECT_TRUE(DeleteSettingsKey("SOFTWARE\\NCCORE Tests\\Settings\\Carrier"));
}

TEST_F(SettingsTest, NullArgumentsAreRefused) {
  std::uint32_t value = 0;
  std::string text;
  EXPECT_FALSE(SettingsKeyExists(nullptr));
  EXPECT_FALSE(CreateSettingsKey(nullptr));
  EXPECT_FALSE(ReadSettingDword(nullptr, "A", &value));
  EXPECT_FALSE(ReadSettingDword(kKey, nullptr, &value));
  EXPECT_FALSE(WriteSettingDword(nullptr, "A", 1));
  EXPECT_FALSE(WriteSettingText(kKey, "A", nullptr));
  EXPECT_FALSE(ReadSettingText(kKey, nullptr, &text));
}

#ifndef _WIN32
// ---------------------------------------------------------------------------
// The POSIX store's file

TEST_F(SettingsTest, TheFileReadsLikeARegistryExport) {
  ASSERT_TRUE(WriteSettingDword(kKey, "SSI_ACT", 0x1234abcd));
  ASSERT_TRUE(WriteSettingText(kKey, "Port", "a \"b\" c\\d"));
  std::string file = nc::test::ReadFileText(machine_.folder() / "settings.ini");
  EXPECT_EQ(file,
            "[SOFTWARE]\n\n"
            "[SOFTWARE\\NCCORE Tests]\n\n"
            "[SOFTWARE\\NCCORE Tests\\Settings]\n\n"
            "[SOFTWARE\\NCCORE Tests\\Settings\\Carrier]\n\n"
            "[SOFTWARE\\NCCORE Tests\\Settings\\Carrier\\2.0]\n"
            "\"SSI_ACT\"=dword:1234abcd\n"
            "\"Port\"=\"a \\\"b\\\" c\\\\d\"\n\n");
  // Only the store itself is left in the folder: no temporary, and the lock
  // file beside it.
  EXPECT_EQ(machine_.folder().Names(),
            (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
}

TEST_F(SettingsTest, AHandWrittenFileIsRead) {
  nc::test::WriteFileText(machine_.folder() / "settings.ini",
                          "; written by hand\r\n"
                          "# another comment\r\n"
                          "\"Orphan\"=dword:00000001\r\n"
                          "  [ SOFTWARE\\Corvane ]  \r\n"
                          "\"SSI_ACT\"=dword:0000002A\r\n"
                          "\"Broken\"=dword:xyz\r\n"
                          "\"TooLong\"=dword:123456789\r\n"
                          "\"Unclosed\"=\"text\r\n"
                          "NoQuotes=dword:00000001\r\n"
                          "\"Port\"=\"COM1\"\r\n"
                          "\"Port\"=\"COM2\"\r\n"
                          "[SOFTWARE\\Corvane\\\\NCX\\]\n"
                          "\"Value\"=dword:00000005\n");
  std::uint32_t value = 0;
  std::string text;
  ASSERT_TRUE(ReadSettingDword(" SOFTWARE\\Corvane ", "SSI_ACT", &value));
  EXPECT_EQ(value, 42u);
  EXPECT_FALSE(ReadSettingDword(" SOFTWARE\\Corvane ", "Broken", &value));
  EXPECT_FALSE(ReadSettingDword(" SOFTWARE\\Corvane ", "TooLong", &value));
  EXPECT_FALSE(ReadSettingText(" SOFTWARE\\Corvane ", "Unclosed", &text));
  EXPECT_FALSE(ReadSettingDword(" SOFTWARE\\Corvane ", "NoQuotes", &value));
  ASSERT_TRUE(ReadSettingText(" SOFTWARE\\Corvane ", "Port", &text));
  EXPECT_EQ(text, "COM2");  // the last of two lines counts
  ASSERT_TRUE(ReadSettingDword("SOFTWARE\\Corvane\\NCX", "Value", &value));
  EXPECT_EQ(value, 5u);
  EXPECT_FALSE(SettingsKeyExists("Orphan"));
}

TEST_F(SettingsTest, WritersInParallelLoseNothing) {
  constexpr int kWriters = 6;
  constexpr int kRounds = 15;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([w] {
      std::string name = "Writer" + std::to_string(w);
      for (int round = 1; round <= kRounds; ++round) {
        WriteSettingDword(kKey, name.c_str(), static_cast<std::uint32_t>(round));
        WriteSettingDword(kKey, (name + "-" + std::to_string(round)).c_str(), 1);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int w = 0; w < kWriters; ++w) {
    std::string name = "Writer" + std::to_string(w);
    std::uint32_t value = 0;
    ASSERT_TRUE(ReadSettingDword(kKey, name.c_str(), &value)) << name;
    EXPECT_EQ(value, static_cast<std::uint32_t>(kRounds)) << name;
    for (int round = 1; round <= kRounds; ++round) {
      EXPECT_TRUE(ReadSettingDword(kKey, (name + "-" + std::to_string(round)).c_str(), &value))
          << name << " round " << round;
    }
  }
}

TEST_F(SettingsTest, WithoutTheVariableTheStoreLivesInTheConfigFolder) {
  nc::test::ScopedEnv noStore("NCCORE_SETTINGS", nullptr);
  nc::test::ScopedEnv config("XDG_CONFIG_HOME", (machine_.folder() / "config").c_str());
  ASSERT_TRUE(WriteSettingDword(kKey, "SSI_ACT", 12));
  EXPECT_TRUE(
      std::filesystem::exists(machine_.folder().path() / "config" / "nccore" / "settings.ini"));
  std::uint32_t value = 0;
  ASSERT_TRUE(ReadSettingDword(kKey, "SSI_ACT", &value));
  EXPECT_EQ(value, 12u);
}
#endif

}  // namespace
}  // namespace nc::platform
