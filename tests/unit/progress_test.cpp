// Progress windows of the file jobs: the percentage, the name buffers and
// descriptions, the window as the scripted backend sees it, the text
// backends' lines, and the terminal's Ctrl-C handling.
#include "frame/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "platform/progress_ui.h"
#include "platform/string_table.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace nc::frame {
namespace {

using nc::test::Native;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

constexpr std::uint64_t kGiB = 1ull << 30;

// ============================================================================
// Percentage
// ============================================================================

TEST(ProgressPercent, ExactValuesWhereThirtyTwoBitsWouldOverflow) {
  struct Case {
    std::uint64_t done, total;
    unsigned percent;
  } cases[] = {
      {0, 1, 0},
      {1, 3, 33},
      {2, 3, 66},
      {3, 3, 100},
      {99, 100, 99},
      // 100 * done needs more than 32 bits from 42949673 bytes on.
      {50000000, 100000000, 50},
      {42949673, 42949673 * 4, 25},
      {4 * kGiB, 5 * kGiB, 80},
      {5 * kGiB - 1, 5 * kGiB, 99},
      {5 * kGiB - 1024, 5 * kGiB, 99},
      {kGiB, 5 * kGiB, 20},
      // Sizes beyond what 100 * done can hold in 64 bits.
      {UINT64_MAX / 2, UINT64_MAX, 49},
      {UINT64_MAX - 1, UINT64_MAX, 99},
      {UINT64_MAX, UINT64_MAX, 100},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << " / " << c.total;
}

TEST(ProgressPercent, NeverAboveHundred) {
  EXPECT_EQ(ProgressPercent(0, 0), 100u);
  EXPECT_EQ(ProgressPercent(7, 0), 100u);
  EXPECT_EQ(ProgressPercent(101, 100), 100u);  // a file that grew meanwhile
  EXPECT_EQ(ProgressPercent(UINT64_MAX, 1), 100u);
}

// A job's run in 1024-byte chunks: the percentage after each chunk never
// falls, reaches 100 only with the last chunk, and passes every value.
void ExpectClimbsToHundred(std::uint64_t size) {
  unsigned last = 0;
  std::vector<bool> seen(101, false);
  std::uint64_t done = 0;
  while (done < size) {
    done += std::min<std::uint64_t>(1024, size - done);
    unsigned percent = ProgressPercent(done, size);
    // Plain checks in the loop: millions of chunks.
    if (percent < last || (percent == 100 && done != size)) {
      ADD_FAILURE() << percent << "% after " << done << " of " << size << " (before: " << last
                    << "%)";
      return;
    }
    seen[percent] = true;
    last = percent;
  }
  EXPECT_EQ(last, 100u);
  for (unsigned p = 1; p <= 100; ++p) EXPECT_TRUE(seen[p]) << size << ": no " << p << "%";
}

TEST(ProgressPercent, HundredMegabytesClimbMonotonicallyToHundred) {
  ExpectClimbsToHundred(100ull * 1000 * 1000 + 17);
}

TEST(ProgressPercent, FiveGigabytesClimbMonotonicallyToHundred) {
  ExpectClimbsToHundred(5 * kGiB + 333);
}

// ============================================================================
// Name buffers and descriptions
// ============================================================================

TEST(ProgressNames, BuffersHoldTheNamesCutToTheirSize) {
  SetProgressNames("a.txt", nullptr);
  EXPECT_STREQ(ProgressFirstName(), "a.txt");
  EXPECT_STREQ(ProgressSecondName(), "");

  // A name one character too long loses its last character; a name whose
  // cut would fall inside a character loses the whole character.
  std::string exact(kProgressNameSize - 1, 'x');
  SetProgressNames((exact + "y").c_str(), exact.c_str());
  EXPECT_EQ(std::string(ProgressFirstName()), exact);
  EXPECT_EQ(std::string(ProgressSecondName()), exact);
#ifndef _WIN32
  std::string wide = std::string(kProgressNameSize - 2, 'x') + "ж";  // 2 bytes at the end
  SetProgressNames(wide.c_str(), "b");
  EXPECT_EQ(std::string(ProgressFirstName()), std::string(kProgressNameSize - 2, 'x'));
#endif
}

TEST(ProgressDescription, TextsNameBothFilesInTheirPlaces) {
  EXPECT_EQ(FormatProgressDescription(kTextComparing, "a.bin", "b.bin"),
            Native("Сравнение содержимого файла:\n     a.bin\nс содержимым файла:\n     b.bin"));
  // The double blank after the first word belongs to the text.
  EXPECT_EQ(FormatProgressDescription(kTextEncrypting, "src", "dst"),
            Native("Зашифрование  исходного файла:\n     src\nв файл шифртекста:\n     dst"));
  for (int id = kTextEncrypting; id <= kTextCheckingSignature; ++id) {
    std::string text = FormatProgressDescription(id, "FIRST", "SECOND");
    std::size_t first = text.find("FIRST");
    std::size_t second = text.find("SECOND");
    EXPECT_NE(first, std::string::npos) << id;
    EXPECT_NE(second, std::string::npos) << id;
    EXPECT_LT(first, second) << id;
    EXPECT_EQ(text.find('%'), std::string::npos) << id;
  }
}

TEST(ProgressDescription, NamesAreNotCutWithTheText) {
  std::string longName(300, 'n');
  std::string text = FormatProgressDescription(kTextHashing, longName.c_str(), "h");
  EXPECT_NE(text.find(longName), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "\n     h");
}

// ============================================================================
// The window, through the scripted backend
// ============================================================================

class ProgressWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }
  ScriptedUi ui_;
};

