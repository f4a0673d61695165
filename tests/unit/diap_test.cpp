// The Diffie-Hellman common numbers: random-length numbers and the .AP file.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "des_test_support.h"
#include "dh/random_length_number.h"
#include "frame/data_file.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/files.h"
#include "zq/zq.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/bn.h>
#endif

namespace {

using nc::test::Native;
using nc::test::ReadLibraryFile;
using nc::test::TempFolder;

struct Numbers {
  std::vector<std::uint32_t> a, p;
};

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return nc::test::Le32(&bytes[offset]);
}

// Parses an .AP file, checking its framing and integrity value on the way.
Numbers ReadApFile(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadLibraryFile(path);
  Numbers n;
  if (bytes.size() < 56) {
    ADD_FAILURE() << "short file " << bytes.size();
    return n;
  }
  nc::frame::DataFileHeader h = nc::frame::DecodeHeader(bytes.data());
  nc::test::ExpectDataFileHeader(h, 1, 4, 4);
  EXPECT_EQ(h.protectionCode, 0u);
  EXPECT_EQ(h.tokenChallenge, 0u);
  std::size_t at = 48;
  for (auto* number : {&n.a, &n.p}) {
    std::uint32_t count = Word(bytes, at);
    at += 4;
    EXPECT_LE(at + 4 * count, bytes.size());
    if (at + 4 * count > bytes.size()) return n;
    for (std::uint32_t i = 0; i < count; ++i) number->push_back(Word(bytes, at + 4 * i));
    at += 4 * count;
  }
  EXPECT_EQ(at, bytes.size());
  std::uint32_t integrity = 0;
  nc::frame::UpdateIntegrityValue(&integrity, n.a.data(), 4 * n.a.size());
  nc::frame::UpdateIntegrityValue(&integrity, n.p.data(), 4 * n.p.size());
  EXPECT_EQ(integrity, h.integrityValue);
  return n;
}

unsigned Bits(const std::vector<std::uint32_t>& words) {
  for (std::size_t i = words.size(); i-- > 0;)
    if (words[i] != 0) return static_cast<unsigned>(32 * i + 32 - __builtin_clz(words[i]));
  return 0;
}

bool IsProbablePrime(const std::vector<std::uint32_t>& words) {
  std::vector<unsigned char> bigEndian;
  for (std::size_t i = words.size(); i-- > 0;)
    for (int b = 3; b >= 0; --b)
      bigEndian.push_back(static_cast<unsigned char>(words[i] >> (8 * b)));
#ifdef NCCORE_HAVE_OPENSSL
  BIGNUM* n = BN_bin2bn(bigEndian.data(), static_cast<int>(bigEndian.size()), nullptr);
  bool prime = BN_check_prime(n, nullptr, nullptr) == 1;
  BN_free(n);
  return prime;
#else
  gcry_mpi_t n = nullptr;
  gcry_mpi_scan(&n, GCRYMPI_FMT_USG, bigEndian.data(), bigEndian.size(), nullptr);
  bool prime = gcry_prime_check(n, 0) == 0;
  gcry_mpi_release(n);
  return prime;
#endif
}

std::string RunDiap(const std::string& options, int* code) {
  return nc::test::CallOperation(ZqDIAP, options, code);
}

TEST(RandomLengthNumber, WordCountAndTopFollowTheDrawnLength) {
  struct Case {
    std::uint32_t bits;
    std::uint32_t words;
  } cases[] = {{9, 1}, {31, 1}, {32, 1}, {33, 2}, {64, 2}, {65, 3}, {2048, 64}};
  for (const Case& c : cases) {
    for (int round = 0; round < 20; ++round) {
      nc::dh::Number x{};
      nc::dh::RandomLengthNumber(x, c.bits, c.bits);
      ASSERT_EQ(x.count, c.words) << c.bits;
      EXPECT_LE(Bits(std::vector<std::uint32_t>(x.words, x.words + x.count)), c.bits);
      if (c.bits == 33) {
        EXPECT_LT(x.words[1], 2u);
      }
    }
  }
}

