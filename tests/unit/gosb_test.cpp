// The substitution-block text reader: one row's numbers, the line pieces a
// text-mode reader hands out, and the eight rows together. The import as a
// whole (files, result texts) is covered by the black-box suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "frame/guard_hook.h"
#include "gost/substitution_text.h"
#include "nccore21.h"
#include "platform/files.h"
#include "platform/string_table.h"

namespace nc::gost {
namespace {

// A file with the given bytes in the test's temporary folder, removed at
// the end of the test, and opened for reading.
class TextFile {
 public:
  explicit TextFile(const std::string& bytes) {
    static std::atomic<unsigned> counter{0};
    path_ = std::filesystem::path(::testing::TempDir()) /
            ("nccore-gosb-" + std::to_string(std::random_device()()) + "-" +
             std::to_string(counter++) + ".txt");
    std::ofstream(path_, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    file_.reset(platform::OpenForRead(path_.string().c_str()));
    EXPECT_TRUE(file_.valid()) << path_;
  }
  ~TextFile() {
    file_.Close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  platform::FileHandle handle() const { return file_.get(); }

 private:
  std::filesystem::path path_;
  platform::ScopedFile file_;
};

std::vector<std::string> AllPieces(const std::string& bytes) {
  TextFile file(bytes);
  LinePieceReader reader(file.handle());
  std::vector<std::string> pieces;
  char piece[LinePieceReader::kPieceLength + 1];
  while (pieces.size() < 1000 && reader.Next(piece)) {
    EXPECT_LE(std::strlen(piece), LinePieceReader::kPieceLength);
    pieces.emplace_back(piece);
  }
  return pieces;
}

// What a text-mode reader with a 32-byte fgets buffer yields, computed the
// plain way: CR LF becomes LF, then each piece ends after a LF or at 31
// characters.
std::vector<std::string> ModelPieces(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text.push_back(bytes[i]);
  }
  std::vector<std::string> pieces;
  std::string current;
  for (char c : text) {
    current.push_back(c);
    if (c == '\n' || current.size() == 31) {
      pieces.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) pieces.push_back(current);
  return pieces;
}

// ---------------------------------------------------------------------------
// One row

struct RowCase {
  const char* name;
  const char* text;
  bool ok;
  std::uint8_t bytes[8];
};

const RowCase kRowCases[] = {
    {"two digits, single blanks", "04 0a 09 02 0d 08 00 0e\n", true, {4, 10, 9, 2, 13, 8, 0, 14}},
    {"0x0f, F, 0F and the other forms",
     "0x0f F 0F 0X0F f 0f 0xF 0Xf",
     true,
     {15, 15, 15, 15, 15, 15, 15, 15}},
    {"upper and lower case, full range",
     "ff FF 80 7f 00 aB Cd 1",
     true,
     {255, 255, 128, 127, 0, 0xAB, 0xCD, 1}},
    {"leading and mixed white space", " \t1\t2  3\v4\f5\r6 7 8\n", true, {1, 2, 3, 4, 5, 6, 7, 8}},
    {"numbers after the eighth are ignored",
     "1 2 3 4 5 6 7 8 1ff zz",
     true,
     {1, 2, 3, 4, 5, 6, 7, 8}},
    {"text right after the eighth is ignored", "1 2 3 4 5 6 7 8g", true, {1, 2, 3, 4, 5, 6, 7, 8}},
    {"leading zeros do not make a number large",
     "0000000000ff 0 0 0 0 0 0 0",
     true,
     {255, 0, 0, 0, 0, 0, 0, 0}},
    {"numbers need no blank after them",
     "0x1 0x2 0x3 0x4 0x5 0x6 0x7 0x8",
     true,
     {1, 2, 3, 4, 5, 6, 7, 8}},
    {"a sign is part of the number", "+a -0 2 3 4 5 6 7", true, {10, 0, 2, 3, 4, 5, 6, 7}},
    {"seven numbers", "1 2 3 4 5 6 7\n", false, {}},
    {"empty", "", false, {}},
    {"only a line end", "\n", false, {}},
    {"100", "1 2 3 4 5 100 7 8", false, {}},
    {"FFFFFFFF", "1 2 FFFFFFFF 4 5 6 7 8", false, {}},
    {"beyond 32 bits", "100000000 2 3 4 5 6 7 8", false, {}},
    {"far beyond 64 bits", "1 ffffffffffffffffffffffff 3 4 5 6 7 8", false, {}},
    {"minus one", "1 2 3 4 5 6 7 -1", false, {}},
    {"a negative number wraps around as %x reads it",
     "-FFFFFFFF -0 0 0 0 0 0 0",
     true,
     {1, 0, 0, 0, 0, 0, 0, 0}},
    {"0x without digits", "0x 1 2 3 4 5 6 7 8", false, {}},
    {"commas are not separators", "1,2,3,4,5,6,7,8", false, {}},
    {"letters", "zz yy xx ww vv uu tt ss", false, {}},
    {"non-ASCII bytes", "\xd0\x90 1 2 3 4 5 6 7 8", false, {}},
};

TEST(ParseSubstitutionRow, Cases) {
  for (const RowCase& c : kRowCases) {
    SCOPED_TRACE(c.name);
    std::uint8_t row[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    ASSERT_EQ(ParseSubstitutionRow(c.text, row), c.ok);
    if (c.ok) {
      for (int i = 0; i < 8; ++i) EXPECT_EQ(row[i], c.bytes[i]) << "byte " << i;
    }
  }
}

// ---------------------------------------------------------------------------
// Line pieces

struct PieceCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> pieces;
};

TEST(LinePieceReader, Cases) {
  const std::string a30(30, 'a');
  const std::string b31(31, 'b');
  const PieceCase cases[] = {
      {"empty file", "", {}},
      {"lines with LF", "ab\ncd\n", {"ab\n", "cd\n"}},
      {"last line without a line end", "ab\ncd", {"ab\n", "cd"}},
      {"CR LF is one line end", "ab\r\ncd\r\n", {"ab\n", "cd\n"}},
      {"a lone CR is kept", "ab\rcd\n", {"ab\rcd\n"}},
      {"a CR at the end of the file is kept", "ab\r", {"ab\r"}},
      {"CR CR LF keeps the first CR", "ab\r\r\n", {"ab\r\n"}},
      {"LF CR starts the next line with a CR", "ab\n\rcd", {"ab\n", "\rcd"}},
      {"empty lines", "\n\n", {"\n", "\n"}},
      {"30 characters and LF: one piece", a30 + "\n" + "x\n", {a30 + "\n", "x\n"}},
      {"30 characters and CR LF: one piece", a30 + "\r\n" + "x\n", {a30 + "\n", "x\n"}},
      {"31 characters: the line end is the next piece", b31 + "\n", {b31, "\n"}},
      {"31 characters and CR LF", b31 + "\r\nx", {b31, "\n", "x"}},
      {"a long line is cut every 31 characters", b31 + b31 + "tail\n", {b31, b31, "tail\n"}},
  };
  for (const PieceCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AllPieces(c.bytes), c.pieces);
    EXPECT_EQ(ModelPieces(c.bytes), c.pieces);  // the model agrees with the table
  }
}

TEST(LinePieceReader, LineEndsAcrossTheReadBuffer) {
  // Lines of every length from 0 to 40, with LF, CR LF and lone CR ends, so
  // that every kind of line end falls on many offsets, including the
  // boundaries of the reader's internal buffer.
  std::string bytes;
  const char* ends[] = {"\n", "\r\n", "\r"};
  for (int round = 0; bytes.size() < 20000; ++round)
    for (int length = 0; length <= 40; ++length)
      bytes += std::string(static_cast<std::size_t>(length), static_cast<char>('a' + round % 26)) +
               ends[(round + length) % 3];
  EXPECT_EQ(AllPieces(bytes), ModelPieces(bytes));
}

TEST(LinePieceReader, EndsAtTheEndOfTheFileAndStaysThere) {
  TextFile file("x\n");
  LinePieceReader reader(file.handle());
  char piece[LinePieceReader::kPieceLength + 1];
  ASSERT_TRUE(reader.Next(piece));
  EXPECT_STREQ(piece, "x\n");
  EXPECT_FALSE(reader.Next(piece));
  EXPECT_STREQ(piece, "");
  EXPECT_FALSE(reader.Next(piece));
}

// ---------------------------------------------------------------------------
// Eight rows

const char kTable[] =
    "04 0a 09 02 0d 08 00 0e\n"
    "6b 1c 7F f5 53 80 ff 00\n"
    "A5 5a 3c c3 11 22 33 44\n"
    "10 20 30 40 50 60 70 f0\n"
    "0f 1e 2d 3c 4b 5a 69 78\n"
    "fe dc ba 98 76 54 32 10\n"
    "01 23 45 67 89 ab cd ef\n"
    "9c e1 07 b4 6d 2f 81 d8\n";

const std::uint8_t kTableBytes[kSubstitutionBlockSize] = {
    0x04, 0x0a, 0x09, 0x02, 0x0d, 0x08, 0x00, 0x0e, 0x6b, 0x1c, 0x7f, 0xf5, 0x53, 0x80, 0xff, 0x00,
    0xa5, 0x5a, 0x3c, 0xc3, 0x11, 0x22, 0x33, 0x44, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0xf0,
    0x0f, 0x1e, 0x2d, 0x3c, 0x4b, 0x5a, 0x69, 0x78, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10,
    0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0x9c, 0xe1, 0x07, 0xb4, 0x6d, 0x2f, 0x81, 0xd8};

struct TextCase {
  const char* name;
  std::string bytes;
  SubstitutionTextResult result;
};

TEST(ReadSubstitutionText, Cases) {
  const std::string table = kTable;
  const std::string sevenLines = table.substr(0, 7 * 24);
  const TextCase cases[] = {
      {"eight lines", table, SubstitutionTextResult::Ok},
      {"ninth line ignored", table + "garbage\n", SubstitutionTextResult::Ok},
      {"last line without a line end", table.substr(0, table.size() - 1),
       SubstitutionTextResult::Ok},
      {"empty file", "", SubstitutionTextResult::TooShort},
      {"seven lines", sevenLines, SubstitutionTextResult::TooShort},
      {"seven lines and an empty one", sevenLines + "\n", SubstitutionTextResult::BadFormat},
      {"eighth row short", sevenLines + "1 2 3\n", SubstitutionTextResult::BadFormat},
      {"a row of 30 characters is whole", std::string(7, ' ') + table, SubstitutionTextResult::Ok},
      {"a row split after its numbers",
       table.substr(0, 23) + std::string(8, ' ') + table.substr(23),
       SubstitutionTextResult::BadFormat},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    TextFile file(c.bytes);
    std::uint8_t block[kSubstitutionBlockSize] = {};
    ASSERT_EQ(ReadSubstitutionText(file.handle(), block), c.result);
    if (c.result == SubstitutionTextResult::Ok) {
      EXPECT_EQ(0, std::memcmp(block, kTableBytes, sizeof block));
    }
  }
}

// ---------------------------------------------------------------------------
// A fault inside the import

volatile std::uintptr_t g_badAddress = 16;
void WriteThroughBadPointer() { *reinterpret_cast<volatile int*>(g_badAddress) = 1; }

struct FaultHook {
  explicit FaultHook(void (*hook)()) { frame::SetGuardedFaultHookForTests(hook); }
  ~FaultHook() { frame::SetGuardedFaultHookForTests(nullptr); }
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ZqGOSB, AFaultGives33AndLeavesTheDestinationAsItWas) {
  std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) /
                                 ("nccore-gosb-fault-" + std::to_string(std::random_device()()));
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  std::ofstream(folder / "t.txt", std::ios::binary) << kTable;
  std::ofstream(folder / "out.gtb", std::ios::binary) << "previous contents";

  std::string options =
      "\"" + (folder / "t.txt").string() + "\" \"" + (folder / "out.gtb").string() + "\" /Y";
  char result[512] = "";
  std::int32_t code;
  {
    FaultHook hook(WriteThroughBadPointer);
    code = ZqGOSB(nullptr, options.c_str(), result, sizeof result);
  }
  EXPECT_EQ(code, 33);
  EXPECT_EQ(std::string(result), "ZQGOSB" + platform::LoadText(1033));
  EXPECT_EQ(ReadAll(folder / "out.gtb"), "previous contents");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"out.gtb", "t.txt"}));  // no temporary file
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace nc::gost
