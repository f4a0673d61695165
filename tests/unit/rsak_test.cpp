// ZqRSAK: the options and the ranges they give, the two key files (layout,
// integrity values, and the numbers checked with libgcrypt's arithmetic:
// m^(E D) = m mod N, and a round trip through RSAEncrypt/RSADecrypt with
// the files' numbers), a protected secret key deciphered with libgcrypt's
// DES, the progress lines, cancelling, and existing outputs.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "des_reference.h"
#include "des_test_support.h"
#include "frame/data_file.h"
#include "frame_test_support.h"
#include "mpi_test_support.h"
#include "nccore21.h"
#include "platform/ui.h"
#include "protect/key_material.h"
#include "protect_test_support.h"
#include "testsupport/ui/scripted_ui.h"
#include "zq/rsa.h"

namespace nc::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::GeneratorField;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

const std::string kOk = "ZQRSAK00: Операция выполнена успешно";
const std::string kBadCommand = "ZQRSAK01: Неправильный формат команды";
const std::string kCancelled = "ZQRSAK10: Пользователь прервал работу";
const std::string kExists = "ZQRSAK11: Файл уже существует: ";

// A WordBlock of a file at `offset`: its count and its words' bytes.
struct FileBlock {
  std::uint32_t count = 0;
  Bytes words;
  std::size_t end = 0;
};
FileBlock BlockAt(const Bytes& file, std::size_t offset) {
  FileBlock block;
  if (offset + 4 > file.size()) {
    ADD_FAILURE() << "no block at " << offset << " in " << file.size() << " bytes";
    return block;
  }
  block.count = Le32(&file[offset]);
  block.end = offset + 4 + 4 * std::uint64_t{block.count};
  if (block.end > file.size()) {
    ADD_FAILURE() << "a block of " << block.count << " words past the end";
    return block;
  }
  block.words.assign(file.begin() + static_cast<std::ptrdiff_t>(offset + 4),
                     file.begin() + static_cast<std::ptrdiff_t>(block.end));
  return block;
}

std::uint32_t IntegrityOf(const Bytes& first, const Bytes& second) {
  std::uint32_t value = 0;
  frame::UpdateIntegrityValue(&value, first.data(), first.size());
  frame::UpdateIntegrityValue(&value, second.data(), second.size());
  return value;
}

// The minimal number of words for a number of `bits` bits.
std::uint32_t WordsFor(unsigned bits) { return (bits + 31) / 32; }

// ---- the key files ---------------------------------------------------------------------
struct KeyPair {
  frame::DataFileHeader secretHeader, publicHeader;
  FileBlock n, e;        // the secret file's
  FileBlock publicN, d;  // the public file's
};

// Both files' header fields and framing: N, then E (secret) or D (public),
// each with its minimal count, nothing after them, the same N in both.
KeyPair ReadPair(const std::string& secretName, const std::string& publicName,
                 std::uint32_t protection = 0) {
  KeyPair pair;
  const Bytes secret = ReadLibraryFile(secretName), open = ReadLibraryFile(publicName);
  if (secret.size() < 56 || open.size() < 56) {
    ADD_FAILURE() << "key files of " << secret.size() << " and " << open.size() << " bytes";
    return pair;
  }
  pair.secretHeader = HeaderOf(secret);
  pair.publicHeader = HeaderOf(open);
  ExpectDataFileHeader(pair.secretHeader, frame::kFileKey, frame::kAlgRsa, frame::kKeySecretHalf);
  ExpectDataFileHeader(pair.publicHeader, frame::kFileKey, frame::kAlgRsa, frame::kKeyPublicHalf);
  EXPECT_EQ(pair.secretHeader.protectionCode, protection);
  EXPECT_EQ(pair.publicHeader.protectionCode, 0u);
  EXPECT_EQ(pair.secretHeader.dataLength, 0u);
  EXPECT_EQ(pair.publicHeader.dataLength, 0u);
  EXPECT_EQ(pair.publicHeader.tokenChallenge, 0u);
  pair.n = BlockAt(secret, 48);
  pair.e = BlockAt(secret, pair.n.end);
  pair.publicN = BlockAt(open, 48);
  pair.d = BlockAt(open, pair.publicN.end);
  EXPECT_EQ(pair.e.end, secret.size());
  EXPECT_EQ(pair.d.end, open.size());
  EXPECT_EQ(pair.publicN.words, pair.n.words);
  EXPECT_EQ(pair.n.count, WordsFor(Mpi(pair.n.words).Bits()));
  EXPECT_EQ(pair.d.count, WordsFor(Mpi(pair.d.words).Bits()));
  EXPECT_EQ(pair.publicHeader.integrityValue, IntegrityOf(pair.n.words, pair.d.words));
  if (protection == 0) {
    EXPECT_EQ(pair.e.count, WordsFor(Mpi(pair.e.words).Bits()));
    EXPECT_EQ(pair.secretHeader.integrityValue, IntegrityOf(pair.n.words, pair.e.words));
  }
  return pair;
}

