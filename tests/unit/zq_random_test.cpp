// ZQCOM32: zq_rnd, DESGenKey, GOSGenKey.
//
// Weak DES keys are judged by independent peers: libgcrypt's DES refuses the
// weak, semi-weak and possibly weak keys in gcry_cipher_setkey, and OpenSSL's
// DES_is_weak_key knows the weak and semi-weak ones (when the tests are linked
// with OpenSSL: NCCORE_HAVE_OPENSSL).
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "zq/gcrypt_init.h"
#include "zq/random_internal.h"
#include "zq/zq.h"

#ifdef NCCORE_HAVE_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#endif

namespace {

constexpr uint32_t kSentinel = 0xA5C3E1F7u;

// A WordBlock on the heap with room for exactly `room` words, so that
// AddressSanitizer reports any write past them; the words start as a
// sentinel.
class Block {
 public:
  Block(uint32_t count, uint32_t room) : room_(room), data_(new uint32_t[1 + room]) {
    data_[0] = count;
    std::fill_n(&data_[1], room, kSentinel);
  }
  WordBlock* get() { return reinterpret_cast<WordBlock*>(data_.get()); }
  uint32_t count() const { return data_[0]; }
  uint32_t word(uint32_t i) const { return data_[1 + i]; }
  std::vector<uint32_t> words() const { return {&data_[1], &data_[1] + room_}; }

