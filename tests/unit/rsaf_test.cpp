// ZqRSAF: round trips around the modulus's block size; the payloads against
// OpenSSL's raw RSA and SHAKE256; signatures and the ways a check fails;
// ciphertexts the decryptor refuses; the key files (kinds, protection,
// numbers no processor can use, default names); the command line; the
// progress window, a cancel and a fault. The key files are made here from
// two 512-bit pairs, as the generator lays them out.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "des_test_support.h"
#include "fault_test_support.h"
#include "frame/data_file.h"
#include "frame/guard_hook.h"
#include "frame_test_support.h"
#include "hex_bytes.h"
#include "nccore21.h"
#include "platform/ui.h"
#include "protect/key_material.h"
#include "testsupport/ui/scripted_ui.h"
#include "zq/rsa.h"
#include "zq/wipe.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/bn.h>
#include <openssl/evp.h>
#endif

namespace nc::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

const std::string kOk = "ZQRSAF00: Операция выполнена успешно";
const std::string kBadCommand = "ZQRSAF01: Неправильный формат команды";
const std::string kReadError = "ZQRSAF02: Ошибка чтения файла: ";
const std::string kCancelled = "ZQRSAF10: Пользователь прервал работу";
const std::string kNegative = "ZQRSAF12: Отрицательный результат при проверке ЭЦП";
const std::string kBadFormat = "ZQRSAF27: Неверный формат файла: ";
const std::string kTitle = "Файловый криптопроцессор RSA";

// Key pairs: the modulus, the secret exponent, the public one, and the
// modulus's bytes per block (in; out is one more). Two of 512 bits, and
// for jobs over many blocks one of 64 bits and one of the shortest modulus
// taken, 17 bits, whose blocks grow by half.
struct Pair {
  const char* n;
  const char* secret;
  const char* open;
  std::size_t encBlock;
};
constexpr Pair kPairs[] = {
    {"debb065ee484a19f3a042ee378f427824d32945c6d4d9968460c3359831767b6c06e32acdd692985a8eb0393"
     "7433eb1a239ae6e1db5ef78849667f80b0c536db",
     "bac99bd91ec9c005199182850fdda9f893a71456c2efadf48db213aa40cef310f5c0097b90a505ab18150302"
     "f6e02bd4853a208bbf8323de8dce62051f1c3d71",
     "010001", 63},
    {"d118dd872be7708ee0545634f785b5407ac2b981747e0838e992b9fb05d57fc7e7cee2634e7eee91bfeecfb3"
     "4374add93b11e9a67d5f2d5df6d778c22fcc73ed",
     "7309931742f859dcc15ea4ef0f1ee8d148b8c90687e8aeed60d3f0ae424f6bb4b903074fa35636278871b620"
     "690dc1e613b83b4f67f468be6a35500aad1a0c01",
     "010001", 63},
    {"d511df14f092afa7", "2002bd56ebc41071", "010001", 7},
    {"01fefd", "32cd", "05", 2},
};
enum PairIndex { kMain, kOther, kFast, kTiny, kPairCount };
// Bytes per block for the main pair: 63 in, 64 out.
constexpr std::size_t kEncBlock = 63;
constexpr std::size_t kDecBlock = 64;

Bytes Pattern(std::size_t size, std::uint32_t seed = 1) {
  Bytes bytes(size);
  std::uint32_t x = seed;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

Bytes Payload(const Bytes& file) {
  return file.size() < 48 ? Bytes() : Bytes(file.begin() + 48, file.end());
}

// A number from big-endian hexadecimal, with its minimal count.
RSANumber NumberOf(const std::string& hex) {
  const Bytes bytes = Hex(hex);
  RSANumber number{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t bit = 8 * (bytes.size() - 1 - i);
    number.words[bit / 32] |= std::uint32_t{bytes[i]} << (bit % 32);
  }
  number.count = static_cast<std::uint32_t>((bytes.size() + 3) / 4);
  while (number.count > 0 && number.words[number.count - 1] == 0) --number.count;
  return number;
}

void AppendBlock(Bytes& out, const RSANumber& number) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&number);
  out.insert(out.end(), bytes, bytes + 4 * (std::size_t{number.count} + 1));
}

