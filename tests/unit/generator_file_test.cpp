// The steps the generators share: their two flags and the question before
// an existing file is replaced.
#include "frame/generator_file.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "platform/string_table.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::frame {
namespace {

constexpr OptionSpec kTable[] = {
    {"/NOLOGO", OptionArg::None},
    {"/Y", OptionArg::None},
    {"/EXT", OptionArg::None},
};

// What reached the generator's own handler.
struct Seen {
  std::vector<int> indexes;
  std::vector<std::string> names;
  int refuseAt = -1;  // the hit number the handler refuses
};

bool Record(void* context, const OptionHit& hit) {
  auto& seen = *static_cast<Seen*>(context);
  if (static_cast<int>(seen.indexes.size()) == seen.refuseAt) return false;
  seen.indexes.push_back(hit.index);
  char name[16] = {};
  if (hit.index < 0) CopyNameToken(hit.nameStart, name, sizeof name);
  seen.names.push_back(name);
  return true;
}

TEST(ScanGeneratorOptions, TakesTheFlagsAndPassesEverythingElseOn) {
  GeneratorFile file;
  Seen seen;
  ASSERT_TRUE(ScanGeneratorOptions(file, "/ext /nologo /y \"a b\"", kTable, std::size(kTable), 16,
                                   Record, &seen));
  EXPECT_TRUE(file.quiet);
  EXPECT_TRUE(file.overwrite);
  EXPECT_EQ(seen.indexes, (std::vector<int>{2, -1}));
  EXPECT_EQ(seen.names[1], "a b");

  GeneratorFile plain;
  Seen none;
  ASSERT_TRUE(ScanGeneratorOptions(plain, "/EXT", kTable, std::size(kTable), 16, Record, &none));
  EXPECT_FALSE(plain.quiet);
  EXPECT_FALSE(plain.overwrite);
}

TEST(ScanGeneratorOptions, ARefusedTokenFailsTheScan) {
  GeneratorFile file;
  Seen seen;
  seen.refuseAt = 1;
  EXPECT_FALSE(
      ScanGeneratorOptions(file, "\"a\" \"b\" /Y", kTable, std::size(kTable), 16, Record, &seen));
  EXPECT_EQ(seen.names, (std::vector<std::string>{"a"}));
}

class MayWriteGeneratorFileTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }
  platform::ScriptedUi ui_;
  test::TempFolder folder_;
};

TEST_F(MayWriteGeneratorFileTest, AnExistingFileIsReplacedOnlyWithYOrConsent) {
  const std::string existing = folder_ / "old.pqa";
  test::WriteFileText(existing, "old");
  // mayReplace: the commit may replace a file of that name (one that
  // appears after the check is otherwise kept).
  struct Case {
    std::string name;
    bool overwrite, quiet, answer;
    bool may, asked, mayReplace;
  } cases[] = {
      {folder_ / "new.pqa", false, false, false, true, false, false},  // nothing to replace
      {folder_ / "new.pqa", true, true, false, true, false, true},     // "/Y" before it exists
      {existing, true, true, false, true, false, true},                // "/Y" wins over quiet
      {existing, false, true, true, false, false, false},              // quiet keeps it unasked
      {existing, false, false, true, true, true, true},
      {existing, false, false, false, false, true, false},
  };
  for (const Case& c : cases) {
    ui_.shown.clear();
    ui_.answers = {c.answer};
    GeneratorFile file;
    file.overwrite = c.overwrite;
    file.quiet = c.quiet;
    c.name.copy(file.name, sizeof file.name - 1);
    EXPECT_EQ(MayWriteGeneratorFile(nullptr, platform::kTitleGostCommon, file), c.may) << c.name;
    EXPECT_EQ(file.output.mayReplace, c.mayReplace) << c.name;
    ASSERT_EQ(ui_.shown.size(), c.asked ? 1u : 0u) << c.name;
    if (c.asked) {
      EXPECT_EQ(ui_.shown[0].caption, platform::LoadText(platform::kTitleGostCommon));
      EXPECT_NE(ui_.shown[0].text.find(existing), std::string::npos);
    }
  }
  EXPECT_EQ(test::ReadFileText(existing), "old");
}

}  // namespace
}  // namespace nc::frame
