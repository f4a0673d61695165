// ZqGOSP: the key pair it writes from a .PQA file (checked with OpenSSL's
// arithmetic: y = a^x mod p, 0 < x < q), a protected secret key (deciphered
// with libgcrypt's DES-CBC and the vector "BVCXTE"), every way a .PQA file
// is refused, and what a failure leaves (both old files, nothing new).
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "des_reference.h"
#include "des_test_support.h"
#include "frame/data_file.h"
#include "frame/guard_hook.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/ui.h"
#include "protect_test_support.h"
#include "testsupport/ui/scripted_ui.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/bn.h>
#endif
#ifndef _WIN32
#include <csignal>
#endif

namespace nc::test {
namespace {

using platform::ScriptedUi;
using Bytes = std::vector<std::uint8_t>;

// A block of a file: its words, little-endian, from `offset` (the count).
struct FileBlock {
  std::uint32_t count = 0;
  Bytes words;  // 4 * count bytes
  std::size_t end = 0;
};
FileBlock BlockAt(const Bytes& file, std::size_t offset) {
  FileBlock block;
  if (offset + 4 > file.size()) return block;
  block.count = Le32(&file[offset]);
  block.end = offset + 4 + 4 * block.count;
  if (block.end <= file.size())
    block.words.assign(file.begin() + static_cast<std::ptrdiff_t>(offset + 4),
                       file.begin() + static_cast<std::ptrdiff_t>(block.end));
  return block;
}

std::uint32_t IntegrityOf(std::initializer_list<const Bytes*> parts) {
  std::uint32_t value = 0;
  for (const Bytes* part : parts) frame::UpdateIntegrityValue(&value, part->data(), part->size());
  return value;
}

void PutLe32(Bytes& file, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A .PQA file's numbers, and the file rebuilt from them with a fresh
// integrity value (to make files that pass the check and hold bad numbers).
struct Pqa {
  FileBlock p, q, a;
  Bytes values;  // the two generation values
};
Pqa ParsePqa(const Bytes& file) {
  Pqa pqa;
  pqa.p = BlockAt(file, 48);
  pqa.q = BlockAt(file, pqa.p.end);
  pqa.a = BlockAt(file, pqa.q.end);
  pqa.values.assign(file.begin() + static_cast<std::ptrdiff_t>(pqa.a.end), file.end());
  return pqa;
}
Bytes BuildPqa(const Bytes& original, const Pqa& pqa) {
  Bytes file(original.begin(), original.begin() + 48);
  for (const FileBlock* block : {&pqa.p, &pqa.q, &pqa.a}) {
    Bytes count(4);
    PutLe32(count, 0, block->count);
    file.insert(file.end(), count.begin(), count.end());
    file.insert(file.end(), block->words.begin(), block->words.end());
  }
  file.insert(file.end(), pqa.values.begin(), pqa.values.end());
  Bytes first(pqa.values.begin(), pqa.values.begin() + 4);
  Bytes second(pqa.values.begin() + 4, pqa.values.end());
  PutLe32(file, 40, IntegrityOf({&pqa.p.words, &pqa.q.words, &pqa.a.words, &first, &second}));
  return file;
}

#ifdef NCCORE_HAVE_OPENSSL
// Little-endian words as an OpenSSL number.
BIGNUM* Number(const Bytes& words) {
  Bytes big(words.rbegin(), words.rend());
  return BN_bin2bn(big.data(), static_cast<int>(big.size()), nullptr);
}

// y = a^x mod p and 0 < x < q, by OpenSSL.
void ExpectPairOfNumbers(const Pqa& pqa, const Bytes& x, const Bytes& y) {
  BN_CTX* ctx = BN_CTX_new();
  BIGNUM *p = Number(pqa.p.words), *q = Number(pqa.q.words), *a = Number(pqa.a.words);
  BIGNUM *bx = Number(x), *by = Number(y), *power = BN_new();
  EXPECT_FALSE(BN_is_zero(bx));
  EXPECT_LT(BN_cmp(bx, q), 0);
  ASSERT_EQ(BN_mod_exp(power, a, bx, p, ctx), 1);
  EXPECT_EQ(BN_cmp(power, by), 0) << "y is not a^x mod p";
  for (BIGNUM* n : {p, q, a, bx, by, power}) BN_free(n);
  BN_CTX_free(ctx);
}
#endif

class GospTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TempFolder folder;
    int code = -1;
    const std::string name = folder / "n.pqa";
    CallOperation(ZqGOSC, "/NOLOGO " + Quoted(name), &code);
    ASSERT_EQ(code, 0);
    pqa512_ = new Bytes(ReadFileBytes(name));
  }
  static void TearDownTestSuite() {
    delete pqa512_;
    pqa512_ = nullptr;
  }
  void SetUp() override {
    platform::SetUi(&ui_);
    WriteFileBytes(pqa_, *pqa512_);
  }
  void TearDown() override {
    frame::SetGuardedFaultHookForTests(nullptr);
    platform::SetUi(nullptr);
  }

