// ZqDIK and ZqDIF: the session key files (layout, integrity values, X
// deciphered with libgcrypt's DES under the password's key), Y = A^X mod P
// and the agreement Y1^X2 = Y2^X1 (mod P) checked with libgcrypt's
// arithmetic, the DES key taken from K (libgcrypt's and OpenSSL's DES-CBC and
// ZqDESF under a key file of that key give the same ciphertext), the refusal
// of degenerate and damaged numbers with the name of the file at fault, and
// cancel.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "des_reference.h"
#include "des_test_support.h"
#include "dh/session_numbers.h"
#include "frame/data_file.h"
#include "frame_test_support.h"
#include "mpi_test_support.h"
#include "nccore21.h"
#include "protect_test_support.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint32_t>;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

const std::string kDikOk = "ZQDIK00: Операция выполнена успешно";
const std::string kDifOk = "ZQDIF00: Операция выполнена успешно";

// ---- numbers ----------------------------------------------------------------------------
Bytes BytesOf(const Words& words) {
  Bytes bytes;
  for (std::uint32_t w : words)
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<std::uint8_t>(w >> (8 * b)));
  return bytes;
}

Words WordsOf(const Bytes& bytes) {
  Words words(bytes.size() / 4);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = Le32(&bytes[4 * i]);
  return words;
}

// b^x mod p by libgcrypt.
Words PowMod(const Words& b, const Words& x, const Words& p, std::size_t atLeast = 0) {
  Mpi r, mb(BytesOf(b)), mx(BytesOf(x)), mp(BytesOf(p));
  gcry_mpi_powm(r.get(), mb.get(), mx.get(), mp.get());
  Bytes bytes = r.LittleEndian(4 * atLeast);
  bytes.resize((bytes.size() + 3) / 4 * 4, 0);
  return WordsOf(bytes);
}

// ---- the files --------------------------------------------------------------------------

// A Diffie-Hellman key file made by hand: the header (`protection` its
// code), then the numbers' blocks, with the integrity value over their words.
Bytes NumbersFile(std::uint16_t keyKind, const std::vector<Words>& numbers,
                  std::uint32_t protection = 0) {
  frame::DataFileHeader header = frame::NewHeader(frame::kFileKey, frame::kAlgDh, keyKind);
  header.protectionCode = protection;
  Bytes bytes(frame::kHeaderSize);
  for (const Words& n : numbers) {
    frame::UpdateIntegrityValue(&header.integrityValue, n.data(), 4 * n.size());
    const Bytes block = BytesOf(n);
    const Bytes count = BytesOf({static_cast<std::uint32_t>(n.size())});
    bytes.insert(bytes.end(), count.begin(), count.end());
    bytes.insert(bytes.end(), block.begin(), block.end());
  }
  frame::EncodeHeader(header, bytes.data());
  return bytes;
}

// One number file as read back: its header and its blocks' words, the
// framing checked (each block within the file, nothing after the last).
struct NumbersRead {
  frame::DataFileHeader header{};
  std::vector<Words> numbers;
};
NumbersRead ReadNumbers(const std::string& path, std::size_t blocks) {
  NumbersRead read;
  const Bytes bytes = ReadLibraryFile(path);
  if (bytes.size() < frame::kHeaderSize) {
    ADD_FAILURE() << path << ": " << bytes.size() << " bytes";
    return read;
  }
  read.header = HeaderOf(bytes);
  std::size_t at = frame::kHeaderSize;
  for (std::size_t i = 0; i < blocks; ++i) {
    if (at + 4 > bytes.size()) break;
    const std::uint32_t count = Le32(&bytes[at]);
    if (at + 4 + 4 * std::size_t{count} > bytes.size()) break;
    read.numbers.push_back(
        WordsOf(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 4 + 4 * count))));
    at += 4 + 4 * std::size_t{count};
  }
  EXPECT_EQ(read.numbers.size(), blocks) << path;
  EXPECT_EQ(at, bytes.size()) << path;
  return read;
}