// A key file as the generator writes it: the header, N, then the exponent,
// the integrity value over N's words and the exponent's; the exponent of a
// secret key enciphered under the master key of `protection` (obtained
// through the carrier dialog).
Bytes KeyFileBytes(bool secret, RSANumber n, RSANumber exponent, std::uint32_t protection = 0) {
  frame::DataFileHeader header = frame::NewHeader(
      frame::kFileKey, frame::kAlgRsa, secret ? frame::kKeySecretHalf : frame::kKeyPublicHalf);
  header.protectionCode = protection;
  header.tokenChallenge = 0x5A17C0DE;
  DesKeyContext master{};
  if (protection != 0) {
    const std::uint8_t challenge[4] = {0xDE, 0xC0, 0x17, 0x5A};
    EXPECT_TRUE(protect::ObtainMasterKey(nullptr, protection, false, challenge, master));
  }
  protect::ProtectKeyMaterial(protect::KeyMaterialKind::RsaSecret, header, master,
                              reinterpret_cast<WordBlock*>(&n),
                              reinterpret_cast<WordBlock*>(&exponent));
  SecureWipe(&master, sizeof master);
  Bytes out(frame::kHeaderSize);
  frame::EncodeHeader(header, out.data());
  AppendBlock(out, n);
  AppendBlock(out, exponent);
  return out;
}

Bytes SecretKeyFile(const Pair& pair, std::uint32_t protection = 0) {
  return KeyFileBytes(true, NumberOf(pair.n), NumberOf(pair.secret), protection);
}
Bytes PublicKeyFile(const Pair& pair) {
  return KeyFileBytes(false, NumberOf(pair.n), NumberOf(pair.open));
}

class RsafTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = std::make_unique<TempFolder>();
    for (int i = 0; i < kPairCount; ++i) {
      WriteFileBytes(SecretKey(i), SecretKeyFile(kPairs[i]));
      WriteFileBytes(PublicKey(i), PublicKeyFile(kPairs[i]));
    }
  }
  static void TearDownTestSuite() { keys_.reset(); }
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override {
    frame::SetGuardedFaultHookForTests(nullptr);
    platform::SetUi(nullptr);
  }

  static std::string SecretKey(int pair = 0) {
    return *keys_ / ("k" + std::to_string(pair) + ".rsk");
  }
  static std::string PublicKey(int pair = 0) {
    return *keys_ / ("k" + std::to_string(pair) + ".rpk");
  }
  // The key a command takes from the job's pair.
  std::string KeyFor(const std::string& command) const {
    return command == "/D" || command == "/SIGN" ? SecretKey(pair_) : PublicKey(pair_);
  }

  std::string Run(const std::string& options, int* code, void* parent = nullptr) {
    return CallOperation(ZqRSAF, options, code, parent);
  }
  // Source, destination, command, the key the command takes, and `more`.
  std::string Job(const std::string& source, const std::string& destination,
                  const std::string& command, const std::string& more = "/NOLOGO /Y") const {
    return Quoted(source) + " " + Quoted(destination) + " " + command +
           " /KEY:" + Quoted(KeyFor(command)) + " " + more;
  }
  int RunJob(const std::string& source, const std::string& destination, const std::string& command,
             const std::string& more = "/NOLOGO /Y") {
    int code = -1;
    const std::string text = Run(Job(source, destination, command, more), &code);
    EXPECT_EQ(code == 0, text == Native(kOk)) << text;
    return code;
  }
  // The source of `size` bytes, its ciphertext and its signature.
  void MakeFiles(std::size_t size) {
    WriteFileBytes(plain_, Pattern(size));
    ASSERT_EQ(RunJob(plain_, cipher_, "/E"), 0);
    ASSERT_EQ(RunJob(plain_, sig_, "/SIGN"), 0);
  }
  void AnswerPassword(const char* password) {
    using Action = ScriptedUi::CarrierAction;
    ui_.carrierScript = [password](const ScriptedUi::CarrierEvent& e) {
      if (e.kind != ScriptedUi::CarrierEvent::Open) return Action{};
      return Action{true, password, platform::kCarrierOk};
    };
  }

  static std::unique_ptr<TempFolder> keys_;
  int pair_ = kMain;  // the key pair of Job and RunJob
  ScriptedUi ui_;
  TempFolder folder_;
  const std::string plain_ = folder_ / "plain";
  const std::string cipher_ = folder_ / "cipher";
  const std::string sig_ = folder_ / "sig";
  const std::string out_ = folder_ / "out";
  const std::vector<std::string> made_ = {"cipher", "out", "plain", "sig"};
};
std::unique_ptr<TempFolder> RsafTest::keys_;