 private:
  uint32_t room_;
  std::unique_ptr<uint32_t[]> data_;
};

using DesKey = std::array<uint8_t, 8>;

DesKey KeyBytes(Block& block) {
  DesKey key;
  std::memcpy(key.data(), &block.get()->words[0], 8);
  return key;
}

// The 4 weak and 12 semi-weak DES keys (FIPS 74, section 3.6), with parity.
const DesKey kWeakAndSemiWeak[16] = {
    {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01},
    {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE},
    {0xE0, 0xE0, 0xE0, 0xE0, 0xF1, 0xF1, 0xF1, 0xF1},
    {0x1F, 0x1F, 0x1F, 0x1F, 0x0E, 0x0E, 0x0E, 0x0E},
    {0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE},
    {0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01},
    {0x1F, 0xE0, 0x1F, 0xE0, 0x0E, 0xF1, 0x0E, 0xF1},
    {0xE0, 0x1F, 0xE0, 0x1F, 0xF1, 0x0E, 0xF1, 0x0E},
    {0x01, 0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1},
    {0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1, 0x01},
    {0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E, 0xFE},
    {0xFE, 0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E},
    {0x01, 0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E},
    {0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E, 0x01},
    {0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1, 0xFE},
    {0xFE, 0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1},
};

bool HasOddParity(uint8_t byte) { return std::popcount(static_cast<unsigned>(byte)) % 2 == 1; }

// libgcrypt's verdict: its DES key set-up refuses weak keys.
bool LibgcryptCallsWeak(const DesKey& key) {
  nc::zq::EnsureGcrypt();
  gcry_cipher_hd_t cipher = nullptr;
  EXPECT_EQ(gcry_cipher_open(&cipher, GCRY_CIPHER_DES, GCRY_CIPHER_MODE_ECB, 0), 0u);
  const gcry_error_t error = gcry_cipher_setkey(cipher, key.data(), key.size());
  gcry_cipher_close(cipher);
  EXPECT_TRUE(error == 0 || gcry_err_code(error) == GPG_ERR_WEAK_KEY) << gcry_strerror(error);
  return gcry_err_code(error) == GPG_ERR_WEAK_KEY;
}

#ifdef NCCORE_HAVE_OPENSSL
bool OpenSslCallsWeak(const DesKey& key) {
  DES_cblock block;
  std::memcpy(block, key.data(), 8);
  return DES_is_weak_key(&block) != 0;
}
#endif

// Permuted choice 1 written from its description in FIPS 46-3 rather than
// copied as a table: C takes bit columns 1, 2, 3 of bytes 8..1 and column 4
// of bytes 8..5; D takes columns 7, 6, 5 of bytes 8..1 and column 4 of bytes
// 4..1. Key bit n (1..64) is bit (8 - column) of byte (n - 1) / 8.
std::array<int, 28> Pc1Half(bool d) {
  std::array<int, 28> bits{};
  int i = 0;
  for (int column : d ? std::array<int, 3>{7, 6, 5} : std::array<int, 3>{1, 2, 3})
    for (int byte = 8; byte >= 1; --byte) bits[i++] = 8 * (byte - 1) + column;
  for (int byte = d ? 4 : 8; byte >= (d ? 1 : 5); --byte) bits[i++] = 8 * (byte - 1) + 4;
  return bits;
}

// The key (odd parity) whose C and D halves repeat the 4-bit patterns c and d.
DesKey KeyFromPeriodicHalves(unsigned c, unsigned d) {
  DesKey key{};
  for (int half = 0; half < 2; ++half) {
    const std::array<int, 28> bits = Pc1Half(half == 1);
    const unsigned pattern = half == 0 ? c : d;
    for (int i = 0; i < 28; ++i) {
      if (((pattern >> (3 - i % 4)) & 1u) == 0) continue;
      const int n = bits[i] - 1;
      key[n / 8] |= static_cast<uint8_t>(0x80u >> (n % 8));
    }
  }
  for (uint8_t& byte : key)
    if (!HasOddParity(byte)) byte ^= 1;
  return key;
}

std::vector<DesKey> AllPeriodicKeys() {
  std::vector<DesKey> keys;
  for (unsigned c = 0; c < 16; ++c)
    for (unsigned d = 0; d < 16; ++d) keys.push_back(KeyFromPeriodicHalves(c, d));
  return keys;
}

// ---- zq_rnd ---------------------------------------------------------------------

TEST(ZqRandomTest, FillsExactlyCountWordsAndKeepsTheCount) {
  for (uint32_t count : {1u, 2u, 3u, 8u, 17u, 64u, 255u, 256u}) {
    SCOPED_TRACE(count);
    Block block(count, count + 1);
    zq_rnd(block.get());
    EXPECT_EQ(block.count(), count);
    EXPECT_EQ(block.word(count), kSentinel);  // the word after the block's count
  }
}

TEST(ZqRandomTest, CountZeroFillsNothing) {
  Block block(0, 2);
  zq_rnd(block.get());
  EXPECT_EQ(block.count(), 0u);
  EXPECT_EQ(block.words(), std::vector<uint32_t>(2, kSentinel));
}

TEST(ZqRandomTest, CountAboveTheLimitIsTakenAsTheLimit) {
  Block block(ZQ_MAX_WORDS + 40, ZQ_MAX_WORDS + 40);
  zq_rnd(block.get());
  EXPECT_EQ(block.count(), static_cast<uint32_t>(ZQ_MAX_WORDS));
  for (uint32_t i = ZQ_MAX_WORDS; i < ZQ_MAX_WORDS + 40; ++i) EXPECT_EQ(block.word(i), kSentinel);
}

TEST(ZqRandomTest, DiffersBetweenCalls) {
  Block first(4, 4), second(4, 4);
  zq_rnd(first.get());
  zq_rnd(second.get());
  EXPECT_NE(first.words(), second.words());
  // A single word too: 64 one-word draws are not all the same.
  std::set<uint32_t> seen;
  for (int i = 0; i < 64; ++i) {
    Block one(1, 1);
    zq_rnd(one.get());
    seen.insert(one.word(0));
  }
  EXPECT_GT(seen.size(), 1u);
}

TEST(ZqRandomTest, EveryBitPositionVaries) {
  // Over 256 random words each bit position is 0 somewhere and 1 somewhere
  // (a stuck bit would fail; chance failure about 2^-250).
  Block block(256, 256);
  zq_rnd(block.get());
  uint32_t ones = 0, zeros = 0;
  for (uint32_t w : block.words()) {
    ones |= w;
    zeros |= ~w;
  }
  EXPECT_EQ(ones, 0xFFFFFFFFu);
  EXPECT_EQ(zeros, 0xFFFFFFFFu);
}

// ---- GOSGenKey --------------------------------------------------------------------

TEST(ZqGosGenKeyTest, SetsCountEightAndFillsThirtyTwoBytes) {
  // The caller draws a one-word challenge into the block first, then the key.
  Block first(1, 8), second(1, 8);
  zq_rnd(first.get());
  GOSGenKey(first.get());
  GOSGenKey(second.get());
  EXPECT_EQ(first.count(), 8u);
  EXPECT_EQ(second.count(), 8u);
  EXPECT_NE(first.words(), second.words());
  std::vector<uint32_t> zero(8, 0);
  EXPECT_NE(first.words(), zero);
  // None of the words is left as it was.
  int untouched = 0;
  for (uint32_t w : second.words()) untouched += w == kSentinel;
  EXPECT_EQ(untouched, 0);
}

// ---- weak DES keys ------------------------------------------------------------------

TEST(ZqDesWeakKeyTest, TheStandardWeakAndSemiWeakKeysAreRejected) {
  for (const DesKey& key : kWeakAndSemiWeak) {
    SCOPED_TRACE(testing::PrintToString(key));
    for (uint8_t byte : key) EXPECT_TRUE(HasOddParity(byte));
    EXPECT_TRUE(LibgcryptCallsWeak(key));  // the table above is right
#ifdef NCCORE_HAVE_OPENSSL
    EXPECT_TRUE(OpenSslCallsWeak(key));
#endif
    EXPECT_TRUE(nc::zq::IsWeakDesKey(key.data()));
  }
}

TEST(ZqDesWeakKeyTest, ParityBitsDoNotMatter) {
  for (const DesKey& weak : kWeakAndSemiWeak) {
    DesKey key = weak;
    for (uint8_t& byte : key) byte ^= 1;
    EXPECT_TRUE(nc::zq::IsWeakDesKey(key.data())) << testing::PrintToString(key);
  }
}

TEST(ZqDesWeakKeyTest, RejectedSetIsThePeriodicHalvesAndHoldsLibgcryptsList) {
  const std::vector<DesKey> keys = AllPeriodicKeys();
  ASSERT_EQ(std::set<DesKey>(keys.begin(), keys.end()).size(), 256u);
  int libgcryptWeak = 0;
  for (const DesKey& key : keys) {
    EXPECT_TRUE(nc::zq::IsWeakDesKey(key.data())) << testing::PrintToString(key);
    libgcryptWeak += LibgcryptCallsWeak(key);
  }
  // libgcrypt's table holds the 4 weak, 12 semi-weak and 48 possibly weak
  // keys; all 64 are among the 256 keys rejected here.
  EXPECT_EQ(libgcryptWeak, 64);
  // The 16 standard keys are among them too.
  for (const DesKey& key : kWeakAndSemiWeak)
    EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << testing::PrintToString(key);
}

TEST(ZqDesWeakKeyTest, OneFlippedKeyBitMakesAKeyAcceptable) {
  for (const DesKey& periodic : AllPeriodicKeys()) {
    for (int bit = 0; bit < 64; ++bit) {
      if (bit % 8 == 7) continue;  // parity bits
      DesKey key = periodic;
      key[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
      EXPECT_FALSE(nc::zq::IsWeakDesKey(key.data())) << testing::PrintToString(key);
    }
  }
}

TEST(ZqDesWeakKeyTest, OrdinaryKeysAreAccepted) {
  const DesKey samples[] = {
      {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1},  // the classic worked example
      {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
      {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02},
      {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10},
  };
  for (const DesKey& key : samples) {
    EXPECT_FALSE(nc::zq::IsWeakDesKey(key.data())) << testing::PrintToString(key);
    EXPECT_FALSE(LibgcryptCallsWeak(key));
  }
}

// ---- DESGenKey --------------------------------------------------------------------

TEST(ZqDesGenKeyTest, KeysHaveOddParityAndAreNeverWeak) {
  std::set<DesKey> seen;
  for (int draw = 0; draw < 3000; ++draw) {
    Block block(1, 2);  // room for exactly 2 words, count 1 from the challenge
    DESGenKey(block.get());
    ASSERT_EQ(block.count(), 2u);
    const DesKey key = KeyBytes(block);
    for (uint8_t byte : key) ASSERT_TRUE(HasOddParity(byte)) << testing::PrintToString(key);
    for (const DesKey& weak : kWeakAndSemiWeak) ASSERT_NE(key, weak);
    ASSERT_FALSE(LibgcryptCallsWeak(key)) << testing::PrintToString(key);
#ifdef NCCORE_HAVE_OPENSSL
    ASSERT_FALSE(OpenSslCallsWeak(key)) << testing::PrintToString(key);
#endif
    seen.insert(key);
  }
  EXPECT_EQ(seen.size(), 3000u);  // 56 random bits: no repeats expected
}

// A scripted random source: hands out the given keys' bytes in turn.
struct Script {
  std::vector<DesKey> draws;
  size_t next = 0;
  static void Draw(uint8_t* out, size_t n, void* context) {
    auto* script = static_cast<Script*>(context);
    ASSERT_EQ(n, 8u);
    ASSERT_LT(script->next, script->draws.size()) << "drew more keys than scripted";
    std::memcpy(out, script->draws[script->next++].data(), 8);
  }
};

TEST(ZqDesGenKeyTest, RedrawsWhileTheKeyIsWeak) {
  // Weak, semi-weak and possibly weak draws, some with their parity bits
  // wrong, before an ordinary one: the generator skips them all.
  Script script;
  script.draws = {
      {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // the weak 0101..01 once parity is set
      {0x1F, 0xE0, 0x1F, 0xE0, 0x0E, 0xF1, 0x0E, 0xF1},  // semi-weak
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // the weak FEFE..FE
      KeyFromPeriodicHalves(0x3, 0x6),                   // possibly weak
      {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0},  // ordinary, even parity bytes
  };
  DesKey key;
  nc::zq::GenerateDesKey(key.data(), &Script::Draw, &script);
  EXPECT_EQ(script.next, 5u);
  EXPECT_EQ(key, (DesKey{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1}));
}

TEST(ZqDesGenKeyTest, KeepsTheFirstOrdinaryDraw) {
  Script script;
  script.draws = {{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1}};
  DesKey key;
  nc::zq::GenerateDesKey(key.data(), &Script::Draw, &script);
  EXPECT_EQ(script.next, 1u);
  EXPECT_EQ(key, script.draws[0]);
}

TEST(ZqDesGenKeyTest, KeysWorkWithTheDesKeyContext) {
  DesKeyContext context{};
  DESGenKey(reinterpret_cast<WordBlock*>(&context));
  EXPECT_EQ(context.count, 2u);
  EXPECT_NE(context.key[0] | context.key[1], 0u);
  for (uint8_t byte : context.schedule) EXPECT_EQ(byte, 0);  // untouched
}

TEST(ZqDesWeakKeyTest, OpenSslFindsItsWeakKeysAmongTheRejected) {
#ifndef NCCORE_HAVE_OPENSSL
  GTEST_SKIP() << "unit tests built without OpenSSL (NCCORE_HAVE_OPENSSL)";
#else
  // OpenSSL knows the 16 weak and semi-weak keys: all lie in the rejected set.
  int openSslWeak = 0;
  for (const DesKey& key : AllPeriodicKeys()) openSslWeak += OpenSslCallsWeak(key);
  EXPECT_EQ(openSslWeak, 16);
#endif
}

}  // namespace