std::uint32_t IntegrityOf(const std::vector<Words>& numbers) {
  std::uint32_t value = 0;
  for (const Words& n : numbers) frame::UpdateIntegrityValue(&value, n.data(), 4 * n.size());
  return value;
}

// The DH secret key's vector and the key material's CBC (a short tail XORed
// with the enciphered last block), by OpenSSL's and libgcrypt's DES.
Words DecipherX(const Key8& masterKey, const Words& enciphered) {
  const des_ref::Block iv = {'Y', 'Q', 'U', 'O', 'L', 0, 0, 0};
  return WordsOf(des_ref::BlockMode(true, false, masterKey, iv, BytesOf(enciphered)));
}

// `cipher` is DES-CBC of the whole blocks of `plain` under `key` with the
// file jobs' vector "KLBNVRzz", by libgcrypt and, where the build has it,
// by OpenSSL.
void ExpectDesCbc(const Bytes& cipher, const Key8& key, const Bytes& plain) {
  const des_ref::Block iv = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};
  EXPECT_EQ(cipher, des_ref::Run(GCRY_CIPHER_MODE_CBC, true, key, iv, plain));
#ifdef NCCORE_HAVE_OPENSSL
  if (des_ref::OpenSslDes::Get().ok()) {
    EXPECT_EQ(cipher,
              des_ref::OpenSslDes::Get().Run(des_ref::OpenSslDes::kCbc, true, key, iv, plain));
  }
#endif
}

// 2^31 - 1 is prime; A = 7 generates its whole group.
const Words kSmallP = {0x7FFFFFFFu};
const Words kSmallA = {7};

class DhTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }

  std::string Dik(const std::string& options, int* code) {
    return CallOperation(ZqDIK, options, code);
  }
  // A pair for `ap` into `secret` and `public`, which must succeed.
  void MakePair(const std::string& ap, const std::string& secret, const std::string& pub,
                const std::string& more = "/NOLOGO") {
    int code = -1;
    EXPECT_EQ(Dik("/AP:" + Quoted(ap) + " /SECRET:" + Quoted(secret) + " /PUBLIC:" + Quoted(pub) +
                      " " + more,
                  &code),
              Native(kDikOk));
  }
  std::string Dif(const std::string& source, const std::string& destination,
                  const std::string& command, const std::string& secret, const std::string& pub,
                  int* code, const std::string& more = "/NOLOGO") {
    return CallOperation(ZqDIF,
                         Quoted(source) + " " + Quoted(destination) + " " + command +
                             " /AP:" + Quoted(ap_) + " /SECRET:" + Quoted(secret) +
                             " /PUBLIC:" + Quoted(pub) + " " + more,
                         code);
  }
  // A job that must succeed.
  void DifOk(const std::string& source, const std::string& destination, const std::string& command,
             const std::string& secret, const std::string& pub) {
    int code = -1;
    EXPECT_EQ(Dif(source, destination, command, secret, pub, &code), Native(kDifOk));
  }
  // A fresh .AP of `bits`-bit P.
  void MakeCommonNumbers(unsigned bits) {
    int code = -1;
    const std::string range = std::to_string(bits) + "-" + std::to_string(bits);
    EXPECT_EQ(CallOperation(ZqDIAP, Quoted(ap_) + " /P:" + range + " /NOLOGO /Y", &code),
              Native("ZQDIAP00: Операция выполнена успешно"));
  }
  ScriptedUi ui_;
  TempFolder folder_;
  const std::string ap_ = folder_ / "c.ap";
  const std::string secret1_ = folder_ / "1.dsk", public1_ = folder_ / "1.dpk";
  const std::string secret2_ = folder_ / "2.dsk", public2_ = folder_ / "2.dpk";
  const std::string plain_ = folder_ / "plain", cipher_ = folder_ / "cipher";
  const std::string back_ = folder_ / "back";
};

// ============================================================================
// ZqDIK
// ============================================================================