// ============================================================================
// Round trips and payloads
// ============================================================================

// Sources around the block size, and around the 64 KiB chunk: the
// ciphertext holds whole blocks and the source's length, and deciphers to
// the source; in place too. The 17-bit modulus fills the block buffer
// with half as much again as each chunk read.
TEST_F(RsafTest, EncryptionRoundTripsAroundTheBlockSize) {
  for (int pair : {kMain, kFast, kTiny}) {
    pair_ = pair;
    const std::size_t enc = kPairs[pair].encBlock;
    std::vector<std::size_t> sizes = {0, 1, enc - 1, enc, enc + 1, 3 * enc + 5};
    if (pair != kMain) sizes.insert(sizes.end(), {65535, 65536, 65537});
    for (std::size_t size : sizes) {
      SCOPED_TRACE(std::to_string(enc) + "-byte blocks, " + std::to_string(size) + " bytes");
      const Bytes plain = Pattern(size, static_cast<std::uint32_t>(size) + 3);
      WriteFileBytes(plain_, plain);
      ASSERT_EQ(RunJob(plain_, cipher_, "/E"), 0);
      const Bytes cipher = ReadFileBytes(cipher_);
      const frame::DataFileHeader header = HeaderOf(cipher);
      ExpectDataFileHeader(header, frame::kFileCiphertext, frame::kAlgRsa, frame::kKeyNone);
      EXPECT_EQ(header.dataLength, size);
      EXPECT_EQ(cipher.size(), 48 + (size + enc - 1) / enc * (enc + 1));
      ASSERT_EQ(RunJob(cipher_, out_, "/D"), 0);
      EXPECT_TRUE(ReadFileBytes(out_) == plain);
      ASSERT_EQ(RunJob(out_, out_, "/E"), 0);
      ASSERT_EQ(RunJob(out_, out_, "/D"), 0);
      EXPECT_TRUE(ReadFileBytes(out_) == plain);
    }
  }
}

#ifdef NCCORE_HAVE_OPENSSL
// Textbook RSA as OpenSSL computes it: each block of `data` (the last one
// zero-filled) read big-endian, raised to `exponent` mod `n`, written
// big-endian in `outBlock` bytes.
Bytes RawRsa(const Bytes& data, const char* n, const char* exponent, std::size_t inBlock,
             std::size_t outBlock) {
  BN_CTX* ctx = BN_CTX_new();
  BIGNUM *bn = nullptr, *be = nullptr;
  BN_hex2bn(&bn, n);
  BN_hex2bn(&be, exponent);
  BIGNUM *m = BN_new(), *c = BN_new();
  Bytes out;
  for (std::size_t at = 0; at < data.size(); at += inBlock) {
    Bytes block(inBlock, 0);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(at),
              data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + inBlock)),
              block.begin());
    BN_bin2bn(block.data(), static_cast<int>(block.size()), m);
    BN_mod_exp(c, m, be, bn, ctx);
    Bytes result(outBlock);
    EXPECT_EQ(BN_bn2binpad(c, result.data(), static_cast<int>(outBlock)),
              static_cast<int>(outBlock));
    out.insert(out.end(), result.begin(), result.end());
  }
  BN_free(m);
  BN_free(c);
  BN_free(bn);
  BN_free(be);
  BN_CTX_free(ctx);
  return out;
}

// The file hash: from 128 zero bytes, SHAKE256 of the value and each 4 KiB
// chunk, 128 bytes out; an empty file is one step over no bytes.
Bytes FileHash(const Bytes& data) {
  Bytes hash(128, 0);
  std::size_t at = 0;
  do {
    const std::size_t take = std::min<std::size_t>(4096, data.size() - at);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_shake256(), nullptr);
    EVP_DigestUpdate(ctx, hash.data(), hash.size());
    EVP_DigestUpdate(ctx, data.data() + at, take);
    EVP_DigestFinalXOF(ctx, hash.data(), hash.size());
    EVP_MD_CTX_free(ctx);
    at += take;
  } while (at < data.size());
  return hash;
}

