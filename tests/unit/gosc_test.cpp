// ZqGOSC: options, the common-numbers file checked independently (OpenSSL's
// big numbers where the build has them), the progress window and its
// callback, cancelling, and the failures of the worker-thread protocol.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "des_test_support.h"
#include "fault_test_support.h"
#include "frame/data_file.h"
#include "frame/guard_hook.h"
#include "frame/progress_generator.h"
#include "frame/worker.h"
#include "frame_test_support.h"
#include "gost/gosc_progress.h"
#include "nccore21.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/bn.h>
#endif

namespace nc::gost {
namespace {

using nc::test::Native;
using nc::test::ReadLibraryFile;
using nc::test::TempFolder;
using platform::GeneratorField;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

std::string RunGosc(const std::string& options, int* code) {
  return test::CallOperation(ZqGOSC, options, code);
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return test::Le32(&bytes[at]);
}

struct Pqa {
  std::vector<std::uint32_t> p, q, a;
  std::uint32_t first = 0, second = 0;
  std::size_t fileSize = 0;
};

// Parses a .PQA file, checking its header, framing and integrity value on
// the way (the value over the words of p, q, a and the two generation
// values, counts left out).
Pqa ReadPqa(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadLibraryFile(path);
  Pqa n;
  n.fileSize = bytes.size();
  if (bytes.size() < 48 + 12 + 8) {
    ADD_FAILURE() << path << ": short file of " << bytes.size() << " bytes";
    return n;
  }
  frame::DataFileHeader h = frame::DecodeHeader(bytes.data());
  test::ExpectDataFileHeader(h, 1, 1, 4);
  EXPECT_EQ(h.protectionCode, 0u);
  EXPECT_EQ(h.tokenChallenge, 0u);
  std::size_t at = 48;
  std::uint32_t integrity = 0;
  for (auto* number : {&n.p, &n.q, &n.a}) {
    std::uint32_t count = Le32(bytes, at);
    at += 4;
    if (at + 4 * std::uint64_t{count} + 8 > bytes.size()) {
      ADD_FAILURE() << path << ": block of " << count << " words beyond the end";
      return n;
    }
    frame::UpdateIntegrityValue(&integrity, bytes.data() + at, 4 * count);
    for (std::uint32_t i = 0; i < count; ++i) number->push_back(Le32(bytes, at + 4 * i));
    at += 4 * count;
  }
  frame::UpdateIntegrityValue(&integrity, bytes.data() + at, 8);
  n.first = Le32(bytes, at);
  n.second = Le32(bytes, at + 4);
  EXPECT_EQ(at + 8, bytes.size());
  EXPECT_EQ(integrity, h.integrityValue);
  return n;
}

unsigned Bits(const std::vector<std::uint32_t>& words) {
  for (std::size_t i = words.size(); i-- > 0;)
    if (words[i] != 0) return static_cast<unsigned>(32 * i + 32 - __builtin_clz(words[i]));
  return 0;
}

std::vector<unsigned char> BigEndian(const std::vector<std::uint32_t>& words) {
  std::vector<unsigned char> out;
  for (std::size_t i = words.size(); i-- > 0;)
    for (int b = 3; b >= 0; --b) out.push_back(static_cast<unsigned char>(words[i] >> (8 * b)));
  return out;
}

// q | p - 1, a^q = 1 (mod p), a != 1, p and q prime; checked with OpenSSL
// where the build has it, else with libgcrypt.
void ExpectValidCommonNumbers(const Pqa& n) {
  std::vector<unsigned char> pb = BigEndian(n.p), qb = BigEndian(n.q), ab = BigEndian(n.a);
#ifdef NCCORE_HAVE_OPENSSL
  BN_CTX* ctx = BN_CTX_new();
  BIGNUM* p = BN_bin2bn(pb.data(), static_cast<int>(pb.size()), nullptr);
  BIGNUM* q = BN_bin2bn(qb.data(), static_cast<int>(qb.size()), nullptr);
  BIGNUM* a = BN_bin2bn(ab.data(), static_cast<int>(ab.size()), nullptr);
  BIGNUM* pMinus1 = BN_dup(p);
  BN_sub_word(pMinus1, 1);
  BIGNUM* rem = BN_new();
  BN_mod(rem, pMinus1, q, ctx);
  EXPECT_TRUE(BN_is_zero(rem)) << "q does not divide p - 1";
  BIGNUM* power = BN_new();
  BN_mod_exp(power, a, q, p, ctx);
  EXPECT_TRUE(BN_is_one(power)) << "a^q mod p is not 1";
  EXPECT_FALSE(BN_is_one(a));
  EXPECT_FALSE(BN_is_zero(a));
  EXPECT_LT(BN_cmp(a, p), 0);
  EXPECT_EQ(BN_check_prime(p, ctx, nullptr), 1) << "p is not prime";
  EXPECT_EQ(BN_check_prime(q, ctx, nullptr), 1) << "q is not prime";
  for (BIGNUM* x : {p, q, a, pMinus1, rem, power}) BN_free(x);
  BN_CTX_free(ctx);
#else
  gcry_mpi_t p = nullptr, q = nullptr, a = nullptr;
  gcry_mpi_scan(&p, GCRYMPI_FMT_USG, pb.data(), pb.size(), nullptr);
  gcry_mpi_scan(&q, GCRYMPI_FMT_USG, qb.data(), qb.size(), nullptr);
  gcry_mpi_scan(&a, GCRYMPI_FMT_USG, ab.data(), ab.size(), nullptr);
  gcry_mpi_t pMinus1 = gcry_mpi_new(0), rem = gcry_mpi_new(0), power = gcry_mpi_new(0);
  gcry_mpi_sub_ui(pMinus1, p, 1);
  gcry_mpi_mod(rem, pMinus1, q);
  EXPECT_EQ(gcry_mpi_cmp_ui(rem, 0), 0) << "q does not divide p - 1";
  gcry_mpi_powm(power, a, q, p);
  EXPECT_EQ(gcry_mpi_cmp_ui(power, 1), 0) << "a^q mod p is not 1";
  EXPECT_NE(gcry_mpi_cmp_ui(a, 1), 0);
  EXPECT_EQ(gcry_prime_check(p, 0), 0) << "p is not prime";
  EXPECT_EQ(gcry_prime_check(q, 0), 0) << "q is not prime";
  for (gcry_mpi_t x : {p, q, a, pMinus1, rem, power}) gcry_mpi_release(x);
#endif
}

class GoscTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override {
    platform::SetUi(nullptr);
    frame::SetWorkerStartHookForTests(nullptr);
  }
  std::vector<std::string> FieldsOf(GeneratorField field) const {
    std::vector<std::string> texts;
    for (const Event& e : ui_.progress)
      if (e.kind == Event::Field && e.id == static_cast<int>(field)) texts.push_back(e.text);
    return texts;
  }
  std::vector<std::string> Stages() const {
    std::vector<std::string> texts;
    for (const Event& e : ui_.progress)
      if (e.kind == Event::Stage) texts.push_back(e.text);
    return texts;
  }

