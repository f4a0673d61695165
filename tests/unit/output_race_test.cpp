// Every operation that writes a file, when a file takes the destination's
// name after the operation checked it (without "/Y"): the file is never
// replaced, the operation reports 11 with the name, and no temporary file
// is left. The file appears at the operation's first fault point, which
// each of them passes between its check and its commit (before or after it
// creates its output).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "des_test_support.h"
#include "frame/exception_guard.h"
#include "frame_test_support.h"
#include "nccore21.h"

namespace nc::test {
namespace {

std::string g_appearing;  // the name the hook writes, once
void FileAppears() {
  if (g_appearing.empty()) return;
  WriteFileText(g_appearing, "appeared");
  g_appearing.clear();
}

TEST(OutputRace, AFileThatAppearsDuringTheJobIsKeptWithoutLeaveToReplace) {
  TempFolder folder;
  const std::string out = folder / "out";
  const std::string key = folder / "k.dek";
  const std::string plain = folder / "plain";
  const std::string table = folder / "table.txt";
  WriteFileBytes(key, DesKeyFileBytes({1, 2, 3, 4, 5, 6, 7, 8}));
  WriteFileText(plain, std::string(70000, 'p'));
  std::filesystem::copy_file(std::string(NCCORE_SOURCE_DIR) + "/tests/blackbox/gosb_table.txt",
                             table);
  const struct {
    const char* tag;
    Operation operation;
    std::string options;
  } cases[] = {
      {"ZQDESK", ZqDESK, "/NOLOGO " + Quoted(out)},
      {"ZQDESF", ZqDESF,
       "/NOLOGO " + Quoted(plain) + " " + Quoted(out) + " /CBC /KEY:" + Quoted(key)},
      {"ZQGOSB", ZqGOSB, "/NOLOGO " + Quoted(table) + " " + Quoted(out)},
      {"ZQGOSC", ZqGOSC, "/NOLOGO " + Quoted(out)},
      {"ZQDIAP", ZqDIAP, "/NOLOGO " + Quoted(out)},
  };
  frame::SetGuardedFaultHookForTests(FileAppears);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    std::filesystem::remove(out);
    g_appearing = out;
    int code = -1;
    std::string text = CallOperation(c.operation, c.options, &code);
    EXPECT_EQ(code, 11);
    EXPECT_EQ(text, c.tag + Native("11: Файл уже существует: ") + out);
    EXPECT_EQ(ReadFileText(out), "appeared");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"k.dek", "out", "plain", "table.txt"}));
  }
  frame::SetGuardedFaultHookForTests(nullptr);
}

}  // namespace
}  // namespace nc::test