// Both files' layout and integrity values, X of the range's word count, and
// Y = A^X mod P; the challenge is drawn for a clear key too.
TEST_F(DhTest, APairHoldsXAndAToTheX) {
  MakeCommonNumbers(256);
  const NumbersRead ap = ReadNumbers(ap_, 2);
  const struct {
    const char* range;
    std::size_t lo, hi;  // X's word count
  } cases[] = {{"", 4, 8}, {"/X:9-9", 1, 1}, {"/X:33-64", 2, 2}, {"/X:2048-2048", 64, 64}};
  std::uint32_t challenges = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.range);
    MakePair(ap_, secret1_, public1_, std::string(c.range) + " /NOLOGO /Y");
    const NumbersRead secret = ReadNumbers(secret1_, 1), pub = ReadNumbers(public1_, 1);
    ASSERT_EQ(secret.numbers.size(), 1u);
    ASSERT_EQ(pub.numbers.size(), 1u);
    ExpectDataFileHeader(secret.header, frame::kFileKey, frame::kAlgDh, frame::kKeySecretHalf);
    ExpectDataFileHeader(pub.header, frame::kFileKey, frame::kAlgDh, frame::kKeyPublicHalf);
    EXPECT_EQ(secret.header.protectionCode, 0u);
    EXPECT_EQ(pub.header.protectionCode, 0u);
    EXPECT_EQ(pub.header.tokenChallenge, 0u);
    challenges |= secret.header.tokenChallenge;
    const Words& x = secret.numbers[0];
    const Words& y = pub.numbers[0];
    EXPECT_GE(x.size(), c.lo);
    EXPECT_LE(x.size(), c.hi);
    EXPECT_GT(Mpi(BytesOf(x)).Bits(), 1u);
    EXPECT_EQ(secret.header.integrityValue, IntegrityOf({x}));
    EXPECT_EQ(pub.header.integrityValue, IntegrityOf({y}));
    EXPECT_EQ(y, PowMod(ap.numbers[0], x, ap.numbers[1]));
  }
  EXPECT_NE(challenges, 0u);
}

// Two pairs of one .AP agree: Y1^X2 = Y2^X1 (mod P), with a 2048-bit P (64
// words, the most a number holds) and the longest X.
TEST_F(DhTest, TwoPairsAgree) {
  MakeCommonNumbers(2048);
  MakePair(ap_, secret1_, public1_, "/X:2000-2048 /NOLOGO");
  MakePair(ap_, secret2_, public2_, "/X:2000-2048 /NOLOGO");
  const Words p = ReadNumbers(ap_, 2).numbers.at(1);
  const Words x1 = ReadNumbers(secret1_, 1).numbers.at(0),
              y1 = ReadNumbers(public1_, 1).numbers.at(0);
  const Words x2 = ReadNumbers(secret2_, 1).numbers.at(0),
              y2 = ReadNumbers(public2_, 1).numbers.at(0);
  EXPECT_EQ(p.size(), 64u);
  EXPECT_NE(x1, x2);
  EXPECT_EQ(PowMod(y1, x2, p), PowMod(y2, x1, p));
}

// A protected X: enciphered under the password's key with the vector
// "YQUOL" (an odd word count has a short last block), the integrity value
// over the plaintext; Y is A^X of the deciphered X.
TEST_F(DhTest, AProtectedSecretKeyHoldsXEnciphered) {
  MakeCommonNumbers(128);
  ui_.carrierScript = platform::TypePassword("secret");
  const NumbersRead ap = ReadNumbers(ap_, 2);
  for (const char* range : {"/X:96-96", "/X:128-128"}) {
    SCOPED_TRACE(range);
    MakePair(ap_, "PWD:" + secret1_, public1_, std::string(range) + " /Y");
    const NumbersRead secret = ReadNumbers(secret1_, 1);
    EXPECT_EQ(secret.header.protectionCode, 1u);
    const Words x = DecipherX(PasswordKeyOf("secret"), secret.numbers.at(0));
    EXPECT_NE(x, secret.numbers.at(0));
    EXPECT_EQ(secret.header.integrityValue, IntegrityOf({x}));
    EXPECT_EQ(ReadNumbers(public1_, 1).numbers.at(0), PowMod(ap.numbers[0], x, ap.numbers[1]));
  }
  // No password to be had: 25 and no files.
  std::filesystem::remove(secret1_);
  std::filesystem::remove(public1_);
  int code = -1;
  Dik("/AP:" + Quoted(ap_) + " /SECRET:" + Quoted("PWD:" + secret1_) +
          " /PUBLIC:" + Quoted(public1_) + " /NOLOGO",
      &code);
  EXPECT_EQ(code, 25);
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"c.ap"});
}

