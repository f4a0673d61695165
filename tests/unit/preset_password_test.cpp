// Passwords given in advance through NCCORE_PASSWORD_FD: one line per
// dialog that asks for a password, in order; an empty line, a line with a
// NUL byte, a line the dialog refuses, a carrier missing for a round or the
// end of the input cancels; the lines are read in the encoding
// NCCORE_PASSWORD_ENCODING names (the platform's own when unset), never
// guessed from their bytes; no descriptor (or a terminal), no preset. Also
// the password box's rules on their own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#endif

#include "platform/last_error.h"
#include "platform/password_box.h"
#include "platform/preset_password.h"
#include "platform/ui.h"
#include "protect/master_key.h"
#include "protect_test_support.h"

namespace nc::protect {
namespace {

using test::Key8;
using test::PasswordKeyOf;

// A file of password lines, open for reading, named by NCCORE_PASSWORD_FD
// for the life of the object.
class PresetFile {
 public:
  PresetFile(const test::TempFolder& folder, const std::string& content) {
    std::string path = (folder.path() / "passwords.txt").string();
    test::WriteFileText(path, content);
#ifdef _WIN32
    fd_ = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
    std::string name = std::to_string(static_cast<unsigned long long>(::_get_osfhandle(fd_)));
#else
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string name = std::to_string(fd_);
#endif
    EXPECT_GE(fd_, 0);
    env_.emplace("NCCORE_PASSWORD_FD", name.c_str());
  }
  PresetFile(const PresetFile&) = delete;
  PresetFile& operator=(const PresetFile&) = delete;
  ~PresetFile() {
    env_.reset();
#ifdef _WIN32
    ::_close(fd_);
#else
    ::close(fd_);
#endif
  }

 private:
  int fd_ = -1;
  std::optional<test::ScopedEnv> env_;
};

class PresetPasswordTest : public test::ProtectTest {
 protected:
  PresetPasswordTest() { platform::SetUi(&platform::HeadlessUi()); }
  ~PresetPasswordTest() override { platform::SetUi(nullptr); }

  // AcquireMasterKey with the headless backend: the key, or nullopt.
  std::optional<Key8> Acquire(std::uint32_t code) {
    static const std::uint8_t challenge[4] = {1, 2, 3, 4};
    MasterKeyBlock out;
    int result = AcquireMasterKey(nullptr, code, 0, challenge, 4, &out);
    EXPECT_EQ(platform::GetLastErrorCode(), result == 1 ? 0u : platform::kErrorLogonFailure);
    if (result != 1) return std::nullopt;
    Key8 key;
    std::memcpy(key.data(), out.key, 8);
    return key;
  }

  test::TempFolder folder_;
};

const Key8 kTmKey = {0x8b, 0x3c, 0xe3, 0x74, 0x1a, 0x79, 0x2f, 0x80};

Key8 Xor(const Key8& a, const Key8& b) { return test::Xor(a, b); }

TEST_F(PresetPasswordTest, EachDialogThatAsksTakesTheNextLine) {
  PresetFile file(folder_, "first\r\nsecond\n\nafter the empty line");
  EXPECT_EQ(Acquire(kFactorPassword), PasswordKeyOf("first"));
  // A dialog that asks for no password takes no line.
  EXPECT_EQ(Acquire(kFactorTouchMemory), kTmKey);
  // The line is taken once the hardware is read: a round that misses the
  // device cancels without taking it.
  tm_.switches().FailNext("vtmd.read_rom", {31});
  EXPECT_EQ(Acquire(kFactorPassword | kFactorTouchMemory), std::nullopt);
  EXPECT_EQ(Acquire(kFactorPassword | kFactorTouchMemory), Xor(PasswordKeyOf("second"), kTmKey));
  EXPECT_GE(tm_.switches().Calls("vtmd.read_rom"), 1 + 2);
  EXPECT_EQ(Acquire(kFactorPassword), std::nullopt);  // the empty line cancels
  EXPECT_EQ(Acquire(kFactorPassword), PasswordKeyOf("after the empty line"));
  EXPECT_EQ(Acquire(kFactorPassword), std::nullopt);  // the end of the input cancels
}

// The same lines under each encoding. "Рё" in code page 1251 (d0 b8) is
// also well-formed UTF-8 ("и"): only the named encoding tells them apart.
TEST_F(PresetPasswordTest, LinesAreReadInTheNamedEncoding) {
  const std::string lines =
      "пароль\n"                    // UTF-8
      "\xEF\xE0\xF0\xEE\xEB\xFC\n"  // "пароль" in code page 1251
      "\xD0\xB8\n";                 // "Рё" in code page 1251, "и" in UTF-8
  const Key8 password1251 = PasswordKeyOf("\xEF\xE0\xF0\xEE\xEB\xFC");
  const Key8 utf8Bytes = PasswordKeyOf("\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C");
  struct Case {
    const char* encoding;  // null: unset
    std::optional<Key8> keys[3];
  };
#ifdef _WIN32
  const Case unset = {nullptr, {utf8Bytes, password1251, PasswordKeyOf("\xD0\xB8")}};
#else
  const Case unset = {nullptr, {password1251, std::nullopt, PasswordKeyOf("\xE8")}};
#endif
  const Case cases[] = {
      {"utf-8", {password1251, std::nullopt, PasswordKeyOf("\xE8")}},
      {"cp1251", {utf8Bytes, password1251, PasswordKeyOf("\xD0\xB8")}},
      // Any other name: no line is a password.
      {"UTF-8", {std::nullopt, std::nullopt, std::nullopt}},
      {"utf8", {std::nullopt, std::nullopt, std::nullopt}},
      unset,
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoding != nullptr ? c.encoding : "(unset)");
    test::ScopedEnv encoding("NCCORE_PASSWORD_ENCODING", c.encoding);
    PresetFile file(folder_, lines);
    for (const std::optional<Key8>& key : c.keys) EXPECT_EQ(Acquire(kFactorPassword), key);
    EXPECT_EQ(Acquire(kFactorPassword), std::nullopt);  // the end of the input
  }
}

TEST_F(PresetPasswordTest, ALineTheDialogRefusesCancelsAndTheNextDialogTakesTheNextLine) {
  // Characters the code page lacks, broken UTF-8, and NUL bytes: a line
  // with a NUL is refused as a whole, never cut there to "ab".
  test::ScopedEnv encoding("NCCORE_PASSWORD_ENCODING", "utf-8");
  PresetFile file(folder_,
                  "κωδικός\n"
                  "ξένοςφί\n"
                  "пароль ä\n"
                  "\xC0\x80"
                  "abc\n" +
                      std::string("ab\0c\n"
                                  "\0abc\n"
                                  "ab\0\n",
                                  14) +
                      "???????\n");
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Acquire(kFactorPassword), std::nullopt) << i;
  EXPECT_EQ(Acquire(kFactorPassword), PasswordKeyOf("???????"));
  EXPECT_EQ(Acquire(kFactorPassword), std::nullopt);  // the end of the input
}

