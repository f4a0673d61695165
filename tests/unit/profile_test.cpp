// Profile (INI) files read as the Windows profile API reads them: natively
// through the library's own reader, under Wine through the system's API,
// with the same expectations.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "touch_memory_test_support.h"

namespace nc::platform {
namespace {

// A unique file name per test, in the folder bare names are looked up in.
class Profile : public ::testing::Test {
 protected:
  Profile() {
    name_ = std::string("nccore-") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
  }
  void Write(const std::string& text) { profile_.Write(name_, text); }
  std::string Read(const char* section, const char* key, const char* fallback = "",
                   std::uint32_t size = 256, std::uint32_t* length = nullptr) {
    std::string buffer(size + 8, '#');
    std::uint32_t n = ReadProfileString(name_.c_str(), section, key, fallback, buffer.data(), size);
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    if (length != nullptr) *length = n;
    std::string value(buffer.c_str());
    EXPECT_EQ(n, value.size());
    return value;
  }

  test::PrivateProfile profile_;
  std::string name_;
};

const char kSample[] =
    "; a comment\r\n"
    "[First]\r\n"
    "plain=value\r\n"
    "  spaced  =   two words  \r\n"
    "quoted=\"  kept blanks  \"\r\n"
    "single='x'\r\n"
    "half=\"open\r\n"
    "semicolon=a;b\r\n"
    "empty=\r\n"
    "twice=first\r\n"
    "twice=second\r\n"
    "novalue\r\n"
    ";hidden=yes\r\n"
    "[ Second ]\r\n"
    "plain=other\r\n"
    "[DeviceMemoryMapping]\r\n"
    "MappingDS1993=0-15, 100-110\r\n";

struct Lookup {
  const char* section;
  const char* key;
  const char* expected;
};

TEST_F(Profile, Values) {
  Write(kSample);
  const Lookup cases[] = {
      {"First", "plain", "value"},
      {"first", "PLAIN", "value"},  // names compare without regard to case
      {"First", "spaced", "two words"},
      {"First", "quoted", "  kept blanks  "},
      {"First", "single", "x"},
      {"First", "half", "\"open"},
      {"First", "semicolon", "a;b"},
      {"First", "empty", ""},
      {"First", "twice", "first"},
      {"Second", "plain", "other"},
      {"DeviceMemoryMapping", "MappingDS1993", "0-15, 100-110"},
  };
  for (const Lookup& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(Read(c.section, c.key, "default"), c.expected);
  }
}

TEST_F(Profile, DefaultsWhenMissing) {
  Write(kSample);
  EXPECT_EQ(Read("First", "absent", "fallback"), "fallback");
  EXPECT_EQ(Read("Absent", "plain", "fallback"), "fallback");
  EXPECT_EQ(Read("First", "hidden", "fallback"), "fallback");   // commented out
  EXPECT_EQ(Read("Second", "spaced", "fallback"), "fallback");  // another section's key
  EXPECT_EQ(Read("First", "absent", "trailing   "), "trailing");
  EXPECT_EQ(Read("First", "absent", nullptr), "");
  profile_.Remove(name_);
  EXPECT_EQ(Read("First", "plain", "no file"), "no file");
}

TEST_F(Profile, CutToTheBuffer) {
  Write("[S]\r\nkey=0123456789\r\n");
  std::uint32_t length = 0;
  EXPECT_EQ(Read("S", "key", "", 11, &length), "0123456789");
  EXPECT_EQ(Read("S", "key", "", 5, &length), "0123");
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(Read("S", "key", "", 1, &length), "");
  EXPECT_EQ(Read("S", "absent", "abcdef", 4, &length), "abc");
}

TEST_F(Profile, LongValues) {
  std::string value(3000, '7');
  Write("[S]\r\nkey=" + value + "\r\n");
  EXPECT_EQ(Read("S", "key", "", 4000), value);
  EXPECT_EQ(Read("S", "key", "", 2049), value.substr(0, 2048));
}

TEST_F(Profile, UnixLineEndsAndAByteOrderMark) {
  Write("\xEF\xBB\xBF[S]\nkey = value\nnext=2\n");
  EXPECT_EQ(Read("S", "key"), "value");
  EXPECT_EQ(Read("S", "next"), "2");
}

TEST_F(Profile, PathsAreUsedAsTheyAre) {
  test::TempFolder folder;
  std::string path = folder / "own.ini";
  test::WriteFileText(path, "[S]\r\nkey=here\r\n");
  char buffer[32];
  EXPECT_EQ(ReadProfileString(path.c_str(), "S", "key", "", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "here");
}

#ifndef _WIN32
TEST_F(Profile, BareNamesMatchWithoutRegardToCase) {
  profile_.Write("TAVOTM.ini", "[S]\nkey=upper\n");
  char buffer[32];
  EXPECT_EQ(ReadProfileString("TavoTM.INI", "S", "key", "", buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "upper");
}

TEST(ProfileDirectory, EnvironmentThenXdgConfig) {
  test::ScopedEnv dir("NCCORE_PROFILE_DIR", "/somewhere/profiles");
  EXPECT_EQ(ProfileDirectory(), "/somewhere/profiles");
  test::ScopedEnv noDir("NCCORE_PROFILE_DIR", nullptr);
  test::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(ProfileDirectory(), "/cfg/nccore");
  test::ScopedEnv relative("XDG_CONFIG_HOME", "relative");
  test::ScopedEnv home("HOME", "/home/user");
  EXPECT_EQ(ProfileDirectory(), "/home/user/.config/nccore");
}
#endif

}  // namespace
}  // namespace nc::platform