// N of nLo..nHi bits; E of eLo..eHi bits, at least half of N's length and
// below N; D not 1, not E, below N; m^(E D) = m (mod N) for a few m; and
// RSAEncrypt then RSADecrypt with the numbers restore a message.
void ExpectKeyNumbers(const Bytes& nWords, const Bytes& eWords, const Bytes& dWords, unsigned nLo,
                      unsigned nHi, unsigned eLo, unsigned eHi) {
  nc::zq::EnsureGcrypt();
  const Mpi n(nWords), e(eWords), d(dWords);
  const unsigned bits = n.Bits();
  EXPECT_GE(bits, nLo);
  EXPECT_LE(bits, nHi);
  EXPECT_GE(e.Bits(), eLo);
  EXPECT_LE(e.Bits(), eHi);
  EXPECT_GE(e.Bits(), (bits + 1) / 2) << "E shorter than half of N";
  EXPECT_LT(gcry_mpi_cmp(e.get(), n.get()), 0);
  EXPECT_LT(gcry_mpi_cmp(d.get(), n.get()), 0);
  EXPECT_GT(gcry_mpi_cmp_ui(d.get(), 1), 0);
  EXPECT_NE(gcry_mpi_cmp(d.get(), e.get()), 0);
  EXPECT_EQ(gcry_mpi_get_nbits(n.get()) > 0 && gcry_mpi_test_bit(n.get(), 0), 1) << "N is even";
  for (unsigned long m : {2ul, 3ul, 65537ul, 123456789ul}) {
    const Mpi message(m), reduced, cipher, back;
    gcry_mpi_mod(reduced.get(), message.get(), n.get());
    gcry_mpi_powm(cipher.get(), reduced.get(), e.get(), n.get());
    gcry_mpi_powm(back.get(), cipher.get(), d.get(), n.get());
    EXPECT_EQ(gcry_mpi_cmp(back.get(), reduced.get()), 0) << "m^(E D) is not m for m = " << m;
  }

  RSAContext context{};
  context.size = sizeof context;
  auto load = [](RSANumber& number, const Bytes& words) {
    ASSERT_LE(words.size(), sizeof number.words);
    number.count = static_cast<std::uint32_t>(words.size() / 4);
    std::memcpy(number.words, words.data(), words.size());
  };
  load(context.n, nWords);
  load(context.e, eWords);
  load(context.d, dWords);
  const std::uint32_t in = RSAEncBlk(&context), out = RSADecBlk(&context);
  ASSERT_EQ(in, (bits - 1) / 8);
  ASSERT_EQ(out, (bits + 7) / 8);
  Bytes message(3 * in - 1);
  for (std::size_t i = 0; i < message.size(); ++i)
    message[i] = static_cast<std::uint8_t>(i * 37 + 1);
  Bytes cipher(3 * out), back(3 * in);
  ASSERT_EQ(RSAEncrypt(&context, cipher.data(), message.data(),
                       static_cast<std::uint32_t>(message.size())),
            cipher.size());
  ASSERT_EQ(
      RSADecrypt(&context, back.data(), cipher.data(), static_cast<std::uint32_t>(cipher.size())),
      back.size());
  EXPECT_EQ(Bytes(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(message.size())),
            message);
  EXPECT_EQ(back.back(), 0);  // the last block's zero fill
}

// The DES-CBC the key material uses, by libgcrypt: whole blocks as usual;
// a 1..7-byte tail XORed with E(last whole ciphertext block, or the vector).
Bytes DecipherKeyMaterial(const des_ref::Block& key, const Bytes& data) {
  const des_ref::Block iv = {'M', 'X', 'R', 'Q', 'T', 'B', 0, 0};
  const std::size_t whole = data.size() / 8 * 8;
  Bytes plain =
      des_ref::Run(GCRY_CIPHER_MODE_CBC, false, key, iv,
                   Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(whole)));
  des_ref::Block last = iv;
  if (whole != 0)
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(whole - 8),
              data.begin() + static_cast<std::ptrdiff_t>(whole), last.begin());
  const des_ref::Block stream = des_ref::Encipher(key, last);
  for (std::size_t i = whole; i < data.size(); ++i)
    plain.push_back(static_cast<std::uint8_t>(data[i] ^ stream[i - whole]));
  return plain;
}

