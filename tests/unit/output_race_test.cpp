// Every operation that writes a file, when something happens between its
// check of the destination and its commit. The event comes at the
// operation's first fault point, which each of them passes between the two
// (before or after it creates its output):
// - a file takes the destination's name (without "/Y"): it is never
//   replaced, the operation reports 11 with the name;
// - the process is asked to end (a signal, a console control): the old
//   destination stays as it was, even with "/Y", and the operation reports
//   10.
// Either way no temporary file is left.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

#include "des_test_support.h"
#include "frame/guard_hook.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/termination.h"

namespace nc::test {
namespace {

// The operations that write a file, each with its options writing "out".
class LastMoment : public ::testing::Test {
 protected:
  struct Case {
    const char* tag;
    Operation operation;
    std::string options;
  };

  LastMoment() {
    WriteFileBytes(key, DesKeyFileBytes({1, 2, 3, 4, 5, 6, 7, 8}));
    WriteFileText(plain, std::string(70000, 'p'));
    std::filesystem::copy_file(std::string(NCCORE_SOURCE_DIR) + "/tests/blackbox/gosb_table.txt",
                               table);
  }
  ~LastMoment() override { frame::SetGuardedFaultHookForTests(nullptr); }

  std::vector<Case> Cases(const std::string& flags) const {
    return {
        {"ZQDESK", ZqDESK, flags + Quoted(out)},
        {"ZQDESF", ZqDESF, flags + Quoted(plain) + " " + Quoted(out) + " /CBC /KEY:" + Quoted(key)},
        {"ZQGOSK", ZqGOSK, flags + Quoted(out)},
        {"ZQGOSB", ZqGOSB, flags + Quoted(table) + " " + Quoted(out)},
        {"ZQGOSC", ZqGOSC, flags + Quoted(out)},
        {"ZQDIAP", ZqDIAP, flags + Quoted(out)},
    };
  }
  void ExpectNoTemporaryFile() const {
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"k.dek", "out", "plain", "table.txt"}));
  }

  TempFolder folder;
  const std::string out = folder / "out";
  const std::string key = folder / "k.dek";
  const std::string plain = folder / "plain";
  const std::string table = folder / "table.txt";
};

std::string g_appearing;  // the name the hook writes, once
void FileAppears() {
  if (g_appearing.empty()) return;
  WriteFileText(g_appearing, "appeared");
  g_appearing.clear();
}

TEST_F(LastMoment, AFileThatAppearsDuringTheJobIsKeptWithoutLeaveToReplace) {
  frame::SetGuardedFaultHookForTests(FileAppears);
  for (const Case& c : Cases("/NOLOGO ")) {
    SCOPED_TRACE(c.tag);
    std::filesystem::remove(out);
    g_appearing = out;
    int code = -1;
    std::string text = CallOperation(c.operation, c.options, &code);
    EXPECT_EQ(code, 11);
    EXPECT_EQ(text, c.tag + Native("11: Файл уже существует: ") + out);
    EXPECT_EQ(ReadFileText(out), "appeared");
    ExpectNoTemporaryFile();
  }
}

// Asks the process to end as a user would: SIGTERM, or Ctrl-Break on the
// console. The console's handler runs on a thread of its own: wait for it.
bool g_requestSent = false;
void AskToEnd() {
#ifdef _WIN32
  g_requestSent = ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) != 0;
  for (int i = 0; i < 2000 && g_requestSent && !platform::TerminationRequested(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
#else
  g_requestSent = ::raise(SIGTERM) == 0;
#endif
}

TEST_F(LastMoment, ARequestToEndTheProcessLeavesTheOldDestinationAndReports10) {
#ifdef _WIN32
  {
    // Ctrl-Break needs a console to go to (Wine gives none to a test run).
    platform::TerminationScope probe;
    if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) GTEST_SKIP() << "no console";
    // Its handler runs on a thread of its own: let it finish in the scope.
    for (int i = 0; i < 2000 && !platform::TerminationRequested(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
#endif
  frame::SetGuardedFaultHookForTests(AskToEnd);
  for (const Case& c : Cases("/NOLOGO /Y ")) {
    SCOPED_TRACE(c.tag);
    WriteFileText(out, "old");
    g_requestSent = false;
    int code = -1;
    std::string text = CallOperation(c.operation, c.options, &code);
    ASSERT_TRUE(g_requestSent);
    EXPECT_EQ(code, 10);
    EXPECT_EQ(text, c.tag + Native("10: Пользователь прервал работу"));
    EXPECT_EQ(ReadFileText(out), "old");
    ExpectNoTemporaryFile();
  }
}

}  // namespace
}  // namespace nc::test