  ScriptedUi ui_;
  TempFolder folder_;
};

// ============================================================================
// The file
// ============================================================================

TEST_F(GoscTest, FiveHundredTwelveBitsMakeAValidFileOf228Bytes) {
  std::string name = folder_ / "out.pqa";
  int code = -1;
  EXPECT_EQ(RunGosc("/NOLOGO \"" + name + "\"", &code),
            Native("ZQGOSC00: Операция выполнена успешно"));
  EXPECT_EQ(code, 0);
  Pqa n = ReadPqa(name);
  EXPECT_EQ(n.fileSize, 228u);
  EXPECT_EQ(n.p.size(), 16u);
  EXPECT_EQ(n.q.size(), 8u);
  EXPECT_EQ(n.a.size(), 16u);
  EXPECT_EQ(Bits(n.p), 512u);
  EXPECT_GE(Bits(n.q), 254u);
  EXPECT_LE(Bits(n.q), 256u);
  ExpectValidCommonNumbers(n);
  // Procedure A draws 16-bit generation values.
  EXPECT_LT(n.first, 0x10000u);
  EXPECT_LT(n.second, 0x10000u);
  EXPECT_EQ(n.second % 2, 1u);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"out.pqa"}));  // no temporary left
}

TEST_F(GoscTest, ThousandTwentyFourBitsWithTheVariantProcedure) {
  std::string name = folder_ / "big.pqa";
  int code = -1;
  RunGosc("/P:1024 /EXT \"" + name + "\" /NOLOGO", &code);
  EXPECT_EQ(code, 0);
  Pqa n = ReadPqa(name);
  EXPECT_EQ(n.fileSize, 48u + 132 + 36 + 132 + 8);
  EXPECT_EQ(Bits(n.p), 1024u);
  EXPECT_EQ(Bits(n.q), 256u);
  ExpectValidCommonNumbers(n);
  // B' draws 32-bit generation values: both below 2^16 by chance once in 2^32.
  EXPECT_TRUE(n.first >= 0x10000u || n.second >= 0x10000u) << n.first << " " << n.second;
}

