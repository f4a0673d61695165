// CompareFiles: its worker codes, the last error it leaves, and the progress
// window it shows (through the scripted backend).
#include "frame/compare_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame/progress.h"
#include "frame_test_support.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::frame {
namespace {

using nc::test::TempFolder;
using nc::test::WriteFileBytes;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return bytes;
}

class CompareFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }

  // Writes the two files and compares them quietly.
  int CompareQuiet(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    WriteFileBytes(folder_ / "a", a);
    WriteFileBytes(folder_ / "b", b);
    return CompareFiles(nullptr, (folder_ / "a").c_str(), (folder_ / "b").c_str(),
                        platform::kTitleDesFiles, true);
  }
  std::vector<unsigned> Percents() const { return test::PercentsShown(ui_); }

  ScriptedUi ui_;
  TempFolder folder_;
};

TEST_F(CompareFilesTest, AFileEqualsItself) {
  std::string name = folder_ / "self";
  WriteFileBytes(name, Pattern(5000));
  EXPECT_EQ(CompareFiles(nullptr, name.c_str(), name.c_str(), platform::kTitleDesFiles, true),
            kWorkerOk);
}

TEST_F(CompareFilesTest, ContentsAndLengthsDecide) {
  const std::vector<std::uint8_t> block = Pattern(1024);
  const std::vector<std::uint8_t> three = Pattern(3000);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> a, b;
    int code;
  } cases[] = {
      {"both empty", {}, {}, kWorkerOk},
      {"equal copies of one block", block, block, kWorkerOk},
      {"equal copies, partial last block", three, three, kWorkerOk},
      {"empty vs non-empty", {}, {1}, kWorkerDifferent},
      {"non-empty vs empty", {1}, {}, kWorkerDifferent},
      {"second one byte longer", three, Pattern(3001), kWorkerDifferent},
      {"first one byte longer", Pattern(3001), three, kWorkerDifferent},
      {"second one block longer", block, Pattern(2048), kWorkerDifferent},
      {"first byte differs", Pattern(3000, 1), three, kWorkerDifferent},
  };
  for (const Case& c : cases) EXPECT_EQ(CompareQuiet(c.a, c.b), c.code) << c.what;

  // One differing byte anywhere, in the first, a middle and the last block.
  for (std::size_t at : {0u, 1023u, 1024u, 2047u, 2999u}) {
    std::vector<std::uint8_t> changed = three;
    changed[at] ^= 0x80;
    EXPECT_EQ(CompareQuiet(three, changed), kWorkerDifferent) << "byte " << at;
  }
}

TEST_F(CompareFilesTest, UnreadableFilesAreReportedWithTheirErrors) {
  std::string present = folder_ / "present";
  std::string missing = folder_ / "missing";
  WriteFileBytes(present, Pattern(10));
  platform::SetLastErrorCode(0);
  EXPECT_EQ(CompareFiles(nullptr, missing.c_str(), present.c_str(), platform::kTitleDesFiles, true),
            5);
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileNotFound);
  platform::SetLastErrorCode(0);
  EXPECT_EQ(CompareFiles(nullptr, present.c_str(), missing.c_str(), platform::kTitleDesFiles, true),
            9);
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileNotFound);
  EXPECT_EQ(
      CompareFiles(nullptr, missing.c_str(), missing.c_str(), platform::kTitleDesFiles, false), 5);
  EXPECT_TRUE(ui_.progress.empty());  // no window before both files are open
}