// An even P (files made before P was prime) and an odd composite one both
// give Y = A^X mod P, by libgcrypt and by the constant-time routine.
TEST_F(DhTest, AnyModulusGivesAToTheX) {
  const std::vector<Words> moduli = {
      {0x00000000u, 0x80000001u},               // even
      {0x12345679u, 0x9ABCDEF0u, 0x00000003u},  // odd, composite
      {0xFFFFFFFFu, 0x00000000u},               // a leading zero word
  };
  for (const Words& p : moduli) {
    WriteFileBytes(ap_, NumbersFile(frame::kKeyCommonNumbers, {{0x1234567u, 5}, p}));
    MakePair(ap_, secret1_, public1_, "/X:64-64 /NOLOGO /Y");
    const Words x = ReadNumbers(secret1_, 1).numbers.at(0);
    EXPECT_EQ(ReadNumbers(public1_, 1).numbers.at(0), PowMod({0x1234567u, 5}, x, p));
  }
}

TEST_F(DhTest, OptionsAndExistingFiles) {
  MakeCommonNumbers(64);
  const std::string names =
      " /AP:" + Quoted(ap_) + " /SECRET:" + Quoted(secret1_) + " /PUBLIC:" + Quoted(public1_);
  const struct {
    std::string options;
    std::string text;
  } cases[] = {
      {"/X:8-10" + names, "ZQDIK01: Неправильный формат команды"},
      {"/X:10-9" + names, "ZQDIK01: Неправильный формат команды"},
      {"/X:9-2049" + names, "ZQDIK01: Неправильный формат команды"},
      {"/X:9" + names, "ZQDIK01: Неправильный формат команды"},
      {"name" + names, "ZQDIK01: Неправильный формат команды"},
      // One file for both halves.
      {"/AP:" + Quoted(ap_) + " /SECRET:" + Quoted(secret1_) + " /PUBLIC:" + Quoted(secret1_),
       "ZQDIK01: Неправильный формат команды"},
  };
  for (const auto& c : cases) {
    int code = -1;
    EXPECT_EQ(Dik(c.options + " /NOLOGO", &code), Native(c.text)) << c.options;
  }
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"c.ap"});

  // An existing output under /NOLOGO: 11 with its name, the secret one
  // asked about first, both before the .AP is read; the file is kept.
  const std::string noNumbers = names + " /AP:" + Quoted(folder_ / "none.ap") + " /NOLOGO";
  WriteFileText(secret1_, "old");
  WriteFileText(public1_, "old");
  int code = -1;
  EXPECT_EQ(Dik(noNumbers, &code), Native("ZQDIK11: Файл уже существует: ") + secret1_);
  std::filesystem::remove(secret1_);
  EXPECT_EQ(Dik(noNumbers, &code), Native("ZQDIK11: Файл уже существует: ") + public1_);
  EXPECT_EQ(ReadFileText(public1_), "old");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"1.dpk", "c.ap"}));
}