TEST_F(GoscTest, SmallestAcceptedLength) {
  std::string name = folder_ / "509.pqa";
  int code = -1;
  RunGosc("/NOLOGO /P:509 \"" + name + "\"", &code);
  EXPECT_EQ(code, 0);
  Pqa n = ReadPqa(name);
  EXPECT_EQ(Bits(n.p), 509u);
  ExpectValidCommonNumbers(n);
}

TEST_F(GoscTest, DefaultNameInTheCurrentFolder) {
  int code = -1;
  test::CallOperationIn(folder_.path(), ZqGOSC, "/nologo", &code);
  EXPECT_EQ(code, 0);
  // Joined by hand: the name's bytes must reach the library unconverted.
  Pqa n = ReadPqa(folder_.path().string() + "/" + Native("Числа PQA.PQA"));
  EXPECT_EQ(n.fileSize, 228u);
}

// ============================================================================
// Options
// ============================================================================

// The total number of iterations the window shows tells procedure A (509 to
// 512 bits: 5 primes) from procedure B (1020 to 1024 bits: 10 primes). The
// generation is aborted at that first field, so no length takes long.
TEST_F(GoscTest, BitLengthsAcceptedAndRefused) {
  struct Case {
    const char* option;
    int code;
    const char* total;  // for accepted lengths
  } cases[] = {
      {"/P:509", 10, "5"},           {"/P:510", 10, "5"},      {"/P:512", 10, "5"},
      {"/P:1020", 10, "10"},         {"/P:1022", 10, "10"},    {"/P:1024", 10, "10"},
      {"/p:512", 10, "5"},           {"/P:512,more", 10, "5"}, {"/P:513", 1, nullptr},
      {"/P:508", 1, nullptr},        {"/P:1019", 1, nullptr},  {"/P:1025", 1, nullptr},
      {"/P:x", 1, nullptr},          {"/P:", 1, nullptr},      {"/P:-512", 1, nullptr},
      {"/P:4294967808", 1, nullptr},
  };
  std::string name = folder_ / "out.pqa";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    ui_.progress.clear();
    ui_.cancelWhen = [](const Event& e) {
      return e.kind == Event::Field && e.id == static_cast<int>(GeneratorField::Total);
    };
    int code = -1;
    RunGosc(std::string(c.option) + " \"" + name + "\"", &code);
    EXPECT_EQ(code, c.code);
    if (c.total != nullptr) {
      EXPECT_EQ(FieldsOf(GeneratorField::Total), std::vector<std::string>{c.total});
    } else {
      EXPECT_TRUE(ui_.progress.empty());  // refused before any window
    }
    EXPECT_FALSE(platform::FileExists(name.c_str()));
  }
}

TEST_F(GoscTest, TextAfterTheNumberIsSkippedToTheNextBlank) {
  // ",more" is passed over; the name after the blank is the destination.
  std::string name = folder_ / "after.pqa";
  int code = -1;
  RunGosc("/P:512,more \"" + name + "\" /NOLOGO", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadPqa(name).fileSize, 228u);
  // Without a blank after it, the rest of the string goes with it.
  test::CallOperationIn(folder_.path(), ZqGOSC, "/NOLOGO /P:512,\"other.pqa\"", &code);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "other.pqa"));
  EXPECT_EQ(ReadPqa(folder_.path().string() + "/" + Native("Числа PQA.PQA")).fileSize, 228u);
}