// "длина в битах B, попытка A" -> B, A; false for another text.
bool ParseLine(const std::string& text, unsigned* bits, unsigned* attempt) {
  const std::string head = Native("длина в битах "), middle = Native(", попытка ");
  if (text.rfind(head, 0) != 0) return false;
  const std::size_t comma = text.find(middle);
  if (comma == std::string::npos) return false;
  std::size_t used = 0;
  const std::string first = text.substr(head.size(), comma - head.size());
  const std::string second = text.substr(comma + middle.size());
  if (first.empty() || second.empty()) return false;
  *bits = static_cast<unsigned>(std::stoul(first, &used));
  if (used != first.size()) return false;
  *attempt = static_cast<unsigned>(std::stoul(second, &used));
  return used == second.size();
}

class RsakTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }

  std::string Rsak(const std::string& extra, int* code, void* parent = nullptr) {
    return CallOperation(
        ZqRSAK, "/SECRET:" + Quoted(secretSpec_) + " /PUBLIC:" + Quoted(public_) + " " + extra,
        code, parent);
  }
  // The generator's field events, in order, as (field, text).
  std::vector<std::pair<GeneratorField, std::string>> Fields() const {
    std::vector<std::pair<GeneratorField, std::string>> fields;
    for (const Event& e : ui_.progress)
      if (e.kind == Event::Field) fields.emplace_back(static_cast<GeneratorField>(e.id), e.text);
    return fields;
  }
  void AnswerPassword(const char* password) {
    using Action = ScriptedUi::CarrierAction;
    ui_.carrierScript = [password](const ScriptedUi::CarrierEvent& e) {
      if (e.kind != ScriptedUi::CarrierEvent::Open) return Action{};
      return Action{true, password, platform::kCarrierOk};
    };
  }

  ScriptedUi ui_;
  TempFolder folder_;
  const std::string secret_ = folder_ / "k.rsk";
  std::string secretSpec_ = secret_;
  const std::string public_ = folder_ / "k.rpk";
};

// ============================================================================
// Options
// ============================================================================

