// The protection prefix of key-file names ("PWD,TM:keys.dek").
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame/options.h"
#include "frame_test_support.h"

namespace nc::frame {
namespace {

using test::ExactString;

struct Parsed {
  std::uint32_t code;
  std::uint32_t returned;
  std::string name;
};

Parsed Parse(const std::string& spec, std::size_t nameSize = 261) {
  ExactString text(spec);
  std::vector<char> name(nameSize, '\x7F');
  std::uint32_t code = 0xDEADBEEF;
  std::uint32_t returned = ParseProtectionSpec(text.get(), &code, name.data(), nameSize);
  return {code, returned, name.data()};
}

struct Case {
  const char* spec;
  std::uint32_t code;
  const char* name;
};

TEST(ParseProtectionSpec, KeywordsAndNames) {
  const Case cases[] = {
      {"PWD,TM:keys.dek", 3, "keys.dek"},
      {"TM,PWD:C:\\keys\\k.dek", 3, "C:\\keys\\k.dek"},
      {"PWD:k.dek", 1, "k.dek"},
      {"TM:k.dek", 2, "k.dek"},
      {"QUADRA:k.dek", 4, "k.dek"},
      {"ACTIVATOR:k.dek", 8, "k.dek"},
      {"TESSEL:k.dek", 16, "k.dek"},
      {"pwd,Tm:quadra,aCtIvAtOr:tessel:k.dek", 31, "k.dek"},
      // A drive letter or an unknown word is part of the name.
      {"C:\\keys.dek", 0, "C:\\keys.dek"},
      {"FOO:keys.dek", 0, "FOO:keys.dek"},
      {"keys.dek", 0, "keys.dek"},
      {"PWDX:k.dek", 0, "PWDX:k.dek"},
      {"PW:k.dek", 0, "PW:k.dek"},
      // The name starts after the last keyword that was recognised.
      {"PWD:FOO:k.dek", 1, "FOO:k.dek"},
      {"PWD:C:\\k.dek", 1, "C:\\k.dek"},
      {"PWD::k.dek", 1, ":k.dek"},
      {"PWD k.dek", 0, "PWD k.dek"},
      // A keyword without its separator still counts.
      {"PWD", 1, ""},
      {"TM:PWD", 3, ""},
      // Only keywords: an empty name.
      {"PWD:", 1, ""},
      {"PWD,TM,", 3, ""},
      {"", 0, ""},
      // Repeats have no further effect.
      {"PWD:PWD:PWD:k.dek", 1, "k.dek"},
      {"TM,tm,TM:k.dek", 2, "k.dek"},
      // At most five keywords are read.
      {"PWD:TM:QUADRA:ACTIVATOR:TESSEL:PWD:k.dek", 31, "PWD:k.dek"},
      {"PWD:PWD:PWD:PWD:PWD:TM:k.dek", 1, "TM:k.dek"},
      // A word is at most nine characters long: "ACTIVATOR" then "S:k.dek".
      {"ACTIVATORS:k.dek", 8, "S:k.dek"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec);
    Parsed p = Parse(c.spec);
    EXPECT_EQ(p.code, c.code);
    EXPECT_EQ(p.returned, c.code);
    EXPECT_EQ(p.name, c.name);
  }
}

TEST(ParseProtectionSpec, NameIsCutToItsBuffer) {
  struct CutCase {
    const char* spec;
    std::size_t size;
    const char* name;
  };
  const CutCase cases[] = {
      {"PWD:abcdefgh", 5, "abcd"},
      {"PWD:abcd", 5, "abcd"},
      {"abcdefgh", 3, "ab"},
      {"TM:abc", 1, ""},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(std::string(c.spec) + " size " + std::to_string(c.size));
    Parsed p = Parse(c.spec, c.size);
    EXPECT_EQ(p.name, c.name);
  }
  EXPECT_EQ(Parse("PWD,TM:abcdefgh", 3).code, 3u);
}

#ifndef _WIN32
TEST(ParseProtectionSpec, CutNeverSplitsACharacter) {
  // "ключ" is two bytes per letter: four bytes of room hold one letter and
  // a half, so one letter is kept.
  EXPECT_EQ(Parse("PWD:ключ.dek", 4).name, "к");
  EXPECT_EQ(Parse("PWD:ключ.dek", 5).name, "кл");
}
#endif

}  // namespace
}  // namespace nc::frame