TEST_F(RsafTest, PayloadsAreTextbookRsaAndShake256AsOpenSslComputesThem) {
  for (int index : {kMain, kTiny}) {
    pair_ = index;
    const Pair& pair = kPairs[index];
    const std::size_t enc = pair.encBlock;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{4097},
                             3 * enc + 5, std::size_t{70001}}) {
      SCOPED_TRACE(std::to_string(enc) + "-byte blocks, " + std::to_string(size) + " bytes");
      const Bytes plain = Pattern(size, static_cast<std::uint32_t>(size) + 11);
      WriteFileBytes(plain_, plain);
      ASSERT_EQ(RunJob(plain_, cipher_, "/E"), 0);
      EXPECT_TRUE(Payload(ReadFileBytes(cipher_)) ==
                  RawRsa(plain, pair.n, pair.open, enc, enc + 1));

      ASSERT_EQ(RunJob(plain_, out_, "/HASH"), 0);
      const Bytes hashFile = ReadFileBytes(out_);
      const frame::DataFileHeader header = HeaderOf(hashFile);
      ExpectDataFileHeader(header, frame::kFileHash, frame::kAlgRsa, frame::kKeyNone);
      EXPECT_EQ(header.unitSize, 64);
      const Bytes hash = FileHash(plain);
      EXPECT_TRUE(Payload(hashFile) == hash);

      // The signature: the hash's blocks under the secret exponent.
      ASSERT_EQ(RunJob(plain_, sig_, "/SIGN"), 0);
      const Bytes sigFile = ReadFileBytes(sig_);
      ExpectDataFileHeader(HeaderOf(sigFile), frame::kFileSignature, frame::kAlgRsa,
                           frame::kKeyNone);
      EXPECT_EQ(HeaderOf(sigFile).dataLength, (128 + enc - 1) / enc * (enc + 1));
      EXPECT_TRUE(Payload(sigFile) == RawRsa(hash, pair.n, pair.secret, enc, enc + 1));
      ASSERT_EQ(RunJob(plain_, sig_, "/CHECK"), 0);
    }
  }
}
#endif

// ============================================================================
// Signatures
// ============================================================================

// A signature checks with its pair's public key over its source only, and
// a signature file whose length no signature of the key has, or of zeros,
// is a negative result; the check never changes the signature file.
TEST_F(RsafTest, ASignatureChecksOnlyWithItsKeyOverItsSource) {
  MakeFiles(5000);
  const Bytes signature = ReadFileBytes(sig_);
  const frame::DataFileHeader header = HeaderOf(signature);
  int code = -1;
  EXPECT_EQ(Run(Job(plain_, sig_, "/CHECK", ""), &code), Native(kOk));
  EXPECT_EQ(Run(Job(plain_, sig_, "/CHECK", "") + " /KEY:" + Quoted(PublicKey(1)), &code),
            Native(kNegative));
  WriteFileBytes(out_, Pattern(5000, 2));
  EXPECT_EQ(Run(Job(out_, sig_, "/CHECK", ""), &code), Native(kNegative));
  EXPECT_TRUE(ReadFileBytes(sig_) == signature);

  // Doctored signature files: the stored length and the bytes after the
  // header.
  auto doctored = [&](std::uint32_t length, const Bytes& payload) {
    frame::DataFileHeader h = header;
    h.dataLength = length;
    Bytes bytes(48);
    frame::EncodeHeader(h, bytes.data());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
  };
  const Bytes good = Payload(signature);
  Bytes flipped = good;
  flipped[100] ^= 1;
  const struct {
    const char* what;
    Bytes file;
    std::string text;
  } cases[] = {
      {"zeros", doctored(192, Bytes(192, 0)), Native(kNegative)},
      {"no bytes", doctored(0, {}), Native(kNegative)},
      {"a bit changed", doctored(192, flipped), Native(kNegative)},
      {"two blocks", doctored(128, Bytes(good.begin(), good.begin() + 128)), Native(kNegative)},
      {"not whole blocks", doctored(191, Bytes(good.begin(), good.begin() + 191)),
       Native(kNegative)},
      {"longer than any signature", doctored(320, Pattern(320)), Native(kNegative)},
      {"shorter than stored", doctored(192, Bytes(good.begin(), good.begin() + 150)),
       Native(kReadError) + out_},
      {"a ciphertext", ReadFileBytes(cipher_), Native(kReadError) + out_},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(out_, c.file);
    EXPECT_EQ(Run(Job(plain_, out_, "/CHECK", "/NOLOGO"), &code), c.text);
    EXPECT_TRUE(ReadFileBytes(out_) == c.file);
  }
}