TEST(RandomLengthNumber, LengthsCoverTheRange) {
  std::vector<bool> seen(8, false);
  for (int round = 0; round < 400; ++round) {
    std::uint32_t bits = nc::dh::RandomBitLength(100, 107);
    ASSERT_GE(bits, 100u);
    ASSERT_LE(bits, 107u);
    seen[bits - 100] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
}

TEST(ZqDiap, DefaultsWriteTheDefaultFileWithAPrimeModulus) {
  TempFolder folder;
  int code = -1;
  std::string text = nc::test::CallOperationIn(folder.path(), ZqDIAP, "", &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, Native("ZQDIAP00: Операция выполнена успешно"));
  // Joined by hand: the name's bytes must reach the library unconverted.
  Numbers n = ReadApFile(folder.path().string() + "/" + Native("Числа AP.AP"));
  EXPECT_GE(n.a.size(), 4u);
  EXPECT_LE(n.a.size(), 8u);
  EXPECT_LE(Bits(n.a), 256u);
  EXPECT_GE(Bits(n.p), 256u);
  EXPECT_LE(Bits(n.p), 512u);
  EXPECT_EQ(n.p.size(), (Bits(n.p) + 31) / 32);
  EXPECT_TRUE(IsProbablePrime(n.p));
}

TEST(ZqDiap, RangesGiveNumbersOfThoseLengths) {
  TempFolder folder;
  struct Case {
    const char* options;
    unsigned aWords, pBits;
  } cases[] = {
      {"/A:9-9 /P:9-9", 1, 9},
      {"/A:32-32 /P:33-33", 1, 33},
      {"/P:2048-2048 /A:64-64", 2, 2048},
      {"/a:33-33 /p:16-16", 2, 16},
      // The scan resumes after the next blank, so "/p:16-16" is swallowed
      // here and P keeps its default range.
      {"/A:40-40/p:16-16", 2, 0},
  };
  for (const Case& c : cases) {
    std::string name = folder / "ap.ap";
    int code = -1;
    RunDiap("\"" + name + "\" /Y " + c.options, &code);
    ASSERT_EQ(code, 0) << c.options;
    Numbers n = ReadApFile(name);
    EXPECT_EQ(n.a.size(), c.aWords) << c.options;
    if (c.pBits != 0) {
      EXPECT_EQ(Bits(n.p), c.pBits) << c.options;
    } else {
      EXPECT_GE(Bits(n.p), 256u) << c.options;
      EXPECT_LE(Bits(n.p), 512u) << c.options;
    }
    EXPECT_TRUE(IsProbablePrime(n.p)) << c.options;
  }
}

TEST(ZqDiap, BadCommandsGive01AndWriteNothing) {
  TempFolder folder;
  std::string name = "\"" + (folder / "ap.ap") + "\"";
  for (const std::string options :
       {"/P:8-100", "/P:100-99", "/P:9-2049", "/A:8-9", "/A:9", "/A:x-9", "/A:-9-9",
        "/P:", "/A:9-9x" /* ends at the next blank: 'x' is ignored */, "\"a.ap\" \"b.ap\""}) {
    int code = -1;
    std::string text = RunDiap(name + " /Y " + options, &code);
    if (options == "/A:9-9x") {
      EXPECT_EQ(code, 0) << options;
      continue;
    }
    EXPECT_EQ(code, 1) << options;
    EXPECT_EQ(text, Native("ZQDIAP01: Неправильный формат команды")) << options;
  }
  std::filesystem::remove(folder / "ap.ap");
  EXPECT_TRUE(folder.Names().empty());
}

TEST(ZqDiap, ExistingFileIsKeptWithoutOverwriteFlag) {
  TempFolder folder;
  std::string name = folder / "ap.ap";
  nc::test::WriteFileText(name, "keep");
  int code = -1;
  std::string text = RunDiap("\"" + name + "\" /NOLOGO", &code);
  EXPECT_EQ(code, 11);
  EXPECT_EQ(text, Native("ZQDIAP11: Файл уже существует: ") + name);
  EXPECT_EQ(nc::test::ReadFileText(name), "keep");
}

TEST(ZqDiap, UncreatableFileGives03) {
  TempFolder folder;
  std::string name = (folder.path() / "missing" / "ap.ap").string();
  int code = -1;
  std::string text = RunDiap("\"" + name + "\"", &code);
  EXPECT_EQ(code, 3);
  EXPECT_EQ(text, Native("ZQDIAP03: Ошибка записи в файл: ") + name);
}

TEST(ZqDiap, TwoRunsGiveDifferentNumbers) {
  TempFolder folder;
  std::string first = folder / "1.ap", second = folder / "2.ap";
  int code = -1;
  RunDiap("\"" + first + "\"", &code);
  ASSERT_EQ(code, 0);
  RunDiap("\"" + second + "\"", &code);
  ASSERT_EQ(code, 0);
  EXPECT_NE(nc::test::ReadFileBytes(first), nc::test::ReadFileBytes(second));
}

}  // namespace