  std::string Gosp(const std::string& extra, int* code) {
    return CallOperation(ZqGOSP,
                         "/PQA:" + Quoted(pqa_) + " /SECRET:" + Quoted(secretSpec_) +
                             " /PUBLIC:" + Quoted(public_) + extra,
                         code);
  }

  static Bytes* pqa512_;
  ScriptedUi ui_;
  TempFolder folder_;
  const std::string pqa_ = folder_ / "n.pqa";
  const std::string secret_ = folder_ / "x.gsk";
  std::string secretSpec_ = secret_;
  const std::string public_ = folder_ / "y.gpk";
};
Bytes* GospTest::pqa512_ = nullptr;

TEST_F(GospTest, APairFollowsTheNumbersAndTheLayout) {
  int code = -1;
  EXPECT_EQ(Gosp("", &code), Native("ZQGOSP00: Операция выполнена успешно"));
  const Bytes secret = ReadFileBytes(secret_), open = ReadFileBytes(public_);
  const frame::DataFileHeader sh = HeaderOf(secret), ph = HeaderOf(open);
  ExpectDataFileHeader(sh, 1, 1, 2);
  ExpectDataFileHeader(ph, 1, 1, 3);
  EXPECT_EQ(sh.protectionCode, 0u);
  EXPECT_EQ(ph.protectionCode, 0u);
  EXPECT_EQ(ph.tokenChallenge, 0u);
  const FileBlock x = BlockAt(secret, 48), y = BlockAt(open, 48);
  EXPECT_EQ(x.end, secret.size());
  EXPECT_EQ(y.end, open.size());
  EXPECT_LE(x.count, 8u);
  EXPECT_EQ(y.count, 16u);  // 512-bit p
  EXPECT_EQ(open.size(), 116u);
  EXPECT_EQ(sh.integrityValue, IntegrityOf({&x.words}));
  EXPECT_EQ(ph.integrityValue, IntegrityOf({&y.words}));
#ifdef NCCORE_HAVE_OPENSSL
  ExpectPairOfNumbers(ParsePqa(*pqa512_), x.words, y.words);
#endif
  // A second pair is another pair.
  Gosp(" /Y", &code);
  EXPECT_NE(BlockAt(ReadFileBytes(secret_), 48).words, x.words);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"n.pqa", "x.gsk", "y.gpk"}));
}

TEST_F(GospTest, AProtectedSecretKeyIsEncipheredWithTheSignatureVector) {
  ui_.carrierScript = [](const ScriptedUi::CarrierEvent& e) {
    if (e.kind != ScriptedUi::CarrierEvent::Open) return ScriptedUi::CarrierAction{};
    return ScriptedUi::CarrierAction{true, "secret", platform::kCarrierOk};
  };
  secretSpec_ = "PWD:" + secret_;
  int code = -1;
  Gosp("", &code);
  ASSERT_EQ(code, 0);
  const Bytes secret = ReadFileBytes(secret_);
  const frame::DataFileHeader sh = HeaderOf(secret);
  EXPECT_EQ(sh.protectionCode, 1u);
  const FileBlock stored = BlockAt(secret, 48);
  ASSERT_EQ(stored.words.size() % 8, 0u);  // a whole number of DES blocks here
  const des_ref::Block iv = {'B', 'V', 'C', 'X', 'T', 'E', 0, 0};
  const Bytes x =
      des_ref::Run(GCRY_CIPHER_MODE_CBC, false, PasswordKeyOf("secret"), iv, stored.words);
  EXPECT_EQ(sh.integrityValue, IntegrityOf({&x}));
  EXPECT_NE(sh.integrityValue, IntegrityOf({&stored.words}));
#ifdef NCCORE_HAVE_OPENSSL
  ExpectPairOfNumbers(ParsePqa(*pqa512_), x, BlockAt(ReadFileBytes(public_), 48).words);
#endif
}