// /CHECK only reads its signature file: it asks nothing about it, without
// /Y too. /SIGN to the same file asks, and a refusal comes before the key
// file is read.
TEST_F(RsafTest, CheckAsksNothingAndSignAsksFirst) {
  MakeFiles(3000);
  const Bytes signature = ReadFileBytes(sig_);
  int code = -1;
  EXPECT_EQ(Run(Job(plain_, sig_, "/CHECK", ""), &code), Native(kOk));
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(
      Run(Quoted(plain_) + " " + Quoted(sig_) + " /SIGN /KEY:" + Quoted(folder_ / "none"), &code),
      Native("ZQRSAF11: Файл уже существует: ") + sig_);
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0].kind, ScriptedUi::Shown::Question);
  EXPECT_EQ(ui_.shown[0].caption, Native(kTitle));
  EXPECT_TRUE(ReadFileBytes(sig_) == signature);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"cipher", "plain", "sig"}));
}

// ============================================================================
// Ciphertexts the decryptor refuses
// ============================================================================

TEST_F(RsafTest, DecryptionRefusesWhatIsNoCiphertextOfTheKey) {
  MakeFiles(1000);  // 16 blocks, the last one of 55 bytes
  const Bytes cipher = ReadFileBytes(cipher_);
  auto withLength = [&](std::uint32_t length) {
    Bytes bytes = cipher;
    frame::DataFileHeader h = HeaderOf(bytes);
    h.dataLength = length;
    frame::EncodeHeader(h, bytes.data());
    return bytes;
  };
  Bytes blockAboveN = cipher;
  std::fill(blockAboveN.begin() + 48 + 5 * 64, blockAboveN.begin() + 48 + 6 * 64, 0xFF);
  Bytes cut = cipher;
  cut.resize(cut.size() - 10);
  // A GOST and a DES ciphertext, headers only: the algorithm is another.
  Bytes gost(48), des(48);
  frame::EncodeHeader(frame::NewHeader(frame::kFileCiphertext, frame::kAlgGost, frame::kKeyNone),
                      gost.data());
  frame::EncodeHeader(frame::NewHeader(frame::kFileCiphertext, frame::kAlgDes, frame::kKeyNone),
                      des.data());
  gost.resize(48 + 64, 7);
  des.resize(48 + 64, 7);
  const struct {
    const char* what;
    Bytes file;
    std::string text;
  } cases[] = {
      {"the length one block short", withLength(1000 - 63), Native(kBadFormat) + cipher_},
      {"the length one block longer", withLength(1000 + 63), Native(kBadFormat) + cipher_},
      {"a length past the last block", withLength(1009), Native(kBadFormat) + cipher_},
      {"not whole blocks", cut, Native(kBadFormat) + cipher_},
      {"a block above N", blockAboveN, Native(kBadFormat) + cipher_},
      {"a GOST ciphertext", gost, Native(kReadError) + cipher_},
      {"a DES ciphertext", des, Native(kReadError) + cipher_},
      {"the plaintext", Pattern(1000), Native(kReadError) + cipher_},
  };
  int code = -1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(cipher_, c.file);
    WriteFileText(out_, "keep");
    EXPECT_EQ(Run(Job(cipher_, out_, "/D"), &code), c.text);
    EXPECT_EQ(ReadFileText(out_), "keep");
    EXPECT_EQ(folder_.Names(), made_);
  }
  // Any length from the last block's first byte to its end is accepted.
  WriteFileBytes(cipher_, withLength(1000 - 54));
  EXPECT_EQ(RunJob(cipher_, out_, "/D"), 0);
  EXPECT_EQ(ReadFileBytes(out_).size(), 1000u - 54);
}

// ============================================================================
// Key files
// ============================================================================