TEST_F(PresetPasswordTest, AMissingCarrierCancelsAfterOneRound) {
  tm_.SetDevices({});
  PresetFile file(folder_, "line\n");
  EXPECT_EQ(Acquire(kFactorTouchMemory), std::nullopt);
  EXPECT_EQ(Acquire(kFactorPassword | kFactorTouchMemory), std::nullopt);
  // The line is still there for a dialog that can use it.
  tm_.SetDevices({kTmDevice});
  EXPECT_EQ(Acquire(kFactorPassword | kFactorTouchMemory), Xor(PasswordKeyOf("line"), kTmKey));
}

TEST_F(PresetPasswordTest, ALineLongerThanTheLimitIsReadInPieces) {
  const std::string longLine(platform::kPresetLineLimit + 100, 'a');
  PresetFile file(folder_, longLine + "\nnext\n");
  EXPECT_EQ(Acquire(kFactorPassword), PasswordKeyOf(std::string(32, 'a')));
  EXPECT_EQ(Acquire(kFactorPassword), PasswordKeyOf(std::string(32, 'a')));  // its last 100
  EXPECT_EQ(Acquire(kFactorPassword), PasswordKeyOf("next"));
}

TEST_F(PresetPasswordTest, WithoutAnOpenDescriptorTheDialogCannotBeShown) {
  for (const char* value : {static_cast<const char*>(nullptr), "", "12x", "99999", "-1"}) {
    SCOPED_TRACE(value != nullptr ? value : "(unset)");
    test::ScopedEnv env("NCCORE_PASSWORD_FD", value);
    EXPECT_FALSE(platform::PresetPasswordGiven());
    EXPECT_EQ(Acquire(kFactorPassword), std::nullopt);
    EXPECT_EQ(Acquire(kFactorTouchMemory), std::nullopt);
  }
  EXPECT_EQ(tm_.switches().Calls("vtmd.read_rom"), 0);
}

#ifndef _WIN32
// A descriptor on a terminal is where a person types: the dialog's own
// prompt reads it, so it is no preset.
TEST(PresetPassword, ATerminalDescriptorIsNoPreset) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  {
    test::ScopedEnv env("NCCORE_PASSWORD_FD", std::to_string(terminal).c_str());
    EXPECT_FALSE(platform::PresetPasswordGiven());
  }
  ::close(terminal);
  ::close(master);
}
#endif

TEST(PasswordBox, GivesCodePage1251CutToTheBuffer) {
  platform::PasswordBox box;
  char out[platform::kCarrierPasswordSize];
  EXPECT_TRUE(box.Empty());
  box.Read(out, sizeof out);
  EXPECT_STREQ(out, "");

  const std::string typed = "Ёжик в тумане, 1980 год; и ещё немного текста";
  box.SetTyped(typed.data(), typed.size());
  EXPECT_FALSE(box.Empty());
  std::memset(out, '#', sizeof out);
  box.Read(out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("\xA8\xE6\xE8\xEA \xE2 \xF2\xF3\xEC\xE0\xED\xE5, 1980 "
                                          "\xE3\xEE\xE4; \xE8 \xE5\xF9\xB8 \xED"));  // 32 bytes

  // A line in code page 1251 is kept as it is, also when it would be
  // well-formed UTF-8.
  box.SetLine("\xC0\xC1\xC2", 3, platform::LineEncoding::CodePage1251);
  EXPECT_TRUE(box.Read(out, 3));
  EXPECT_STREQ(out, "\xC0\xC1");
  box.SetLine("\xD0\xB8", 2, platform::LineEncoding::CodePage1251);
  EXPECT_TRUE(box.Read(out, sizeof out));
  EXPECT_STREQ(out, "\xD0\xB8");

  // UTF-8 the code page cannot hold gives no password, typed or as a line.
  for (const std::string& text : {std::string("κωδικός"), std::string("a\xC0\x80", 3)}) {
    box.SetTyped(text.data(), text.size());
    EXPECT_FALSE(box.Read(out, sizeof out));
    EXPECT_STREQ(out, "");
  }
  box.SetLine("ξένος", std::strlen("ξένος"), platform::LineEncoding::Utf8);
  EXPECT_FALSE(box.Read(out, sizeof out));
  EXPECT_STREQ(out, "");

  box.Clear();
  EXPECT_TRUE(box.Empty());
}

}  // namespace
}  // namespace nc::protect
