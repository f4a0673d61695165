// The self-test: it passes on this build, and breaking the known answer of
// any one test (through the comparison it is handed) fails exactly that
// test, by name. The answers themselves are checked against the peers by
// tests/tools/self_test_vectors.py --check (the self_test_vectors test).
#include "selftest/self_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "nccore21.h"

namespace {

using Outcomes = std::vector<std::pair<std::string, bool>>;

void Record(void* context, const char* test, bool passed) {
  static_cast<Outcomes*>(context)->emplace_back(test, passed);
}

// The comparison with one test's known answer broken (its first bit
// flipped), noting every test that compares a known answer.
std::string g_broken;
std::set<std::string> g_comparing;
bool CompareBreakingOne(const char* test, const uint8_t* computed, const uint8_t* known,
                        size_t length) {
  g_comparing.insert(test);
  std::vector<uint8_t> answer(known, known + length);
  if (g_broken == test && length > 0) answer[0] ^= 0x01;
  return std::memcmp(computed, answer.data(), length) == 0;
}

TEST(SelfTest, PassesAndNamesEveryTestOnce) {
  Outcomes outcomes;
  EXPECT_EQ(nc::selftest::Run(Record, &outcomes, nc::selftest::CompareExactly), 0);
  std::set<std::string> names;
  for (const auto& [name, passed] : outcomes) {
    EXPECT_TRUE(passed) << name;
    EXPECT_TRUE(names.insert(name).second) << name << " reported twice";
  }
}

TEST(SelfTest, ABrokenKnownAnswerFailsThatTestByName) {
  g_broken.clear();
  g_comparing.clear();
  Outcomes all;
  ASSERT_EQ(nc::selftest::Run(Record, &all, CompareBreakingOne), 0);
  // The tests without a known answer: the generators' pairwise tests and the
  // random generator's health check. Every other test compares one.
  std::set<std::string> without;
  for (const auto& [name, passed] : all)
    if (!g_comparing.count(name)) without.insert(name);
  EXPECT_EQ(without, (std::set<std::string>{"GOST R 34.10-94 key pair and signature",
                                            "big numbers: prime generation", "RSA key pair",
                                            "random generator health check"}));
  for (const std::string& broken : std::set<std::string>(g_comparing)) {
    g_broken = broken;
    Outcomes outcomes;
    EXPECT_EQ(nc::selftest::Run(Record, &outcomes, CompareBreakingOne), 1) << broken;
    for (const auto& [name, passed] : outcomes) EXPECT_EQ(passed, name != broken) << name;
  }
  g_broken.clear();
}

void NCAPI RecordExported(void* context, const char* test, int32_t passed) {
  static_cast<Outcomes*>(context)->emplace_back(test, passed == 1);
}

// The exported entry point reports the same tests through the caller's
// function.
TEST(SelfTest, ExportedEntryPoint) {
  Outcomes inside, exported;
  ASSERT_EQ(nc::selftest::Run(Record, &inside, nc::selftest::CompareExactly), 0);
  EXPECT_EQ(nccore21_self_test(RecordExported, &exported), 0);
  EXPECT_EQ(exported, inside);
  EXPECT_EQ(nccore21_self_test(nullptr, nullptr), 0);
  EXPECT_STRNE(std::strstr(nccore21_version(), "(build "), nullptr);
}

}  // namespace