// Accepted ranges make a pair in them (small moduli, so each run is quick);
// refused ones write nothing and open no window.
TEST_F(RsakTest, RangesAcceptedAndRefused) {
  struct Case {
    const char* options;
    int code;
    unsigned nLo = 0, nHi = 0, eLo = 0, eHi = 0;  // the pair's ranges when accepted
  } cases[] = {
      {"/N:18-18", 0, 18, 18, 17, 18},  // default E 256-258 cut to 17
      {"/N:18-18 /E:9-1024", 0, 18, 18, 9, 18},
      {"/n:40-44 /e:22-30", 0, 40, 44, 22, 30},
      // E's range must reach half of the longest N and stay below the shortest.
      {"/N:100-100 /E:50-50", 0, 100, 100, 50, 50},
      {"/N:100-100 /E:99-99", 0, 100, 100, 99, 99},
      {"/N:100-101 /E:51-51", 0, 100, 101, 51, 51},
      {"/N:100-100 /E:49-49", 1},
      {"/N:100-101 /E:40-50", 1},
      {"/N:100-100 /E:100-120", 1},
      {"/N:512-516 /E:200-257", 1},
      {"/E:200-257", 1},  // the default N of up to 516 bits needs 258
      {"/N:17-20", 1},
      {"/N:20-19", 1},
      {"/N:18-2049", 1},
      {"/N:512", 1},
      {"/N:", 1},
      {"/N:x-20", 1},
      {"/E:8-10", 1},
      {"/E:1-1025", 1},
      {"/E:300-299", 1},
      {"stray.name", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    ui_.progress.clear();
    int code = -1;
    const std::string text = Rsak(std::string(c.options) + " /Y", &code);
    EXPECT_EQ(code, c.code) << text;
    if (c.code == 0) {
      const KeyPair pair = ReadPair(secret_, public_);
      ExpectKeyNumbers(pair.n.words, pair.e.words, pair.d.words, c.nLo, c.nHi, c.eLo, c.eHi);
    } else {
      EXPECT_EQ(text, Native(kBadCommand));
      EXPECT_TRUE(ui_.progress.empty());
      EXPECT_TRUE(folder_.Names().empty());
    }
    std::filesystem::remove(secret_);
    std::filesystem::remove(public_);
  }
}

TEST_F(RsakTest, DefaultsNamesAndLengths) {
  int code = -1;
  EXPECT_EQ(CallOperationIn(folder_.path(), ZqRSAK, "/NOLOGO", &code), Native(kOk));
  // Joined by hand: the names' bytes reach the library unconverted.
  const std::string secret = folder_.path().string() + "/" + Native("Секретный ключ RSA.RSK");
  const std::string open = folder_.path().string() + "/" + Native("Публичный ключ RSA.RPK");
  const KeyPair pair = ReadPair(secret, open);
  ExpectKeyNumbers(pair.n.words, pair.e.words, pair.d.words, 512, 516, 256, 258);
  EXPECT_EQ(folder_.Names().size(), 2u);  // no temporary left
  EXPECT_TRUE(ui_.progress.empty());      // /NOLOGO: no window
}

// The prime bounds are half the modulus bounds: 513-515 gives P of 256..257
// bits, as P's lines show, but for a 515-bit N (odd), which takes a P of
// ceil(515 / 2) = 258 bits. Q's lines show candidates that make N's length
// with that P (258 bits are possible for a 514-bit N).
TEST_F(RsakTest, PrimeLengthsFollowTheModulusRange) {
  int code = -1;
  ASSERT_EQ(Rsak("/N:513-515", &code), Native(kOk));
  const KeyPair pair = ReadPair(secret_, public_);
  ExpectKeyNumbers(pair.n.words, pair.e.words, pair.d.words, 513, 515, 257, 258);
  const unsigned nBits = Mpi(pair.n.words).Bits();
  unsigned pBits = 0, seenP = 0, seenQ = 0;
  for (const auto& [field, text] : Fields()) {
    unsigned bits = 0, attempt = 0;
    if (field == GeneratorField::ExponentE || !ParseLine(text, &bits, &attempt)) continue;
    if (field == GeneratorField::PrimeP) {
      ++seenP;
      pBits = bits;
      EXPECT_TRUE((bits >= 256 && bits <= 257) || (bits == 258 && nBits == 515)) << text;
    } else {
      ++seenQ;
      EXPECT_TRUE(pBits + bits == nBits || pBits + bits == nBits + 1) << pBits << " " << text;
    }
  }
  EXPECT_GT(seenP, 0u);
  EXPECT_GT(seenQ, 0u);
}

TEST_F(RsakTest, OneFileForBothHalvesIsRefused) {
  int code = -1;
  const std::string dotted = (folder_ / ".") + "/k.rsk";
  EXPECT_EQ(CallOperation(
                ZqRSAK, "/SECRET:" + Quoted(secret_) + " /PUBLIC:" + Quoted(dotted) + " /Y", &code),
            Native(kBadCommand));
  secretSpec_ = "PWD:" + public_;
  EXPECT_EQ(Rsak("/Y", &code), Native(kBadCommand));
  EXPECT_TRUE(folder_.Names().empty());
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_TRUE(ui_.CarrierEvents().empty());
}

// ============================================================================
// Protection
// ============================================================================

TEST_F(RsakTest, AProtectedSecretKeyHasEEncipheredAndNInTheClear) {
  AnswerPassword("secret");
  secretSpec_ = "PWD:" + secret_;
  int code = -1;
  ASSERT_EQ(Rsak("/N:128-128", &code), Native(kOk));
  const KeyPair pair = ReadPair(secret_, public_, 1);
  const Bytes e = DecipherKeyMaterial(PasswordKeyOf("secret"), pair.e.words);
  EXPECT_NE(e, pair.e.words);
  EXPECT_EQ(pair.e.count, WordsFor(Mpi(e).Bits()));
  EXPECT_EQ(pair.secretHeader.integrityValue, IntegrityOf(pair.n.words, e));
  EXPECT_NE(pair.secretHeader.integrityValue, IntegrityOf(pair.n.words, pair.e.words));
  ExpectKeyNumbers(pair.n.words, e, pair.d.words, 128, 128, 127, 128);

  // The library's own opening agrees, with the password asked again.
  RSANumber n{}, opened{};
  n.count = pair.n.count;
  std::memcpy(n.words, pair.n.words.data(), pair.n.words.size());
  opened.count = pair.e.count;
  std::memcpy(opened.words, pair.e.words.data(), pair.e.words.size());
  ASSERT_TRUE(protect::OpenKeyMaterial(
      nullptr, pair.secretHeader, false, protect::KeyMaterialKind::RsaSecret,
      reinterpret_cast<WordBlock*>(&n), reinterpret_cast<WordBlock*>(&opened)));
  EXPECT_EQ(Bytes(reinterpret_cast<const std::uint8_t*>(opened.words),
                  reinterpret_cast<const std::uint8_t*>(opened.words) + e.size()),
            e);

  // Two keys from one password: their challenges differ.
  const std::string firstSecret = folder_ / "first.rsk";
  std::filesystem::rename(secret_, firstSecret);
  ASSERT_EQ(Rsak("/N:128-128 /Y", &code), Native(kOk));
  EXPECT_NE(HeaderOf(ReadFileBytes(firstSecret)).tokenChallenge,
            HeaderOf(ReadFileBytes(secret_)).tokenChallenge);
}

TEST_F(RsakTest, NoPasswordMeansNoFiles) {
  secretSpec_ = "PWD:" + secret_;
  int code = -1;
  // No user to ask.
  Rsak("/N:64-64 /NOLOGO", &code);
  EXPECT_EQ(code, 25);
  // The dialog cancelled.
  ui_.carrierScript = [](const ScriptedUi::CarrierEvent& e) {
    if (e.kind != ScriptedUi::CarrierEvent::Open) return ScriptedUi::CarrierAction{};
    return ScriptedUi::CarrierAction{false, "", platform::kCarrierCancel};
  };
  Rsak("/N:64-64", &code);
  EXPECT_EQ(code, 25);
  EXPECT_TRUE(folder_.Names().empty());
}

// ============================================================================
// The window
// ============================================================================

// P's lines, then P's last line with " ... OK" as Q starts, Q's lines, Q's
// last with " ... OK" as E starts, E's lines without it. The lengths shown
// add up to N's; E's last line shows the stored E's length.
TEST_F(RsakTest, ProgressLinesCloseWhenTheNextNumberStarts) {
  int parent = 0;
  int code = -1;
  ASSERT_EQ(Rsak("/N:256-256", &code, &parent), Native(kOk));
  ASSERT_GE(ui_.progress.size(), 2u);
  EXPECT_EQ(ui_.progress.front().kind, Event::GeneratorOpen);
  EXPECT_EQ(ui_.progress.front().parent, &parent);
  EXPECT_EQ(ui_.progress.back().kind, Event::GeneratorClose);

  const auto fields = Fields();
  const std::string ok = " ... OK";
  enum Stage { kP, kQ, kE } stage = kP;
  std::string last;
  unsigned pBits = 0, qBits = 0, eBits = 0, closedP = 0, closedQ = 0;
  for (const auto& [field, text] : fields) {
    SCOPED_TRACE(text);
    unsigned bits = 0, attempt = 0;
    const bool closing = text.size() > ok.size() && text.ends_with(ok);
    if (closing) {
      // Only the line just left is closed, with its last text.
      EXPECT_EQ(text, last + ok);
      if (stage == kP) {
        EXPECT_EQ(field, GeneratorField::PrimeP);
        ++closedP;
        stage = kQ;
      } else {
        EXPECT_EQ(stage, kQ);
        EXPECT_EQ(field, GeneratorField::PrimeQ);
        ++closedQ;
        stage = kE;
      }
      last.clear();
      continue;
    }
    ASSERT_TRUE(ParseLine(text, &bits, &attempt));
    EXPECT_GE(attempt, 1u);
    const GeneratorField expected = stage == kP   ? GeneratorField::PrimeP
                                    : stage == kQ ? GeneratorField::PrimeQ
                                                  : GeneratorField::ExponentE;
    EXPECT_EQ(field, expected);
    (stage == kP ? pBits : stage == kQ ? qBits : eBits) = bits;
    last = text;
  }
  EXPECT_EQ(closedP, 1u);
  EXPECT_EQ(closedQ, 1u);
  EXPECT_EQ(stage, kE);
  EXPECT_FALSE(last.empty()) << "no E line";

  const KeyPair pair = ReadPair(secret_, public_);
  const unsigned nBits = Mpi(pair.n.words).Bits();
  EXPECT_EQ(nBits, 256u);
  EXPECT_TRUE(pBits + qBits == nBits || pBits + qBits == nBits + 1) << pBits << "+" << qBits;
  EXPECT_EQ(eBits, Mpi(pair.e.words).Bits());
}

TEST_F(RsakTest, CancelWritesNothingAndKeepsOldFiles) {
  struct Case {
    const char* what;
    GeneratorField field;
  } cases[] = {
      {"at P's first line", GeneratorField::PrimeP},
      {"at Q's first line", GeneratorField::PrimeQ},
      {"at E's first line", GeneratorField::ExponentE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui_.progress.clear();
    const int id = static_cast<int>(c.field);
    ui_.cancelWhen = [id](const Event& e) { return e.kind == Event::Field && e.id == id; };
    int code = -1;
    EXPECT_EQ(Rsak("/N:512-512", &code), Native(kCancelled));
    EXPECT_TRUE(folder_.Names().empty());
    EXPECT_EQ(ui_.progress.back().kind, Event::GeneratorClose);
  }
  WriteFileText(secret_, "old secret");
  WriteFileText(public_, "old public");
  ui_.cancelWhen = [](const Event& e) { return e.kind == Event::Field; };
  int code = -1;
  EXPECT_EQ(Rsak("/Y", &code), Native(kCancelled));
  EXPECT_EQ(ReadFileText(secret_), "old secret");
  EXPECT_EQ(ReadFileText(public_), "old public");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"k.rpk", "k.rsk"}));
}