// Which key each command reads, and what is wrong with one that cannot be
// used: the key file's name follows the message after two blanks.
TEST_F(RsafTest, KeyFilesOfAnotherKindOrNumbersNoProcessorCanUseAreRefused) {
  MakeFiles(100);
  const RSANumber n = NumberOf(kPairs[0].n);
  const RSANumber e = NumberOf(kPairs[0].secret);
  const std::string key = folder_ / "key";
  Bytes corrupt = SecretKeyFile(kPairs[0]);
  corrupt[48 + 4 + 9] ^= 0x40;  // a bit of N
  Bytes newer = PublicKeyFile(kPairs[0]);
  newer[18] = 4;
  RSANumber wide{};
  wide.count = 65;
  Bytes tooWide(48);
  frame::EncodeHeader(frame::NewHeader(frame::kFileKey, frame::kAlgRsa, frame::kKeySecretHalf),
                      tooWide.data());
  AppendBlock(tooWide, RSANumber{});
  std::memcpy(tooWide.data() + 48, &wide.count, 4);
  RSANumber even = n;
  even.words[0] &= ~1u;
  const std::string bad = Native(kBadFormat) + " " + key;
  const struct {
    const char* what;
    const char* command;
    Bytes file;
    std::string text;
  } cases[] = {
      {"a public key to decrypt", "/D", PublicKeyFile(kPairs[0]), bad},
      {"a public key to sign", "/SIGN", PublicKeyFile(kPairs[0]), bad},
      {"a secret key to encrypt", "/E", SecretKeyFile(kPairs[0]), bad},
      {"a secret key to check", "/CHECK", SecretKeyFile(kPairs[0]), bad},
      {"a DES key", "/E", DesKeyFileBytes({1, 2, 3, 4, 5, 6, 7, 8}), bad},
      {"an even N", "/D", KeyFileBytes(true, even, e), bad},
      {"a 16-bit N", "/D", KeyFileBytes(true, NumberOf("ffff"), e), bad},
      {"exponent 1", "/E", KeyFileBytes(false, n, NumberOf("01")), bad},
      {"exponent 0", "/SIGN", KeyFileBytes(true, n, RSANumber{}), bad},
      {"the integrity value", "/D", corrupt,
       Native("ZQRSAF31: Нарушение целостности данных файла:  ") + key},
      {"another version", "/E", newer,
       Native("ZQRSAF30: Версия файла данных не поддерживается:  ") + key},
      {"65 words", "/D", tooWide, Native("ZQRSAF32: Неизвестная ошибка")},
      {"cut short", "/D", Bytes(corrupt.begin(), corrupt.end() - 8),
       Native(kReadError) + " " + key},
  };
  int code = -1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(key, c.file);
    const std::string source = std::string(c.command) == "/D" ? cipher_ : plain_;
    const std::string destination = std::string(c.command) == "/CHECK" ? sig_ : out_;
    EXPECT_EQ(Run(Quoted(source) + " " + Quoted(destination) + " " + c.command +
                      " /KEY:" + Quoted(key) + " /NOLOGO /Y",
                  &code),
              c.text);
    EXPECT_FALSE(std::filesystem::exists(out_));
  }
}

// Without "/KEY:" encryption and the check take "Публичный ключ RSA.RPK",
// decryption and signing "Секретный ключ RSA.RSK" in the current folder;
// the hash takes no key at all.
TEST_F(RsafTest, DefaultKeyNamesAndTheHashWithoutAnyKey) {
  MakeFiles(100);
  const std::string secret = Native(kReadError) + " " + Native("Секретный ключ RSA.RSK");
  const std::string open = Native(kReadError) + " " + Native("Публичный ключ RSA.RPK");
  const struct {
    const char* command;
    std::string source, destination, text;
  } cases[] = {
      {"/E", plain_, out_, open},           {"/CHECK", plain_, sig_, open},
      {"/D", cipher_, out_, secret},        {"/SIGN", plain_, out_, secret},
      {"/HASH", plain_, out_, Native(kOk)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    int code = -1;
    EXPECT_EQ(CallOperationIn(
                  folder_.path(), ZqRSAF,
                  Quoted(c.source) + " " + Quoted(c.destination) + " " + c.command + " /NOLOGO /Y",
                  &code),
              c.text);
  }
}

// A secret key made behind a password: the carrier dialog asks for it; a
// wrong one is an integrity failure of the key file (31 and its name), and
// a quiet job cannot ask (25). Failures write nothing.
TEST_F(RsafTest, AProtectedSecretKeyNeedsItsPassword) {
  const std::string rsk = folder_ / "p.rsk";
  AnswerPassword("secret");
  WriteFileBytes(rsk, SecretKeyFile(kPairs[0], 1));
  ASSERT_EQ(HeaderOf(ReadFileBytes(rsk)).protectionCode, 1u);
  // N (its count and 16 words) stays in the clear; the exponent does not.
  const Bytes sealed = ReadFileBytes(rsk), clear = SecretKeyFile(kPairs[0]);
  ASSERT_EQ(sealed.size(), clear.size());
  EXPECT_TRUE(std::equal(sealed.begin() + 48, sealed.begin() + 116, clear.begin() + 48));
  EXPECT_FALSE(std::equal(sealed.begin() + 116, sealed.end(), clear.begin() + 116));
  MakeFiles(3000);

  const auto opened = [this] {
    const auto events = ui_.CarrierEvents();
    return std::count_if(events.begin(), events.end(), [](const ScriptedUi::CarrierEvent& e) {
      return e.kind == ScriptedUi::CarrierEvent::Open;
    });
  };
  auto job = [&](const std::string& source, const char* command) {
    return Quoted(source) + " " + Quoted(out_) + " " + command + " /KEY:" + Quoted(rsk) + " /Y";
  };
  int code = -1;
  auto before = opened();
  EXPECT_EQ(Run(job(cipher_, "/D"), &code), Native(kOk));
  EXPECT_TRUE(ReadFileBytes(out_) == Pattern(3000));
  EXPECT_EQ(Run(job(plain_, "/SIGN"), &code), Native(kOk));
  EXPECT_TRUE(ReadFileBytes(out_) == ReadFileBytes(sig_));
  EXPECT_EQ(opened() - before, 2);

  const std::string integrity = "ZQRSAF31: Нарушение целостности данных файла:  ";
  const std::string hardware = "ZQRSAF25: Ошибка при чтении параметров аппаратуры";
  const struct {
    const char* command;
    std::string source;
    const char* quiet;
    std::string text;
  } cases[] = {
      {"/D", cipher_, "", Native(integrity) + rsk},
      {"/SIGN", plain_, "", Native(integrity) + rsk},
      {"/D", cipher_, " /NOLOGO", Native(hardware)},
      {"/SIGN", plain_, " /NOLOGO", Native(hardware)},
  };
  AnswerPassword("secreT");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + c.quiet);
    WriteFileText(out_, "keep");
    before = opened();
    EXPECT_EQ(Run(job(c.source, c.command) + c.quiet, &code), c.text);
    EXPECT_EQ(opened() - before, *c.quiet == '\0' ? 1 : 0);
    EXPECT_EQ(ReadFileText(out_), "keep");
  }
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"cipher", "out", "p.rsk", "plain", "sig"}));
}