// Common numbers that cannot be used: the code and the .AP's name, no files.
TEST_F(DhTest, UnusableCommonNumbersAreRefusedWithTheirName) {
  const Words a = {5}, p = kSmallP;
  Bytes tooLong = NumbersFile(frame::kKeyCommonNumbers, {Words(65, 1), p});
  Bytes altered = NumbersFile(frame::kKeyCommonNumbers, {a, p});
  altered.back() ^= 1;
  Bytes version = NumbersFile(frame::kKeyCommonNumbers, {a, p});
  version[18] = 2;
  const struct {
    const char* what;
    Bytes file;
    int code;
  } cases[] = {
      {"A of 65 words", tooLong, 2},
      {"cut short", Bytes(altered.begin(), altered.end() - 2), 2},
      {"altered", altered, 31},
      {"version 2", version, 30},
      {"a public key", NumbersFile(frame::kKeyPublicHalf, {a}), 27},
      {"P = 2", NumbersFile(frame::kKeyCommonNumbers, {a, {2}}), 27},
      {"P of count 0", NumbersFile(frame::kKeyCommonNumbers, {a, {}}), 27},
      {"A of count 0", NumbersFile(frame::kKeyCommonNumbers, {{}, p}), 27},
      {"A = P + 1", NumbersFile(frame::kKeyCommonNumbers, {{0x80000000u}, p}), 27},
      {"A = 2P", NumbersFile(frame::kKeyCommonNumbers, {{0xFFFFFFFEu}, p}), 27},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(ap_, c.file);
    int code = -1;
    const std::string text = Dik("/AP:" + Quoted(ap_) + " /SECRET:" + Quoted(secret1_) +
                                     " /PUBLIC:" + Quoted(public1_) + " /NOLOGO",
                                 &code);
    EXPECT_EQ(code, c.code) << text;
    EXPECT_NE(text.find(ap_), std::string::npos) << text;
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"c.ap"});
  }
}

// ============================================================================
// ZqDIF
// ============================================================================

// The two parties' round trip, and the ciphertext checked against OpenSSL's
// DES-CBC (key K mod 2^64, little-endian; vector "KLBNVRzz") and against
// ZqDESF under a key file of that key.
TEST_F(DhTest, TwoPartiesShareTheDesKey) {
  MakeCommonNumbers(512);
  MakePair(ap_, secret1_, public1_);
  MakePair(ap_, secret2_, public2_);
  Bytes plain(100000);
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 7 + 3);
  WriteFileBytes(plain_, plain);
  DifOk(plain_, cipher_, "/CBC", secret1_, public2_);
  DifOk(cipher_, back_, "/D", secret2_, public1_);
  EXPECT_EQ(ReadFileBytes(back_), plain);

  const Words p = ReadNumbers(ap_, 2).numbers.at(1);
  const Words k =
      PowMod(ReadNumbers(public2_, 1).numbers.at(0), ReadNumbers(secret1_, 1).numbers.at(0), p, 2);
  Key8 key;
  std::copy_n(BytesOf(k).begin(), 8, key.begin());
  const Bytes cipher = ReadFileBytes(cipher_);
  ExpectDesCbc(Bytes(cipher.begin() + 48, cipher.end()), key, plain);
  const std::string dek = folder_ / "k.dek";
  WriteFileBytes(dek, DesKeyFileBytes(key));
  int code = -1;
  EXPECT_EQ(
      CallOperation(ZqDESF,
                    Quoted(plain_) + " " + Quoted(back_) + " /CBC /Y /NOLOGO /KEY:" + Quoted(dek),
                    &code),
      Native("ZQDESF00: Операция выполнена успешно"));
  EXPECT_EQ(ReadFileBytes(back_), cipher);

  // /HASH on both sides is the same keyed hash.
  DifOk(plain_, folder_ / "h1", "/HASH", secret1_, public2_);
  DifOk(plain_, folder_ / "h2", "/HASH", secret2_, public1_);
  EXPECT_EQ(ReadFileBytes(folder_ / "h1"), ReadFileBytes(folder_ / "h2"));
}