TEST_F(ProgressWindowTest, OpenShowsTitleAndDescriptionWithTheNames) {
  SetProgressNames("in.txt", "out.txt");
  int parent = 0;
  ProgressHandle window = OpenProgressWindow(&parent, platform::kTitleDesFiles, kTextDecrypting);
  ASSERT_TRUE(window != nullptr);
  ASSERT_EQ(ui_.progress.size(), 3u);
  EXPECT_EQ(ui_.progress[0].kind, Event::Open);
  EXPECT_EQ(ui_.progress[0].parent, &parent);
  EXPECT_EQ(ui_.progress[1].kind, Event::Caption);
  EXPECT_EQ(ui_.progress[1].text, platform::LoadText(platform::kTitleDesFiles));
  EXPECT_EQ(ui_.progress[2].kind, Event::Description);
  EXPECT_EQ(ui_.progress[2].id, kTextDecrypting);
  EXPECT_EQ(ui_.progress[2].text, FormatProgressDescription(kTextDecrypting, "in.txt", "out.txt"));
  CloseProgressWindow(window);
  EXPECT_TRUE(window == nullptr);
  ASSERT_EQ(ui_.progress.size(), 4u);
  EXPECT_EQ(ui_.progress[3].kind, Event::Close);
  CloseProgressWindow(window);  // again: nothing
  EXPECT_EQ(ui_.progress.size(), 4u);
}

TEST_F(ProgressWindowTest, UpdateShowsThePercentAndReportsTheCancel) {
  SetProgressNames("a", "b");
  ui_.cancelWhen = [](const Event& e) { return e.kind == Event::Percent && e.percent == 40; };
  ProgressHandle window = OpenProgressWindow(nullptr, platform::kTitleGostFiles, kTextSigning);
  ASSERT_TRUE(window != nullptr);
  EXPECT_EQ(UpdateProgress(window.get(), 10), 0);
  EXPECT_EQ(UpdateProgress(window.get(), 40), 1);
  // The flag stays set: every later report asks to stop.
  EXPECT_EQ(UpdateProgress(window.get(), 41), 1);
  EXPECT_EQ(test::PercentsShown(ui_), (std::vector<unsigned>{10, 40, 41}));
}

TEST_F(ProgressWindowTest, WithoutAWindowUpdateDoesNothing) {
  EXPECT_EQ(UpdateProgress(nullptr, 50), 0);
  ui_.refuseProgress = true;
  ProgressHandle window = OpenProgressWindow(nullptr, platform::kTitleDesFiles, kTextEncrypting);
  EXPECT_TRUE(window == nullptr);
  EXPECT_EQ(UpdateProgress(window.get(), 50), 0);
  CloseProgressWindow(window);
  EXPECT_TRUE(ui_.progress.empty());
}

TEST(ProgressWindowHeadless, ShowsNothingAndNeverCancels) {
  platform::SetUi(&platform::HeadlessUi());
  ProgressHandle window = OpenProgressWindow(nullptr, platform::kTitleDesFiles, kTextEncrypting);
  platform::SetUi(nullptr);
  ASSERT_TRUE(window != nullptr);
  for (unsigned p = 0; p <= 100; p += 25) EXPECT_EQ(UpdateProgress(window.get(), p), 0);
  CloseProgressWindow(window);
}

// ============================================================================
// The text backends' lines
// ============================================================================

TEST(ProgressLine, FitsTheWidthAndKeepsTheEndsOfLongNames) {
  const std::string title = Native("Файловый криптопроцессор DES");
  const std::string first = "/very/long/folder/name/that/goes/on/and/on/source-file.txt";
  const std::string second = Native("/другая/папка/результат.bin");
  for (std::size_t columns : {20u, 40u, 60u, 80u, 120u, 300u}) {
    std::string line = platform::ComposeProgressLine(title, first, second, 42, columns);
    EXPECT_LE(platform::TextColumns(line), columns - 1) << columns;
    EXPECT_NE(line.find(" 42%"), std::string::npos) << line;
    if (columns >= 60) {
      EXPECT_NE(line.find("file.txt"), std::string::npos) << line;
      EXPECT_NE(line.find(Native("результат.bin")), std::string::npos) << line;
      EXPECT_NE(line.find(" -> "), std::string::npos) << line;
    }
  }
  // With room enough everything is shown whole.
  std::string wide = platform::ComposeProgressLine(title, first, second, 42, 300);
  EXPECT_EQ(wide.find(title + ": " + first + " -> " + second + " ["), 0u) << wide;
}