TEST_F(GoscTest, BadCommands) {
  std::string a = folder_ / "a.pqa";
  std::string b = folder_ / "b.pqa";
  for (std::string options : {"\"" + a + "\" \"" + b + "\"", "/NOLOGO /P:1019 \"" + a + "\""}) {
    int code = -1;
    EXPECT_EQ(RunGosc(options, &code), Native("ZQGOSC01: Неправильный формат команды"));
    EXPECT_EQ(code, 1);
  }
  EXPECT_TRUE(folder_.Names().empty());
  EXPECT_TRUE(ui_.progress.empty());
}

// ============================================================================
// Existing destinations, windows, cancelling
// ============================================================================

TEST_F(GoscTest, QuietShowsNoWindowAtAllAndDoesNotOverwrite) {
  std::string name = folder_ / "out.pqa";
  nc::test::WriteFileText(name, "old");
  int code = -1;
  EXPECT_EQ(RunGosc("/NOLOGO \"" + name + "\"", &code),
            Native("ZQGOSC11: Файл уже существует: ") + name);
  EXPECT_EQ(code, 11);
  EXPECT_EQ(nc::test::ReadFileText(name), "old");
  RunGosc("/NOLOGO /Y \"" + name + "\"", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadPqa(name).fileSize, 228u);
  EXPECT_TRUE(ui_.progress.empty());
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(GoscTest, OverwriteIsAskedWithTheTitle) {
  std::string name = folder_ / "out.pqa";
  nc::test::WriteFileText(name, "old");
  ui_.answers = {false, true};
  int code = -1;
  RunGosc("\"" + name + "\"", &code);
  EXPECT_EQ(code, 11);
  EXPECT_EQ(nc::test::ReadFileText(name), "old");
  RunGosc("\"" + name + "\"", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadPqa(name).fileSize, 228u);
  ASSERT_EQ(ui_.shown.size(), 2u);
  EXPECT_EQ(ui_.shown[0].caption, Native("Генератор общих чисел ЭЦП ГОСТ"));
}

TEST_F(GoscTest, WindowShowsTheStagesAndClosesBeforeTheFileIsWritten) {
  std::string name = folder_ / "out.pqa";
  int parent = 0;
  char result[512];
  EXPECT_EQ(ZqGOSC(&parent, ("/P:1024 \"" + name + "\"").c_str(), result, sizeof result), 0);
  ASSERT_GE(ui_.progress.size(), 2u);
  EXPECT_EQ(ui_.progress.front().kind, Event::GeneratorOpen);
  EXPECT_EQ(ui_.progress.front().parent, &parent);
  EXPECT_EQ(ui_.progress.back().kind, Event::GeneratorClose);
  // Procedure B: q, then Q, then p, each caption once.
  EXPECT_EQ(Stages(),
            (std::vector<std::string>{Native(" Генерация числа q "), Native(" Генерация числа Q "),
                                      Native(" Генерация числа p ")}));
  EXPECT_EQ(FieldsOf(GeneratorField::Total), (std::vector<std::string>(3, "10")));
  std::vector<std::string> iterations = FieldsOf(GeneratorField::Iteration);
  ASSERT_FALSE(iterations.empty());
  EXPECT_EQ(iterations.front(), "1");
  EXPECT_EQ(iterations.back(), "10");
  for (const std::string& elapsed : FieldsOf(GeneratorField::Elapsed))
    EXPECT_EQ(elapsed.size(), 8u) << elapsed;
  ExpectValidCommonNumbers(ReadPqa(name));
}

TEST_F(GoscTest, CancelLeavesNoFileAndAnExistingOneUntouched) {
  std::string name = folder_ / "out.pqa";
  // At the first caption, and at the last one (p).
  const char* stages[] = {" Генерация числа q ", " Генерация числа p "};
  for (const char* stage : stages) {
    SCOPED_TRACE(stage);
    ui_.progress.clear();
    std::string caption = Native(stage);
    ui_.cancelWhen = [caption](const Event& e) {
      return e.kind == Event::Stage && e.text == caption;
    };
    int code = -1;
    EXPECT_EQ(RunGosc("\"" + name + "\"", &code), Native("ZQGOSC10: Пользователь прервал работу"));
    EXPECT_EQ(code, 10);
    EXPECT_TRUE(folder_.Names().empty());
    EXPECT_EQ(ui_.progress.back().kind, Event::GeneratorClose);
  }
  nc::test::WriteFileText(name, "old");
  ui_.cancelWhen = [](const Event& e) { return e.kind == Event::Field; };
  int code = -1;
  RunGosc("/Y /EXT \"" + name + "\"", &code);
  EXPECT_EQ(code, 10);
  EXPECT_EQ(nc::test::ReadFileText(name), "old");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"out.pqa"}));
}

