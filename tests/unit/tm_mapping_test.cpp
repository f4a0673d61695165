// The "TavoTM.INI" memory-mapping values, parsed one at a time: the ranges
// and their limits per family, blanks and separators, and what a value that
// does not parse leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "carriers/touch_memory_mapping.h"

namespace nc::carriers {
namespace {

// Parses into a bitmap with guard bytes around the family's part, and
// returns the reserved addresses (bits cleared), or nothing on failure.
struct Parsed {
  bool ok = false;
  std::set<std::uint32_t> reserved;
};

Parsed Parse(const std::string& text, std::uint32_t lastAddress) {
  const std::uint32_t bytes = (lastAddress + 1) / 8;
  std::vector<std::uint8_t> buffer(bytes + 16, 0xA5);
  Parsed result;
  result.ok = TmParseMapping(text.c_str(), lastAddress, buffer.data() + 8);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(buffer[i], 0xA5) << "wrote before the bitmap";
    EXPECT_EQ(buffer[8 + bytes + i], 0xA5) << "wrote past the family's bits";
  }
  if (!result.ok) {
    for (std::uint32_t i = 0; i < bytes; ++i) {
      EXPECT_EQ(buffer[8 + i], 0xA5) << "a failed value changed the bitmap";
    }
    return result;
  }
  for (std::uint32_t a = 0; a <= lastAddress; ++a) {
    if (((buffer[8 + a / 8] >> (a % 8)) & 1) == 0) result.reserved.insert(a);
  }
  return result;
}

std::set<std::uint32_t> Range(std::uint32_t first, std::uint32_t last) {
  std::set<std::uint32_t> s;
  for (std::uint32_t a = first; a <= last; ++a) s.insert(a);
  return s;
}

std::set<std::uint32_t> Union(std::set<std::uint32_t> a, const std::set<std::uint32_t>& b) {
  a.insert(b.begin(), b.end());
  return a;
}

constexpr std::uint32_t kDs1992 = 127, kDs1993 = 511, kDs1995 = 2047, kDs1996 = 8191;

TEST(TmParseMapping, TheDs1993ExampleLeaves485Bytes) {
  Parsed p = Parse("0-15, 100-110", kDs1993);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.reserved, Union(Range(0, 15), Range(100, 110)));
  EXPECT_EQ(512 - p.reserved.size(), 485u);
}

struct Accepted {
  const char* text;
  std::uint32_t lastAddress;
  std::set<std::uint32_t> reserved;
};

TEST(TmParseMapping, Accepted) {
  const Accepted cases[] = {
      {"", kDs1992, {}},
      {"   ", kDs1992, {}},
      {"5-5", kDs1992, {5}},
      {"0-127", kDs1992, Range(0, 127)},
      {"127-127", kDs1992, {127}},
      {"  3 -  4 ,  7-  8  ", kDs1992, {3, 4, 7, 8}},
      {"\t1-2,\t4-4", kDs1992, {1, 2, 4}},
      {"1-2,", kDs1992, {1, 2}},                     // a comma at the end
      {"1-2, 2-3", kDs1992, {1, 2, 3}},              // overlapping ranges
      {"10-12 , 0-1", kDs1992, {0, 1, 10, 11, 12}},  // any order
      {"007-008", kDs1992, {7, 8}},                  // leading zeros
      {"1 9-3", kDs1992, {1, 2, 3}},                 // digits before '-' are passed over
      {"1-3 9", kDs1992, {1, 2, 3}},                 // and before ',' or the end
      {"0-2047", kDs1995, Range(0, 2047)},
      {"8000-8191", kDs1996, Range(8000, 8191)},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.text);
    Parsed p = Parse(c.text, c.lastAddress);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.reserved, c.reserved);
  }
}

struct Refused {
  const char* text;
  std::uint32_t lastAddress;
  const char* why;
};

TEST(TmParseMapping, Refused) {
  const Refused cases[] = {
      {"100-200", kDs1992, "200 is above DS1992's last address 127"},
      {"0-128", kDs1992, "one past the last address"},
      {"5-3", kDs1995, "first above last"},
      {"5", kDs1992, "no hyphen"},
      {"5-", kDs1992, "no last address"},
      {"-5", kDs1992, "no first address"},
      {"1-2,,3-4", kDs1992, "an empty item"},
      {",1-2", kDs1992, "a comma first"},
      {"1-2;3-4", kDs1992, "a semicolon"},
      {"1-2 3-4", kDs1992, "a blank instead of a comma before a range"},
      {"a-5", kDs1992, "a letter"},
      {"1-0x10", kDs1992, "a hex number"},
      {"+1-2", kDs1992, "a sign"},
      {"1--2", kDs1992, "two hyphens"},
      {"1-2-3", kDs1992, "a range of three"},
      {"4294967296-4294967297", kDs1996, "numbers beyond 32 bits do not wrap to small ones"},
      {"99999999999999999999-1", kDs1996, "an overlong number"},
      {"0-8192", kDs1996, "above DS1996's last address"},
      {"1-2\n3-4", kDs1992, "a line break"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(std::string(c.text) + ": " + c.why);
    EXPECT_FALSE(Parse(c.text, c.lastAddress).ok);
  }
}

TEST(TmParseMapping, ArgumentsOutsideTheContract) {
  std::uint8_t bitmap[kTmMappingBitmapBytes];
  EXPECT_FALSE(TmParseMapping(nullptr, kDs1992, bitmap));
  EXPECT_FALSE(TmParseMapping("1-2", kDs1992, nullptr));
  EXPECT_FALSE(TmParseMapping("1-2", 8192, bitmap)) << "no family is that large";
}

}  // namespace
}  // namespace nc::carriers