// K below 2^32: the DES key is K's word and a zero word. Chosen numbers with
// a 31-bit P, X = 5 and Y = 3: K = 243.
TEST_F(DhTest, AShortKHasZeroWordsAbove) {
  WriteFileBytes(ap_, NumbersFile(frame::kKeyCommonNumbers, {kSmallA, kSmallP}));
  WriteFileBytes(secret1_, NumbersFile(frame::kKeySecretHalf, {{5}}));
  // A public key is never deciphered, whatever its header says.
  WriteFileBytes(public2_, NumbersFile(frame::kKeyPublicHalf, {{3}}, 1));
  const Bytes plain(64, 0x41);
  WriteFileBytes(plain_, plain);
  DifOk(plain_, cipher_, "/CBC", secret1_, public2_);
  const Key8 key = {243, 0, 0, 0, 0, 0, 0, 0};
  const Bytes cipher = ReadFileBytes(cipher_);
  ExpectDesCbc(Bytes(cipher.begin() + 48, cipher.end()), key, plain);
}

// Key files that cannot be used: the code and the name of the file at
// fault, and no destination.
TEST_F(DhTest, UnusableKeyFilesAreRefusedWithTheirName) {
  WriteFileBytes(plain_, Bytes(100, 1));
  WriteFileBytes(ap_, NumbersFile(frame::kKeyCommonNumbers, {kSmallA, kSmallP}));
  const std::string secret = folder_ / "x.dsk", pub = folder_ / "y.dpk";
  const Bytes goodSecret = NumbersFile(frame::kKeySecretHalf, {{12345}});
  const Bytes goodPublic = NumbersFile(frame::kKeyPublicHalf, {{67890}});
  Bytes alteredSecret = goodSecret, alteredPublic = goodPublic, version = goodPublic;
  alteredSecret.back() ^= 1;
  alteredPublic.back() ^= 1;
  version[18] = 2;
  const struct {
    const char* what;
    Bytes secretFile, publicFile;
    const std::string* fault;
    int code;
  } cases[] = {
      {"no secret key", {}, goodPublic, &secret, 2},
      {"no public key", goodSecret, {}, &pub, 2},
      {"secret key altered", alteredSecret, goodPublic, &secret, 31},
      {"public key altered", goodSecret, alteredPublic, &pub, 31},
      {"public key of version 2", goodSecret, version, &pub, 30},
      {"a public key as secret", goodPublic, goodPublic, &secret, 27},
      {"a secret key as public", goodSecret, goodSecret, &pub, 27},
      {"X of 65 words", NumbersFile(frame::kKeySecretHalf, {Words(65, 1)}), goodPublic, &secret, 2},
      {"Y of 65 words", goodSecret, NumbersFile(frame::kKeyPublicHalf, {Words(65, 1)}), &pub, 2},
      {"X = 1", NumbersFile(frame::kKeySecretHalf, {{1}}), goodPublic, &secret, 27},
      {"X of count 0", NumbersFile(frame::kKeySecretHalf, {{}}), goodPublic, &secret, 27},
      {"Y = 1", goodSecret, NumbersFile(frame::kKeyPublicHalf, {{1}}), &pub, 27},
      {"Y = P", goodSecret, NumbersFile(frame::kKeyPublicHalf, {kSmallP}), &pub, 27},
      {"Y of count 0", goodSecret, NumbersFile(frame::kKeyPublicHalf, {{}}), &pub, 27},
      // Y = P - 1 and an even X: K = 1.
      {"K = 1", NumbersFile(frame::kKeySecretHalf, {{12346}}),
       NumbersFile(frame::kKeyPublicHalf, {{0x7FFFFFFEu}}), &pub, 27},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(secret);
    std::filesystem::remove(pub);
    if (!c.secretFile.empty()) WriteFileBytes(secret, c.secretFile);
    if (!c.publicFile.empty()) WriteFileBytes(pub, c.publicFile);
    int code = -1;
    const std::string text = Dif(plain_, cipher_, "/ECB", secret, pub, &code);
    EXPECT_EQ(code, c.code) << text;
    EXPECT_NE(text.find(*c.fault), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(cipher_));
  }
  // The .AP is read between them, with its own name.
  WriteFileBytes(secret, goodSecret);
  WriteFileBytes(pub, goodPublic);
  std::filesystem::remove(ap_);
  int code = -1;
  EXPECT_NE(Dif(plain_, cipher_, "/ECB", secret, pub, &code).find(ap_), std::string::npos);
  EXPECT_EQ(code, 2);
}