TEST_F(GoscTest, WindowOrThreadFailuresCreateNoFile) {
  std::string name = folder_ / "out.pqa";
  ui_.refuseGenerator = true;
  int code = -1;
  EXPECT_EQ(RunGosc("\"" + name + "\"", &code),
            Native("ZQGOSC28: Ошибка при создании диалогового окна"));
  EXPECT_EQ(code, 28);
  // Quiet asks for no window, so its refusal does not matter.
  RunGosc("/NOLOGO \"" + name + "\"", &code);
  EXPECT_EQ(code, 0);
  platform::DeleteFile(name.c_str());

  ui_.refuseGenerator = false;
  frame::SetWorkerStartHookForTests([] { return false; });
  EXPECT_EQ(RunGosc("\"" + name + "\"", &code), Native("ZQGOSC29: Ошибка при запуске потока"));
  EXPECT_EQ(code, 29);
  RunGosc("/NOLOGO \"" + name + "\"", &code);
  EXPECT_EQ(code, 29);
  EXPECT_TRUE(folder_.Names().empty());
  ASSERT_FALSE(ui_.progress.empty());
  EXPECT_EQ(ui_.progress.back().kind, Event::GeneratorClose);
}

using nc::test::WriteThroughBadPointer;

TEST_F(GoscTest, AFaultAfterTheGenerationWritesNothing) {
  std::string name = folder_ / "out.pqa";
  nc::test::WriteFileText(name, "old");
  frame::SetGuardedFaultHookForTests(WriteThroughBadPointer);
  int code = -1;
  std::string text = RunGosc("/Y \"" + name + "\"", &code);
  frame::SetGuardedFaultHookForTests(nullptr);
  EXPECT_EQ(code, 33);
  EXPECT_EQ(text, Native("ZQGOSC33: Возникло необработанное исключение"));
  EXPECT_EQ(nc::test::ReadFileText(name), "old");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"out.pqa"}));
  ASSERT_FALSE(ui_.progress.empty());
  EXPECT_EQ(ui_.progress.back().kind, Event::GeneratorClose);
}

// ============================================================================
// The progress callback, record by record
// ============================================================================

class GoscCallbackTest : public GoscTest {
 protected:
  void SetUp() override {
    GoscTest::SetUp();
    ASSERT_TRUE(
        frame::OpenGeneratorWindow(window_, nullptr, platform::GeneratorKind::GostCommonNumbers));
  }
  void TearDown() override {
    frame::CloseGeneratorWindow(window_);
    GoscTest::TearDown();
  }
  // Calls the callback with one record; returns its answer.
  std::int32_t Report(std::uint32_t phase, std::uint32_t number, std::uint32_t iteration = 1,
                      std::uint32_t attempt = 1, std::uint32_t seconds = 0) {
    GOSPQAProgress record{};
    record.size = sizeof record;
    record.phase = phase;
    record.number = number;
    record.iteration = iteration;
    record.iterations = 10;
    record.attempt = attempt;
    record.seconds = seconds;
    record.window = &window_;
    return GoscProgress(&record);
  }
  // The events since the window opened, one letter each: S stage, T total,
  // I iteration, A attempt, E elapsed.
  std::string Kinds() const {
    std::string kinds;
    for (const Event& e : ui_.progress) {
      if (e.kind == Event::Stage) kinds += 'S';
      if (e.kind != Event::Field) continue;
      kinds += "TIAE"[e.id];
    }
    return kinds;
  }

  frame::GeneratorWindow window_;
};