TEST(ProgressLine, BarFollowsThePercentage) {
  auto bar = [](unsigned percent) {
    std::string line = platform::ComposeProgressLine("T", "a", "b", percent, 80);
    std::size_t open = line.find('[');
    return line.substr(open + 1, line.find(']') - open - 1);
  };
  EXPECT_EQ(bar(0), std::string(20, '.'));
  EXPECT_EQ(bar(50), std::string(10, '#') + std::string(10, '.'));
  EXPECT_EQ(bar(100), std::string(20, '#'));
  EXPECT_EQ(bar(250), std::string(20, '#'));  // capped
  EXPECT_NE(platform::ComposeProgressLine("T", "a", "b", 7, 80).find("   7%"), std::string::npos);
}

TEST(GeneratorLine, ShowsStageCountersAndTimeInOrder) {
  std::string fields[platform::kGeneratorFieldCount] = {"17", "3", "12", "00:01:05", "", "", ""};
  std::string stage = Native(" Генерация числа q ");
  std::string line = platform::ComposeGeneratorLine(stage, fields, 200);
  EXPECT_EQ(line, Native("Генерация числа q | итерация 3 из 17 | попытка 12 | 00:01:05"));
  // Fields not shown yet are left out.
  std::string early[platform::kGeneratorFieldCount] = {};
  EXPECT_EQ(platform::ComposeGeneratorLine(stage, early, 200), Native("Генерация числа q"));
  std::string narrow = platform::ComposeGeneratorLine(stage, fields, 20);
  EXPECT_EQ(platform::TextColumns(narrow), 19u);
}

// ============================================================================
// The terminal backend
// ============================================================================

#ifndef _WIN32
volatile sig_atomic_t g_hostHandlerCalls = 0;
void HostHandler(int) { g_hostHandlerCalls = g_hostHandlerCalls + 1; }

// Installs `handler` for SIGINT for the test's duration.
class SigintDisposition {
 public:
  explicit SigintDisposition(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &saved_);
  }
  ~SigintDisposition() { sigaction(SIGINT, &saved_, nullptr); }

 private:
  struct sigaction saved_;
};

TEST(TerminalProgress, CtrlCSetsTheCancelBitWhileAViewIsOpenThenTheHostsHandlerIsBack) {
  SigintDisposition host(HostHandler);
  g_hostHandlerCalls = 0;
  platform::ProgressWord word{0};
  {
    std::unique_ptr<platform::ProgressView> view = platform::TerminalProgressView(word);
    raise(SIGINT);
    EXPECT_EQ(word.load(), platform::kProgressCancel);
    EXPECT_EQ(g_hostHandlerCalls, 0);
  }
  EXPECT_EQ(g_hostHandlerCalls, 1);  // told once the view is gone
  raise(SIGINT);
  EXPECT_EQ(g_hostHandlerCalls, 2);

  // The generator's view too, and the newest of two open views gets it.
  platform::ProgressWord first{0}, second{0};
  {
    std::unique_ptr<platform::GeneratorView> a = platform::TerminalGeneratorView(first);
    {
      std::unique_ptr<platform::ProgressView> b = platform::TerminalProgressView(second);
      raise(SIGINT);
      EXPECT_EQ(second.load(), platform::kProgressCancel);
      EXPECT_EQ(first.load(), 0u);
    }
    raise(SIGINT);
    EXPECT_EQ(first.load(), platform::kProgressCancel);
    EXPECT_EQ(g_hostHandlerCalls, 2);
  }
  EXPECT_EQ(g_hostHandlerCalls, 3);  // two requests, told once
  raise(SIGINT);
  EXPECT_EQ(g_hostHandlerCalls, 4);
}

TEST(TerminalProgress, AnIgnoredCtrlCStaysIgnored) {
  SigintDisposition host(SIG_IGN);
  platform::ProgressWord word{0};
  std::unique_ptr<platform::ProgressView> view = platform::TerminalProgressView(word);
  raise(SIGINT);
  EXPECT_EQ(word.load(), 0u);
}

TEST(TerminalProgress, SilentWhenStderrIsNoTerminal) {
  nc::test::TempFolder folder;
  std::string path = folder / "stderr.txt";
  int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  int saved = ::dup(STDERR_FILENO);
  ::dup2(file, STDERR_FILENO);
  {
    platform::ProgressWord word{0};
    std::unique_ptr<platform::ProgressView> view = platform::TerminalProgressView(word);
    view->SetCaption(0, "title");
    view->SetDescription(kTextComparing, "text", "a", "b");
    for (unsigned p = 0; p <= 100; p += 10) view->SetPercent(p);
    std::unique_ptr<platform::GeneratorView> generator = platform::TerminalGeneratorView(word);
    generator->SetStage("stage");
    generator->SetField(platform::GeneratorField::Iteration, "1");
  }
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(file);
  EXPECT_EQ(nc::test::ReadFileText(path), "");
}
#endif

}  // namespace
}  // namespace nc::frame