// ============================================================================
// Existing outputs
// ============================================================================

// Questions in order, the secret key's first; a refusal names its file and
// writes nothing; /NOLOGO refuses without asking.
TEST_F(RsakTest, ExistingFilesAreAskedAboutSecretFirst) {
  struct Case {
    const char* what;
    bool secretExists, publicExists;
    std::vector<bool> answers;
    const char* options;
    int code;
    std::size_t questions;
    bool namesSecret;  // for 11: which file the text names
  } cases[] = {
      {"secret refused", true, true, {false}, "/N:64-64", 11, 1, true},
      {"secret allowed, public refused", true, true, {true, false}, "/N:64-64", 11, 2, false},
      {"only the public exists, refused", false, true, {false}, "/N:64-64", 11, 1, false},
      {"quiet, both exist", true, true, {}, "/N:64-64 /NOLOGO", 11, 0, true},
      {"quiet, only the public exists", false, true, {}, "/N:64-64 /NOLOGO", 11, 0, false},
      {"both allowed", true, true, {true, true}, "/N:64-64", 0, 2, false},
      {"/Y asks nothing", true, true, {}, "/N:64-64 /Y", 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(secret_);
    std::filesystem::remove(public_);
    if (c.secretExists) WriteFileText(secret_, "old secret");
    if (c.publicExists) WriteFileText(public_, "old public");
    ui_.shown.clear();
    ui_.answers = c.answers;
    int code = -1;
    const std::string text = Rsak(c.options, &code);
    EXPECT_EQ(code, c.code) << text;
    ASSERT_EQ(ui_.shown.size(), c.questions);
    for (const auto& shown : ui_.shown)
      EXPECT_EQ(shown.caption, Native("Генератор пар ключей RSA"));
    if (c.questions > 0) {
      EXPECT_NE(ui_.shown[0].text.find(c.secretExists ? secret_ : public_), std::string::npos);
    }
    if (c.questions > 1) {
      EXPECT_NE(ui_.shown[1].text.find(public_), std::string::npos);
    }
    if (c.code == 11) {
      EXPECT_EQ(text, Native(kExists) + (c.namesSecret ? secret_ : public_));
      if (c.secretExists) {
        EXPECT_EQ(ReadFileText(secret_), "old secret");
      }
      EXPECT_EQ(c.secretExists, std::filesystem::exists(secret_));
      EXPECT_EQ(ReadFileText(public_), "old public");
      EXPECT_EQ(folder_.Names().size(), c.secretExists ? 2u : 1u);
    } else {
      const KeyPair pair = ReadPair(secret_, public_);
      ExpectKeyNumbers(pair.n.words, pair.e.words, pair.d.words, 64, 64, 63, 64);
      EXPECT_EQ(folder_.Names().size(), 2u);
    }
  }
}

}  // namespace
}  // namespace nc::test