TEST_F(GoscCallbackTest, CaptionsAndTotalsFollowTheStateBits) {
  struct Step {
    std::uint32_t phase, number;
    const char* shown;   // events added by this report
    std::uint32_t word;  // the window's word afterwards
  } steps[] = {
      {kGosPqaPhasePrime16, kGosPqaNumberQ, "STIAE", kGoscStageQ | kGoscTotalShown},
      {kGosPqaPhasePrime16, kGosPqaNumberQ, "IAE", kGoscStageQ | kGoscTotalShown},
      {kGosPqaPhasePrime16, kGosPqaNumberBigQ, "STIAE",
       kGoscStageQ | kGoscStageBigQ | kGoscTotalShown},
      // Back at an earlier number: its caption was set already.
      {kGosPqaPhasePrime16, kGosPqaNumberQ, "IAE", kGoscStageQ | kGoscStageBigQ | kGoscTotalShown},
      // The a stage and unknown phases set no caption.
      {kGosPqaPhaseA, kGosPqaNumberA, "IAE", kGoscStageQ | kGoscStageBigQ | kGoscTotalShown},
      {5, kGosPqaNumberP, "IAE", kGoscStageQ | kGoscStageBigQ | kGoscTotalShown},
      // Phase 7 (the variant procedures) is a prime's generation too.
      {kGosPqaPhasePrime32, kGosPqaNumberP, "STIAE",
       kGoscStageQ | kGoscStageBigQ | kGoscStageP | kGoscTotalShown},
      {kGosPqaPhasePrime32, kGosPqaNumberP, "IAE",
       kGoscStageQ | kGoscStageBigQ | kGoscStageP | kGoscTotalShown},
  };
  std::string expected;
  for (const Step& s : steps) {
    SCOPED_TRACE(::testing::Message() << "phase " << s.phase << " number " << s.number);
    EXPECT_EQ(Report(s.phase, s.number), 0);
    expected += s.shown;
    EXPECT_EQ(Kinds(), expected);
    EXPECT_EQ(window_.word.load(), s.word);
  }
  EXPECT_EQ(Stages(),
            (std::vector<std::string>{Native(" Генерация числа q "), Native(" Генерация числа Q "),
                                      Native(" Генерация числа p ")}));
}

TEST_F(GoscCallbackTest, TotalWithoutAStageIsShownOnce) {
  EXPECT_EQ(Report(kGosPqaPhaseA, kGosPqaNumberA), 0);
  EXPECT_EQ(Report(kGosPqaPhaseA, kGosPqaNumberA), 0);
  EXPECT_EQ(Kinds(), "TIAEIAE");
  EXPECT_EQ(window_.word.load(), static_cast<std::uint32_t>(kGoscTotalShown));
}

TEST_F(GoscCallbackTest, FieldsShowTheRecordsNumbers) {
  EXPECT_EQ(Report(kGosPqaPhasePrime16, kGosPqaNumberQ, 3, 4000000000u, 3725), 0);
  EXPECT_EQ(FieldsOf(GeneratorField::Total), std::vector<std::string>{"10"});
  EXPECT_EQ(FieldsOf(GeneratorField::Iteration), std::vector<std::string>{"3"});
  EXPECT_EQ(FieldsOf(GeneratorField::Attempt), std::vector<std::string>{"4000000000"});
  EXPECT_EQ(FieldsOf(GeneratorField::Elapsed), std::vector<std::string>{"01:02:05"});
}

TEST_F(GoscCallbackTest, AbortStopsTheGeneratorAndStaysSet) {
  EXPECT_EQ(Report(kGosPqaPhasePrime16, kGosPqaNumberQ), 0);
  std::size_t shown = ui_.progress.size();
  window_.word.fetch_or(platform::kProgressCancel);  // the button
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Report(kGosPqaPhasePrime16, kGosPqaNumberP), 1);
  EXPECT_EQ(ui_.progress.size(), shown);  // nothing more shown
  EXPECT_EQ(window_.word.load() & kGoscAbort, static_cast<std::uint32_t>(kGoscAbort));
}

TEST_F(GoscCallbackTest, AClosedWindowIsNotDrawnOn) {
  frame::CloseGeneratorWindow(window_);
  std::size_t shown = ui_.progress.size();
  EXPECT_EQ(Report(kGosPqaPhasePrime16, kGosPqaNumberQ), 0);
  EXPECT_EQ(ui_.progress.size(), shown);
}

TEST(GoscElapsed, HoursAreNotLimitedToTwoDigits) {
  struct Case {
    std::uint32_t seconds;
    const char* text;
  } cases[] = {
      {0, "00:00:00"},       {59, "00:00:59"},
      {60, "00:01:00"},      {3599, "00:59:59"},
      {3725, "01:02:05"},    {86399, "23:59:59"},
      {360000, "100:00:00"}, {4294967295u, "1193046:28:15"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatElapsed(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace nc::gost
