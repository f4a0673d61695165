// The option scanner and name tokens.
#include "frame/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "frame_test_support.h"

namespace nc::frame {
namespace {

using test::ExactString;

// One step of a scan as a handler saw it.
struct Seen {
  std::string option;  // the table's text, "" for a positional token
  std::string name;    // the name token copied by the handler, if any
  int number;          // OptionHit::number
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << "{" << (s.option.empty() ? "<positional>" : s.option) << " name=\"" << s.name
             << "\" number=" << s.number << "}";
}

Seen Flag(const char* option) { return {option, "", -1}; }
Seen Named(const char* option, const char* name) { return {option, name, -1}; }
Seen Numbered(const char* option, int number) { return {option, "", number}; }
Seen Positional(const char* name) { return {"", name, -1}; }

struct Recorder {
  const OptionSpec* table;
  std::size_t nameSize;
  std::size_t refuseAt;  // the handler refuses the step with this number (1-based), 0 never
  std::vector<Seen> seen;
};

bool Record(void* context, const OptionHit& hit) {
  auto& r = *static_cast<Recorder*>(context);
  Seen s{hit.index < 0 ? "" : r.table[hit.index].text, "", hit.number};
  if (hit.nameStart != nullptr) {
    std::vector<char> buffer(r.nameSize, '\x7F');
    CopyNameToken(hit.nameStart, buffer.data(), buffer.size());
    s.name = buffer.data();
  }
  r.seen.push_back(s);
  return r.seen.size() != r.refuseAt;
}

constexpr OptionSpec kTable[] = {
    {"/NOLOGO", OptionArg::None}, {"/Y", OptionArg::None},   {"/KEY:", OptionArg::Name},
    {"/CFB", OptionArg::Number},  {"/CBC", OptionArg::None},
};

struct ScanResult {
  bool ok;
  std::vector<Seen> seen;
};

ScanResult Scan(const std::string& options, const OptionSpec* table, std::size_t tableSize,
                std::size_t nameSize = 261, std::size_t refuseAt = 0) {
  ExactString text(options);
  Recorder recorder{table, nameSize, refuseAt, {}};
  bool ok = ScanOptions(text.get(), table, tableSize, nameSize, Record, &recorder);
  return {ok, recorder.seen};
}

ScanResult Scan(const std::string& options) { return Scan(options, kTable, std::size(kTable)); }

struct ScanCase {
  const char* options;
  std::vector<Seen> expected;
};

TEST(ScanOptions, FlagsAndPositionalTokens) {
  const ScanCase cases[] = {
      {"", {}},
      {"    ", {}},
      {"/NOLOGO /Y", {Flag("/NOLOGO"), Flag("/Y")}},
      {"/nologo /y", {Flag("/NOLOGO"), Flag("/Y")}},
      {"  /NoLoGo  ", {Flag("/NOLOGO")}},
      // No separator is needed after an option.
      {"/NOLOGO/Y", {Flag("/NOLOGO"), Flag("/Y")}},
      {"/YES", {Flag("/Y"), Positional("ES")}},
      {"/Y/Y", {Flag("/Y"), Flag("/Y")}},
      // Quoted names end at their closing quote, unquoted ones take the rest.
      {"\"src\" \"dst\" /Y", {Positional("src"), Positional("dst"), Flag("/Y")}},
      {"\"a b\"/Y", {Positional("a b"), Flag("/Y")}},
      {"src dst /Y", {Positional("src dst /Y")}},
      {"/Y src", {Flag("/Y"), Positional("src")}},
      {"\"\" dst", {Positional(""), Positional("dst")}},
      {"\"unterminated /Y", {Positional("unterminated /Y")}},
      // An unknown option and a tab-led token are names; only 0x20 separates.
      {"/X /Y", {Positional("/X /Y")}},
      {"\t/Y", {Positional("\t/Y")}},
      // A prefix of an option at the end of the string is not the option.
      {"/NOLOG", {Positional("/NOLOG")}},
      {"/Y /CB", {Flag("/Y"), Positional("/CB")}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.options);
    ScanResult r = Scan(c.options);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.seen, c.expected);
  }
}

TEST(ScanOptions, NameOptions) {
  const ScanCase cases[] = {
      {"/KEY:k.dek", {Named("/KEY:", "k.dek")}},
      {"/key:\"my key.dek\" /Y", {Named("/KEY:", "my key.dek"), Flag("/Y")}},
      {"/KEY:\"k.dek\"/NOLOGO", {Named("/KEY:", "k.dek"), Flag("/NOLOGO")}},
      // An unquoted name takes the rest of the string and ends the scan.
      {"/KEY:k.dek /Y", {Named("/KEY:", "k.dek /Y")}},
      {"/KEY: k.dek", {Named("/KEY:", " k.dek")}},
      {"/KEY:", {Named("/KEY:", "")}},
      {"/KEY:\"\" /Y", {Named("/KEY:", ""), Flag("/Y")}},
      {"/KEY:\"k.dek", {Named("/KEY:", "k.dek")}},
      {"\"in\" /KEY:\"PWD,TM:k.dek\" \"out\"",
       {Positional("in"), Named("/KEY:", "PWD,TM:k.dek"), Positional("out")}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.options);
    ScanResult r = Scan(c.options);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.seen, c.expected);
  }
}