TEST_F(CompareFilesTest, QuietShowsNoWindowAtAll) {
  EXPECT_EQ(CompareQuiet(Pattern(10000), Pattern(10000)), kWorkerOk);
  EXPECT_TRUE(ui_.progress.empty());
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(CompareFilesTest, WindowDescribesTheComparisonAndClimbsToHundred) {
  const std::size_t size = 100 * 1024 + 17;  // 101 blocks, the last one partial
  std::string a = folder_ / "first.bin";
  std::string b = folder_ / "second.bin";
  WriteFileBytes(a, Pattern(size));
  WriteFileBytes(b, Pattern(size));
  int parent = 0;
  EXPECT_EQ(CompareFiles(&parent, a.c_str(), b.c_str(), platform::kTitleGostFiles, false),
            kWorkerOk);

  ASSERT_GE(ui_.progress.size(), 4u);
  EXPECT_EQ(ui_.progress[0].kind, Event::Open);
  EXPECT_EQ(ui_.progress[0].parent, &parent);
  EXPECT_EQ(ui_.progress[1].kind, Event::Caption);
  EXPECT_EQ(ui_.progress[1].text, platform::LoadText(platform::kTitleGostFiles));
  EXPECT_EQ(ui_.progress[2].kind, Event::Description);
  EXPECT_EQ(ui_.progress[2].id, kTextComparing);
  EXPECT_EQ(ui_.progress[2].text, FormatProgressDescription(kTextComparing, a.c_str(), b.c_str()));
  EXPECT_EQ(ui_.progress.back().kind, Event::Close);
  EXPECT_STREQ(ProgressFirstName(), a.c_str());
  EXPECT_STREQ(ProgressSecondName(), b.c_str());

  // One report per block, each the share of the first file compared so far.
  std::vector<unsigned> expected;
  for (std::uint64_t done = 1024; done < size + 1024; done += 1024)
    expected.push_back(ProgressPercent(std::min<std::uint64_t>(done, size), size));
  EXPECT_EQ(Percents(), expected);
  EXPECT_EQ(expected.size(), 101u);
  EXPECT_EQ(expected.back(), 100u);
  for (std::size_t i = 1; i < expected.size(); ++i) EXPECT_GE(expected[i], expected[i - 1]);
}

TEST_F(CompareFilesTest, CancelStopsAtThatReport) {
  std::string a = folder_ / "a";
  WriteFileBytes(a, Pattern(50 * 1024));
  ui_.cancelWhen = [](const Event& e) { return e.kind == Event::Percent && e.percent >= 10; };
  EXPECT_EQ(CompareFiles(nullptr, a.c_str(), a.c_str(), platform::kTitleDesFiles, false),
            kWorkerCancelled);
  // Five reports (2%, 4%, ... 10%), the cancel, then only the close.
  std::vector<unsigned> percents = Percents();
  ASSERT_EQ(percents.size(), 5u);
  EXPECT_EQ(percents.back(), 10u);
  ASSERT_GE(ui_.progress.size(), 2u);
  EXPECT_EQ(ui_.progress[ui_.progress.size() - 2].kind, Event::Cancel);
  EXPECT_EQ(ui_.progress.back().kind, Event::Close);
}

TEST_F(CompareFilesTest, EarlyEndsCloseTheWindow) {
  std::vector<std::uint8_t> a = Pattern(8 * 1024);
  std::vector<std::uint8_t> b = a;
  b[3 * 1024 + 5] ^= 1;
  WriteFileBytes(folder_ / "a", a);
  WriteFileBytes(folder_ / "b", b);
  EXPECT_EQ(CompareFiles(nullptr, (folder_ / "a").c_str(), (folder_ / "b").c_str(),
                         platform::kTitleDesFiles, false),
            kWorkerDifferent);
  EXPECT_EQ(Percents().size(), 4u);  // the differing block is reported, then compared
  EXPECT_EQ(ui_.progress.back().kind, Event::Close);
}

TEST_F(CompareFilesTest, WithoutAWindowTheComparisonStillRuns) {
  ui_.refuseProgress = true;
  ui_.cancelWhen = [](const Event&) { return true; };
  std::string a = folder_ / "a";
  WriteFileBytes(a, Pattern(4096));
  EXPECT_EQ(CompareFiles(nullptr, a.c_str(), a.c_str(), platform::kTitleDesFiles, false),
            kWorkerOk);
  EXPECT_TRUE(ui_.progress.empty());
}

TEST_F(CompareFilesTest, StateKeptByTheCallerIsReleased) {
  std::string a = folder_ / "a";
  WriteFileBytes(a, Pattern(4096));
  CompareState state;
  EXPECT_EQ(CompareFiles(state, nullptr, a.c_str(), a.c_str(), platform::kTitleDesFiles, false),
            kWorkerOk);
  EXPECT_FALSE(state.first.valid());
  EXPECT_FALSE(state.second.valid());
  EXPECT_TRUE(state.window == nullptr);
  CloseCompareState(state);  // again: nothing
}

}  // namespace
}  // namespace nc::frame