// ============================================================================
// The command line
// ============================================================================

TEST_F(RsafTest, TheCommandLineNeedsOneCommandAndTwoNames) {
  WriteFileBytes(plain_, Pattern(100));
  const std::string names = Quoted(plain_) + " " + Quoted(out_);
  const std::string key = " /KEY:" + Quoted(PublicKey()) + " /NOLOGO /Y";
  const struct {
    std::string options;
    std::string text;
  } cases[] = {
      {names + key, Native(kBadCommand)},
      {names + " /E /E" + key, Native(kBadCommand)},
      {names + " /E /HASH" + key, Native(kBadCommand)},
      {names + " " + Quoted(sig_) + " /E" + key, Native(kBadCommand)},
      {Quoted(plain_) + " /E" + key, Native(kBadCommand)},
      {names + " /e" + key, Native(kOk)},
      {names + " /ENCRYPT" + key, Native(kOk)},
      {names + " /hash /nologo /y", Native(kOk)},
      {names + " /COMP /NOLOGO", Native("ZQRSAF07: Ошибка сравнения файлов")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    int code = -1;
    EXPECT_EQ(Run(c.options, &code), c.text);
  }
}

// ============================================================================
// The progress window, a cancel, a fault
// ============================================================================

TEST_F(RsafTest, EveryCommandsWindowNamesBothFilesAndRisesTo100) {
  pair_ = kFast;
  MakeFiles(200000);
  const std::string copy = folder_ / "copy";
  WriteFileBytes(copy, Pattern(200000));
  const struct {
    std::string command, source, destination;
    int textId;
  } cases[] = {
      {"/E", plain_, out_, 2010},    {"/D", cipher_, out_, 2011},    {"/HASH", plain_, out_, 2012},
      {"/SIGN", plain_, out_, 2013}, {"/CHECK", plain_, sig_, 2015}, {"/COMP", plain_, copy, 2014},
  };
  int parent = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ui_.progress.clear();
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y"), &code, &parent), Native(kOk));
    ASSERT_GE(ui_.progress.size(), 5u);
    EXPECT_EQ(ui_.progress[0].kind, Event::Open);
    EXPECT_EQ(ui_.progress[0].parent, &parent);
    EXPECT_EQ(ui_.progress[1].kind, Event::Caption);
    EXPECT_EQ(ui_.progress[1].text, Native(kTitle));
    EXPECT_EQ(ui_.progress[2].kind, Event::Description);
    EXPECT_EQ(ui_.progress[2].id, c.textId);
    EXPECT_NE(ui_.progress[2].text.find(c.source), std::string::npos);
    EXPECT_NE(ui_.progress[2].text.find(c.destination), std::string::npos);
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
    EXPECT_EQ(std::count_if(ui_.progress.begin(), ui_.progress.end(),
                            [](const Event& e) { return e.kind == Event::Open; }),
              1);
    const std::vector<unsigned> percents = PercentsShown(ui_);
    EXPECT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100u);

    ui_.progress.clear();
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y /NOLOGO"), &code), Native(kOk));
    EXPECT_TRUE(ui_.progress.empty());
  }
  EXPECT_TRUE(ui_.shown.empty());
}