TEST(ScanOptions, NumericSuffixMovesTwoCharactersOn) {
  const ScanCase cases[] = {
      {"/CFB", {Numbered("/CFB", -1)}},
      {"/CFB /Y", {Numbered("/CFB", -1), Flag("/Y")}},
      {"/CFB:3", {Numbered("/CFB", 3)}},
      {"/cfb:8/Y", {Numbered("/CFB", 8), Flag("/Y")}},
      {"/CFB:1 /CBC", {Numbered("/CFB", 1), Flag("/CBC")}},
      // The whole number is read, but only one digit is stepped over.
      {"/CFB:12", {Numbered("/CFB", 12), Positional("2")}},
      {"/CFB:64 /Y", {Numbered("/CFB", 64), Positional("4 /Y")}},
      // A colon at the end of the string, or without a number.
      {"/CFB:", {Numbered("/CFB", kBadNumber)}},
      {"/CFB:x /Y", {Numbered("/CFB", kBadNumber), Flag("/Y")}},
      {"/CFB:/Y", {Numbered("/CFB", kBadNumber), Positional("Y")}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.options);
    ScanResult r = Scan(c.options);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.seen, c.expected);
  }
}

TEST(ScanOptions, FirstMatchInTableOrderWins) {
  const OptionSpec shortFirst[] = {{"/C", OptionArg::None}, {"/CBC", OptionArg::None}};
  const OptionSpec longFirst[] = {{"/CBC", OptionArg::None}, {"/C", OptionArg::None}};
  EXPECT_EQ(Scan("/CBC", shortFirst, 2).seen, (std::vector<Seen>{Flag("/C"), Positional("BC")}));
  EXPECT_EQ(Scan("/CBC /C", longFirst, 2).seen, (std::vector<Seen>{Flag("/CBC"), Flag("/C")}));
}

TEST(ScanOptions, RefusalByTheHandlerEndsTheScan) {
  ScanResult r = Scan("/NOLOGO /Y \"a\" \"b\"", kTable, std::size(kTable), 261, 2);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.seen, (std::vector<Seen>{Flag("/NOLOGO"), Flag("/Y")}));

  r = Scan("\"a\" \"b\" \"c\"", kTable, std::size(kTable), 261, 3);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.seen.size(), 3u);
}

TEST(ScanOptions, NullOptionsAreEmpty) {
  Recorder recorder{kTable, 261, 0, {}};
  EXPECT_TRUE(ScanOptions(nullptr, kTable, std::size(kTable), 261, Record, &recorder));
  EXPECT_TRUE(recorder.seen.empty());
}

TEST(ScanOptions, LongQuotedNameIsCutAndItsRestScanned) {
  // Names go into 4-byte buffers: "abc" is copied, the scan resumes two
  // characters further ("efgh" follows), whose copy "efg" again resumes two
  // characters on, at the blank before "/Y".
  ScanResult r = Scan("\"abcdefgh\" /Y", kTable, std::size(kTable), 4);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.seen, (std::vector<Seen>{Positional("abc"), Positional("efg"), Flag("/Y")}));

  r = Scan("/KEY:\"abcdefgh\" /Y", kTable, std::size(kTable), 4);
  EXPECT_EQ(r.seen, (std::vector<Seen>{Named("/KEY:", "abc"), Positional("efg"), Flag("/Y")}));

  // A name that fits is not cut.
  r = Scan("\"abc\" /Y", kTable, std::size(kTable), 4);
  EXPECT_EQ(r.seen, (std::vector<Seen>{Positional("abc"), Flag("/Y")}));
}

TEST(ScanOptions, WindowsSizedNameBufferCutsAt260Characters) {
  std::string longName(300, 'n');
  ScanResult r = Scan("\"" + longName + "\"", kTable, std::size(kTable), 261);
  ASSERT_EQ(r.seen.size(), 2u);
  EXPECT_EQ(r.seen[0], Positional(std::string(260, 'n').c_str()));
  // Resumes at start + 260 + 2: the 39 characters left and the closing quote.
  EXPECT_EQ(r.seen[1], Positional((std::string(39, 'n') + "\"").c_str()));
}

struct TokenCase {
  const char* source;
  std::size_t size;
  const char* expected;
};

TEST(CopyNameToken, QuotedUnquotedAndCut) {
  const TokenCase cases[] = {
      {"\"a b\" c", 261, "a b"},
      {"a b c", 261, "a b c"},
      {"a\"b\" c", 261, "a\"b\" c"},
      {"\"abc", 261, "abc"},
      {"\"\"", 261, ""},
      {"\"", 261, ""},
      {"", 261, ""},
      {"abcdef", 4, "abc"},
      {"\"abcdef\"", 4, "abc"},
      {"abc", 4, "abc"},
      {"abcd", 4, "abc"},
      {"abc", 1, ""},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " size " + std::to_string(c.size));
    ExactString source(c.source);
    std::vector<char> destination(c.size, '\x7F');
    EXPECT_EQ(CopyNameToken(source.get(), destination.data(), c.size), destination.data());
    EXPECT_STREQ(destination.data(), c.expected);
  }
}

TEST(CopyNameToken, SizeZeroWritesNothing) {
  char destination[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(CopyNameToken("abc", destination, 0), destination);
  EXPECT_STREQ(destination, "xyz");
}

TEST(SkipNameToken, ResumesPastTheCopiedCharactersAndBothQuotes) {
  struct Case {
    const char* source;
    std::size_t size;
    std::size_t resume;  // offset from the token's start
  };
  const Case cases[] = {
      {"\"ab\" x", 261, 4},
      {"\"ab\"", 261, 4},
      {"\"\" x", 261, 2},
      {"ab x", 261, 4},
      {"", 261, 0},
      {"\"ab", 261, 3},
      // Cut names resume inside the name, quoted or not.
      {"\"abcdefgh\" /Y", 4, 5},
      {"abcdefgh", 4, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " size " + std::to_string(c.size));
    ExactString source(c.source);
    EXPECT_EQ(SkipNameToken(source.get(), c.size) - source.get(),
              static_cast<std::ptrdiff_t>(c.resume));
  }
}

}  // namespace
}  // namespace nc::frame