// /COMP reads no key file; a protected secret key asks for its password, and
// without one gives 25.
TEST_F(DhTest, CompareAndProtectedKeys) {
  WriteFileBytes(plain_, Bytes(1000, 7));
  WriteFileBytes(back_, Bytes(1000, 7));
  int code = -1;
  EXPECT_EQ(Dif(plain_, back_, "/COMP", "none.dsk", "none.dpk", &code), Native(kDifOk));

  MakeCommonNumbers(128);
  ui_.carrierScript = platform::TypePassword("secret");
  MakePair(ap_, "PWD:" + secret1_, public1_, "");
  MakePair(ap_, secret2_, public2_);
  DifOk(plain_, cipher_, "/OFB:5", secret2_, public1_);
  const frame::DataFileHeader header = HeaderOf(ReadFileBytes(cipher_));
  EXPECT_EQ(header.mode, 4);
  EXPECT_EQ(header.unitSize, 5);
  EXPECT_EQ(Dif(cipher_, folder_ / "back2", "/D", secret1_, public2_, &code, ""), Native(kDifOk));
  EXPECT_EQ(ReadFileBytes(folder_ / "back2"), ReadFileBytes(plain_));
  Dif(cipher_, folder_ / "back3", "/D", secret1_, public2_, &code);
  EXPECT_EQ(code, 25);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "back3"));
}

// A cancelled job leaves the destination as it was.
TEST_F(DhTest, CancelLeavesTheDestinationAsItWas) {
  MakeCommonNumbers(128);
  MakePair(ap_, secret1_, public1_);
  MakePair(ap_, secret2_, public2_);
  WriteFileBytes(plain_, Bytes(300000, 9));
  WriteFileText(cipher_, "keep");
  ui_.cancelWhen = [](const Event& e) { return e.kind == Event::Percent; };
  int code = -1;
  EXPECT_EQ(Dif(plain_, cipher_, "/CBC", secret1_, public2_, &code, "/Y"),
            Native("ZQDIF10: Пользователь прервал работу"));
  EXPECT_EQ(ReadFileText(cipher_), "keep");
}

// The library's own helpers: the exponentiation on both paths, and 0 and 1
// recognised with leading zero words.
TEST(DhNumbers, SecretPowerAndDegenerateNumbers) {
  const struct {
    Words b, x, p;
  } cases[] = {
      {{5}, {0xFFFFFFFFu, 0xFFFFFFFFu, 7}, kSmallP},
      {{0xFFFFFFFFu, 0xFFFFFFFFu}, {3}, {0x10u, 0x1u}},  // base above P, even P
      {{2}, {0x11111111u}, {0xFFFFFFFFu, 0x0u}},
  };
  for (const auto& c : cases) {
    dh::Number b{}, x{}, p{}, r{};
    b.count = static_cast<std::uint32_t>(c.b.size());
    std::copy(c.b.begin(), c.b.end(), b.words);
    x.count = static_cast<std::uint32_t>(c.x.size());
    std::copy(c.x.begin(), c.x.end(), x.words);
    p.count = static_cast<std::uint32_t>(c.p.size());
    std::copy(c.p.begin(), c.p.end(), p.words);
    // Padded to the most words, and to none beyond its own.
    for (std::uint32_t xWords : {dh::kNumberWords, 0u}) {
      dh::SecretPower(r, b, x, xWords, p);
      Words got(r.words, r.words + r.count);
      while (got.size() > 1 && got.back() == 0) got.pop_back();
      EXPECT_EQ(got, PowMod(c.b, c.x, c.p, 1));
    }
  }
  EXPECT_TRUE(dh::IsZeroOrOne(dh::Number{0, {}}));
  EXPECT_TRUE(dh::IsZeroOrOne(dh::Number{3, {1, 0, 0}}));
  EXPECT_FALSE(dh::IsZeroOrOne(dh::Number{2, {1, 1}}));
  EXPECT_FALSE(dh::IsZeroOrOne(dh::Number{1, {2}}));
}

}  // namespace
}  // namespace nc::test