// Cancelled at the second step, or a fault after the second chunk: an
// existing destination or the signature file keeps its bytes, and no
// temporary output is left beside it.
TEST_F(RsafTest, ACancelOrAFaultLeavesTheDestinationAsItWas) {
  pair_ = kFast;
  MakeFiles(200000);
  const Bytes signature = ReadFileBytes(sig_);
  const struct {
    std::string command, source, destination;
  } jobs[] = {
      {"/E", plain_, out_},    {"/D", cipher_, out_},    {"/HASH", plain_, out_},
      {"/SIGN", plain_, out_}, {"/CHECK", plain_, sig_},
  };
  for (bool fault : {false, true}) {
    for (const auto& c : jobs) {
      SCOPED_TRACE(c.command + (fault ? " fault" : " cancel"));
      WriteFileText(out_, "keep");
      ui_.progress.clear();
      ui_.cancelWhen = [this, fault](const Event& e) {
        return !fault && e.kind == Event::Percent &&
               std::count_if(ui_.progress.begin(), ui_.progress.end(),
                             [](const Event& x) { return x.kind == Event::Percent; }) == 2;
      };
      g_faultPoints = 0;
      if (fault) frame::SetGuardedFaultHookForTests(FaultAtTheThirdPoint);
      int code = -1;
      const std::string text = Run(Job(c.source, c.destination, c.command, "/Y"), &code);
      frame::SetGuardedFaultHookForTests(nullptr);
      EXPECT_EQ(text, Native(fault ? "ZQRSAF33: Возникло необработанное исключение" : kCancelled));
      EXPECT_EQ(ReadFileText(out_), "keep");
      EXPECT_TRUE(ReadFileBytes(sig_) == signature);
      EXPECT_EQ(PercentsShown(ui_).size(), 2u);
      ASSERT_FALSE(ui_.progress.empty());
      EXPECT_EQ(ui_.progress.back().kind, Event::Close);
      EXPECT_EQ(folder_.Names(), made_);
    }
  }
}

// A source that grows or shrinks right after its first chunk was read (when
// the window shows it) fails the job with 02 and its name; nothing is
// written. (Windows opens a source without sharing write access.)
#ifndef _WIN32
TEST_F(RsafTest, ASourceThatChangesWhileItIsReadFailsTheJob) {
  pair_ = kFast;
  MakeFiles(200000);
  const Bytes plain = ReadFileBytes(plain_), cipher = ReadFileBytes(cipher_),
              signature = ReadFileBytes(sig_);
  const struct {
    const char* command;
    std::string source, destination;
    bool grows;
  } cases[] = {
      {"/E", plain_, out_, true},     {"/E", plain_, out_, false},
      {"/D", cipher_, out_, true},    {"/D", cipher_, out_, false},
      {"/HASH", plain_, out_, true},  {"/SIGN", plain_, out_, false},
      {"/CHECK", plain_, sig_, true}, {"/CHECK", plain_, sig_, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + (c.grows ? " grows" : " shrinks"));
    WriteFileBytes(plain_, plain);
    WriteFileBytes(cipher_, cipher);
    WriteFileText(out_, "keep");
    bool changed = false;
    ui_.progress.clear();
    ui_.cancelWhen = ChangeSourceOnce(c.source, c.grows, changed);
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y"), &code),
              Native(kReadError) + c.source);
    EXPECT_TRUE(changed);
    EXPECT_EQ(ReadFileText(out_), "keep");
    EXPECT_TRUE(ReadFileBytes(sig_) == signature);
    EXPECT_EQ(folder_.Names(), made_);
  }
}
#endif

}  // namespace
}  // namespace nc::test