// Every way a .PQA file is refused: its code and its name (after two
// blanks), and nothing written.
TEST_F(GospTest, UnusableCommonNumbersAreRefusedWithTheirName) {
  const Bytes good = *pqa512_;
  const Pqa numbers = ParsePqa(good);
  auto edited = [&](auto change) {
    Pqa pqa = numbers;
    change(pqa);
    return BuildPqa(good, pqa);
  };
  Bytes altered = good;
  altered.back() ^= 1;  // the second generation value
  Bytes wrongKind = good;
  wrongKind[frame::kOffsetKeyKind] = 3;
  Bytes newer = good;
  newer[frame::kOffsetFormatVersion + 1] = 4;
  Bytes tooLarge = good;
  PutLe32(tooLarge, 48, 33);  // p's count beyond its 32 words
  struct Case {
    const char* what;
    Bytes file;
    int code;
  };
  const Case cases[] = {
      {"missing", {}, 2},
      {"short", Bytes(good.begin(), good.begin() + 100), 2},
      {"a block too large", tooLarge, 2},
      {"another kind", wrongKind, 27},
      {"another version", newer, 30},
      {"a generation value altered", altered, 31},
      {"empty blocks", edited([](Pqa& n) { n.p = n.q = n.a = FileBlock{}; }), 27},
      {"a = 1", edited([](Pqa& n) {
         n.a.words.assign(n.a.words.size(), 0);
         n.a.words[0] = 1;
       }),
       27},
      {"q not dividing p - 1", edited([](Pqa& n) { n.q.words[0] ^= 2; }), 27},
      {"a not of order q", edited([](Pqa& n) { n.a.words[0] ^= 1; }), 27},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.file.empty()) {
      std::filesystem::remove(pqa_);
    } else {
      WriteFileBytes(pqa_, c.file);
    }
    int code = -1;
    const std::string text = Gosp("", &code);
    EXPECT_EQ(code, c.code);
    EXPECT_NE(text.find(": " + std::string(" ") + pqa_), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(secret_));
    EXPECT_FALSE(std::filesystem::exists(public_));
  }
}

TEST_F(GospTest, FailuresLeaveBothOldFiles) {
  WriteFileText(secret_, "old secret");
  WriteFileText(public_, "old public");
  int code = -1;
  // No password without a user.
  secretSpec_ = "PWD:" + secret_;
  Gosp(" /Y /NOLOGO", &code);
  EXPECT_EQ(code, 25);
  // An existing secret key without /Y: 11 with its name; the public key is
  // not examined.
  secretSpec_ = secret_;
  EXPECT_EQ(Gosp(" /NOLOGO", &code), Native("ZQGOSP11: Файл уже существует: ") + secret_);
  // The public half cannot be written: neither changes.
  std::filesystem::remove(public_);
  std::filesystem::create_directory(public_);
  Gosp(" /Y", &code);
  EXPECT_EQ(code, 3);
  EXPECT_EQ(ReadFileText(secret_), "old secret");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"n.pqa", "x.gsk", "y.gpk"}));
}

// What the hook does just before the outputs are made (after the numbers
// were read and the pair computed).
std::string g_appearing;
void FileAppears() {
  if (!g_appearing.empty()) WriteFileText(g_appearing, "appeared");
  g_appearing.clear();
}

TEST_F(GospTest, TheLastMomentLeavesBothHalvesAsTheyWere) {
  int code = -1;
  // A public key file appearing meanwhile is not replaced without /Y, and
  // the secret half is not committed either.
  frame::SetGuardedFaultHookForTests(FileAppears);
  g_appearing = public_;
  EXPECT_EQ(Gosp(" /NOLOGO", &code), Native("ZQGOSP11: Файл уже существует: ") + public_);
  EXPECT_EQ(ReadFileText(public_), "appeared");
  EXPECT_FALSE(std::filesystem::exists(secret_));
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"n.pqa", "y.gpk"}));
#ifndef _WIN32
  // A request to end the process: 10, both old files.
  WriteFileText(secret_, "old secret");
  WriteFileText(public_, "old public");
  frame::SetGuardedFaultHookForTests([] { ::raise(SIGTERM); });
  EXPECT_EQ(Gosp(" /Y", &code), Native("ZQGOSP10: Пользователь прервал работу"));
  EXPECT_EQ(ReadFileText(secret_), "old secret");
  EXPECT_EQ(ReadFileText(public_), "old public");
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"n.pqa", "x.gsk", "y.gpk"}));
#endif
  frame::SetGuardedFaultHookForTests(nullptr);
}

TEST_F(GospTest, OptionsAndTheSameFileForBothHalves) {
  int code = -1;
  // "/X:" is skipped up to the next blank; a bare name is refused.
  Gosp(" /X:anything", &code);
  EXPECT_EQ(code, 0);
  Gosp(" stray.name", &code);
  EXPECT_EQ(code, 1);
  // One file for both halves, however it is spelled.
  const std::string dotted = (folder_ / ".") + "/x.gsk";
  EXPECT_EQ(CallOperation(ZqGOSP,
                          "/PQA:" + Quoted(pqa_) + " /SECRET:" + Quoted(secret_) +
                              " /PUBLIC:" + Quoted(dotted) + " /Y",
                          &code),
            Native("ZQGOSP01: Неправильный формат команды"));
}

}  // namespace
}  // namespace nc::test
