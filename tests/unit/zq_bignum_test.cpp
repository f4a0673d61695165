// ZQBIG32: zq_mov, zq_bit, zq_mod, zq_shr, zq_emd.
//
// Oracles, none of which shares code with the library:
//   - libgcrypt's MPIs used directly, reached through gcry_mpi_scan and
//     gcry_mpi_aprint (the library builds its MPIs with shifts and reads them
//     back bit by bit);
//   - OpenSSL's BIGNUMs, when the tests are linked with OpenSSL
//     (NCCORE_HAVE_OPENSSL);
//   - small references written here: bit-by-bit shifting, shift-and-subtract
//     remainders, and 64-bit modular exponentiation for one-word moduli.
// Operands are random (a fixed seed per test), 1 to 64 words, with leading
// zero words, small top words and all-ones words mixed in. Result blocks get
// exactly the room the header promises, so AddressSanitizer catches a write
// beyond it.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "zq/bignum_mpi.h"
#include "zq/gcrypt_init.h"
#include "zq/zq.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/bn.h>
#endif

namespace {

using Words = std::vector<uint32_t>;  // least significant word first

constexpr uint32_t kSentinel = 0x5EC0DE5Au;

// The expected form of a result: no leading zero words, at least one word.
Words Normal(Words w) {
  while (w.size() > 1 && w.back() == 0) w.pop_back();
  if (w.empty()) w.push_back(0);
  return w;
}

// Pads (or normalises) to exactly n words; the value must fit.
Words Padded(Words w, size_t n) {
  w = Normal(w);
  while (w.size() > n && w.back() == 0) w.pop_back();
  w.resize(n, 0);
  return w;
}

// A WordBlock on the heap with room for exactly `room` words (at least 1).
class Block {
 public:
  Block(const Words& value, size_t room)
      : room_(std::max<size_t>(room, 1)), data_(new uint32_t[1 + room_]) {
    data_[0] = static_cast<uint32_t>(value.size());
    std::fill_n(&data_[1], room_, kSentinel);
    std::copy(value.begin(), value.end(), &data_[1]);
  }
  explicit Block(const Words& value) : Block(value, value.size()) {}

  WordBlock* get() { return reinterpret_cast<WordBlock*>(data_.get()); }
  uint32_t count() const { return data_[0]; }
  // The first `count` words (all of the room if the count claims more).
  Words value() const { return {&data_[1], &data_[1] + std::min<size_t>(data_[0], room_)}; }
  Words room() const { return {&data_[1], &data_[1] + room_}; }

 private:
  size_t room_;
  std::unique_ptr<uint32_t[]> data_;
};

// ---- random operands ---------------------------------------------------------

Words RandomNumber(std::mt19937& rng, size_t words) {
  Words w(words);
  for (uint32_t& x : w) x = rng();
  if (words == 0) return w;
  switch (rng() % 8) {
    case 0:  // a small top word
      w.back() &= 3;
      break;
    case 1:  // a leading zero word
      w.back() = 0;
      break;
    case 2:  // all ones
      std::fill(w.begin(), w.end(), 0xFFFFFFFFu);
      break;
    case 3:  // sparse
      for (uint32_t& x : w) x &= rng() & rng() & rng();
      break;
    default:
      break;
  }
  return w;
}

size_t RandomSize(std::mt19937& rng) { return 1 + rng() % 64; }

// ---- libgcrypt oracle ------------------------------------------------------------

struct Gcry {
  gcry_mpi_t mpi = nullptr;
  explicit Gcry(const Words& w) {
    nc::zq::EnsureGcrypt();
    std::vector<unsigned char> bytes;
    for (size_t i = w.size(); i-- > 0;)
      for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back((w[i] >> shift) & 0xFF);
    if (bytes.empty()) bytes.push_back(0);
    EXPECT_EQ(gcry_mpi_scan(&mpi, GCRYMPI_FMT_USG, bytes.data(), bytes.size(), nullptr), 0u);
  }
  Gcry() : mpi(gcry_mpi_new(0)) {}
  ~Gcry() { gcry_mpi_release(mpi); }
  Gcry(const Gcry&) = delete;
  Gcry& operator=(const Gcry&) = delete;

  Words value() const {
    unsigned char* buffer = nullptr;
    size_t length = 0;
    EXPECT_EQ(gcry_mpi_aprint(GCRYMPI_FMT_USG, &buffer, &length, mpi), 0u);
    Words w((length + 3) / 4, 0);
    for (size_t i = 0; i < length; ++i) {
      const size_t fromLow = length - 1 - i;
      w[fromLow / 4] |= static_cast<uint32_t>(buffer[i]) << (8 * (fromLow % 4));
    }
    gcry_free(buffer);
    return Normal(w);
  }
};

Words GcryMod(const Words& a, const Words& m) {
  Gcry x(a), y(m), r;
  gcry_mpi_mod(r.mpi, x.mpi, y.mpi);
  return r.value();
}

Words GcryPowm(const Words& b, const Words& e, const Words& m) {
  Gcry x(b), y(e), z(m), r;
  gcry_mpi_powm(r.mpi, x.mpi, y.mpi, z.mpi);
  return r.value();
}

// ---- OpenSSL oracle ----------------------------------------------------------------

#ifdef NCCORE_HAVE_OPENSSL
struct Bn {
  BIGNUM* bn;
  explicit Bn(const Words& w) {
    std::vector<unsigned char> bytes;
    for (size_t i = w.size(); i-- > 0;)
      for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back((w[i] >> shift) & 0xFF);
    bn = BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr);
  }
  Bn() : bn(BN_new()) {}
  ~Bn() { BN_free(bn); }
  Bn(const Bn&) = delete;
  Bn& operator=(const Bn&) = delete;
  Words value() const {
    std::vector<unsigned char> bytes(BN_num_bytes(bn));
    BN_bn2bin(bn, bytes.data());
    Words w((bytes.size() + 3) / 4, 0);
    for (size_t i = 0; i < bytes.size(); ++i) {
      const size_t fromLow = bytes.size() - 1 - i;
      w[fromLow / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (fromLow % 4));
    }
    return Normal(w);
  }
};

Words OpenSslMod(const Words& a, const Words& m) {
  Bn x(a), y(m), r;
  BN_CTX* ctx = BN_CTX_new();
  EXPECT_EQ(BN_mod(r.bn, x.bn, y.bn, ctx), 1);
  BN_CTX_free(ctx);
  return r.value();
}

Words OpenSslPowm(const Words& b, const Words& e, const Words& m) {
  Bn x(b), y(e), z(m), r;
  BN_CTX* ctx = BN_CTX_new();
  EXPECT_EQ(BN_mod_exp(r.bn, x.bn, y.bn, z.bn, ctx), 1);
  BN_CTX_free(ctx);
  return r.value();
}
#endif

// ---- references written here ---------------------------------------------------------

bool Bit(const Words& w, uint64_t i) { return i < 32 * w.size() && ((w[i / 32] >> (i % 32)) & 1); }

// n >> s over the same number of words, bit by bit.
Words ReferenceShr(const Words& n, uint64_t s) {
  Words out(n.size(), 0);
  for (uint64_t j = 0; j < 32 * n.size(); ++j)
    if (Bit(n, j + s)) out[j / 32] |= 1u << (j % 32);
  return out;
}

// a mod m by shift-and-subtract, one dividend bit at a time (m nonzero).
Words ReferenceMod(const Words& a, const Words& m) {
  const size_t n = m.size() + 1;
  Words r(n, 0), mm = m;
  mm.resize(n, 0);
  for (uint64_t i = 32 * a.size(); i-- > 0;) {
    // r = 2r + bit
    uint32_t carry = Bit(a, i);
    for (size_t k = 0; k < n; ++k) {
      const uint32_t next = r[k] >> 31;
      r[k] = (r[k] << 1) | carry;
      carry = next;
    }
    // if r >= m: r -= m
    bool geq = true;
    for (size_t k = n; k-- > 0;)
      if (r[k] != mm[k]) {
        geq = r[k] > mm[k];
        break;
      }
    if (geq) {
      uint64_t borrow = 0;
      for (size_t k = 0; k < n; ++k) {
        const uint64_t d = uint64_t{r[k]} - mm[k] - borrow;
        r[k] = static_cast<uint32_t>(d);
        borrow = (d >> 63) & 1;
      }
    }
  }
  return Normal(r);
}

// b^e mod m for a one-word modulus (m nonzero), square and multiply over e's bits.
uint32_t ReferencePowm32(const Words& b, const Words& e, uint32_t m) {
  uint64_t base = 0;
  for (size_t i = b.size(); i-- > 0;) base = ((base << 32) | b[i]) % m;
  uint64_t result = 1 % m;
  for (uint64_t i = 32 * e.size(); i-- > 0;) {
    result = result * result % m;
    if (Bit(e, i)) result = result * base % m;
  }
  return static_cast<uint32_t>(result);
}

// ---- the functions under test, on Words ------------------------------------------------

// zq_mod into a fresh block with the promised room: max(1, min(counts)).
Words Mod(const Words& a, const Words& m) {
  Block x(a), y(m), r({}, std::min(a.size(), m.size()));
  zq_mod(r.get(), x.get(), y.get());
  return r.value();
}

// zq_emd into a fresh block with the promised room: max(1, modulus count).
Words Powm(const Words& b, const Words& e, const Words& m) {
  Block x(b), y(e), z(m), r({}, m.size());
  zq_emd(r.get(), x.get(), y.get(), z.get());
  return r.value();
}

// ---- zq_bit ----------------------------------------------------------------------------

TEST(ZqBignumTest, BitOfZeroIsZero) {
  EXPECT_EQ(zq_bit(Block({}).get()), 0u);
  EXPECT_EQ(zq_bit(Block({0}).get()), 0u);
  EXPECT_EQ(zq_bit(Block(Words(64, 0)).get()), 0u);
}

TEST(ZqBignumTest, BitOfOneWord) {
  EXPECT_EQ(zq_bit(Block({1}).get()), 1u);
  EXPECT_EQ(zq_bit(Block({2}).get()), 2u);
  EXPECT_EQ(zq_bit(Block({3}).get()), 2u);
  EXPECT_EQ(zq_bit(Block({0x80000000u}).get()), 32u);
  EXPECT_EQ(zq_bit(Block({0xFFFFFFFFu}).get()), 32u);
}

TEST(ZqBignumTest, BitOfPowersOfTwoAndTheirPredecessors) {
  // 2^k and 2^k - 1 for every k below 64 * 32, in blocks of 64 words (so most
  // of them carry leading zero words).
  for (uint32_t k = 0; k < 64 * 32; ++k) {
    Words power(64, 0);
    power[k / 32] = 1u << (k % 32);
    EXPECT_EQ(zq_bit(Block(power).get()), k + 1) << "2^" << k;
    Words below(64, 0);
    for (uint32_t i = 0; i < k; ++i) below[i / 32] |= 1u << (i % 32);
    EXPECT_EQ(zq_bit(Block(below).get()), k) << "2^" << k << " - 1";
  }
}

TEST(ZqBignumTest, BitMatchesLibgcrypt) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const Words n = RandomNumber(rng, RandomSize(rng));
    EXPECT_EQ(zq_bit(Block(n).get()), gcry_mpi_get_nbits(Gcry(n).mpi));
  }
}

TEST(ZqBignumTest, BitIgnoresWordsBeyondTheLimit) {
  Words n(ZQ_MAX_WORDS + 8, 0);
  n[3] = 1;
  n[ZQ_MAX_WORDS + 2] = 1;  // beyond the words any primitive reads
  EXPECT_EQ(zq_bit(Block(n).get()), 3u * 32 + 1);
}

// ---- zq_mov ----------------------------------------------------------------------------

TEST(ZqBignumTest, MovCopiesCountAndWordsOnly) {
  std::mt19937 rng(12);
  for (size_t size : {0, 1, 2, 17, 64}) {
    const Words src = RandomNumber(rng, size);
    Block from(src), to({0xDEADu}, size + 3);
    zq_mov(to.get(), from.get());
    EXPECT_EQ(to.count(), size);
    EXPECT_EQ(to.value(), src);  // the count is copied, leading zeros kept
    const Words room = to.room();
    for (size_t i = std::max<size_t>(size, 1); i < room.size(); ++i) EXPECT_EQ(room[i], kSentinel);
    if (size == 0) {
      EXPECT_EQ(room[0], 0xDEADu);
    }
  }
}

TEST(ZqBignumTest, MovOntoItselfKeepsTheNumber) {
  const Words n = {1, 2, 3, 0};
  Block b(n);
  zq_mov(b.get(), b.get());
  EXPECT_EQ(b.count(), 4u);
  EXPECT_EQ(b.value(), n);
}

TEST(ZqBignumTest, MovBetweenOverlappingBlocks) {
  // Destination one word above the source: its count lands on the source's
  // first word.
  {
    uint32_t buffer[8] = {5, 10, 11, 12, 13, 14, 0, 0};
    zq_mov(reinterpret_cast<WordBlock*>(buffer + 1), reinterpret_cast<WordBlock*>(buffer));
    EXPECT_EQ(buffer[1], 5u);
    EXPECT_EQ(Words(buffer + 2, buffer + 7), (Words{10, 11, 12, 13, 14}));
  }
  // Destination one word below the source.
  {
    uint32_t buffer[8] = {0, 3, 20, 21, 22, 0, 0, 0};
    zq_mov(reinterpret_cast<WordBlock*>(buffer), reinterpret_cast<WordBlock*>(buffer + 1));
    EXPECT_EQ(buffer[0], 3u);
    EXPECT_EQ(Words(buffer + 1, buffer + 4), (Words{20, 21, 22}));
  }
}

TEST(ZqBignumTest, MovTakesAtMostTheLimit) {
  Words n(ZQ_MAX_WORDS + 5);
  for (size_t i = 0; i < n.size(); ++i) n[i] = static_cast<uint32_t>(i * 7 + 1);
  Block from(n), to({}, ZQ_MAX_WORDS);
  zq_mov(to.get(), from.get());
  EXPECT_EQ(to.count(), static_cast<uint32_t>(ZQ_MAX_WORDS));
  EXPECT_EQ(to.value(), Words(n.begin(), n.begin() + ZQ_MAX_WORDS));
}

// ---- zq_shr ----------------------------------------------------------------------------

TEST(ZqBignumTest, ShrMatchesReferenceForEveryShiftBelow32) {
  std::mt19937 rng(13);
  for (int round = 0; round < 60; ++round) {
    const Words n = RandomNumber(rng, RandomSize(rng));
    for (uint32_t s = 0; s < 32; ++s) {
      Block b(n);
      zq_shr(b.get(), s);
      ASSERT_EQ(b.count(), n.size()) << "shift " << s;
      ASSERT_EQ(b.value(), ReferenceShr(n, s)) << "shift " << s << " of " << n.size() << " words";
      Gcry expected(n);
      gcry_mpi_rshift(expected.mpi, expected.mpi, s);
      ASSERT_EQ(b.value(), Padded(expected.value(), n.size())) << "shift " << s;
    }
  }
}

TEST(ZqBignumTest, ShrByZeroAnd31) {
  Block zero({0x89ABCDEFu, 0x01234567u});
  zq_shr(zero.get(), 0);
  EXPECT_EQ(zero.value(), (Words{0x89ABCDEFu, 0x01234567u}));
  Block most({0x89ABCDEFu, 0x01234567u, 0x80000001u});
  zq_shr(most.get(), 31);
  EXPECT_EQ(most.value(), (Words{0x02468ACFu, 0x00000002u, 0x00000001u}));
}

TEST(ZqBignumTest, ShrKeepsATopWordThatBecomesZero) {
  Block b({0x12345678u, 0x00000001u});
  zq_shr(b.get(), 1);
  EXPECT_EQ(b.count(), 2u);
  EXPECT_EQ(b.value(), (Words{0x891A2B3Cu, 0u}));
  // A random 33-bit number drawn as two words and shifted by 31 keeps both
  // words, the upper one below 2.
  for (int round = 0; round < 50; ++round) {
    Block x({}, 2);
    x.get()->count = 2;
    zq_rnd(x.get());
    zq_shr(x.get(), (32 - 33 % 32) % 32);
    EXPECT_EQ(x.count(), 2u);
    EXPECT_LT(x.value()[1], 2u);
  }
}

TEST(ZqBignumTest, ShrByWholeWordsAndBeyond) {
  std::mt19937 rng(14);
  for (int round = 0; round < 40; ++round) {
    const Words n = RandomNumber(rng, RandomSize(rng));
    const uint32_t bits = static_cast<uint32_t>(32 * n.size());
    for (uint32_t s :
         {32u, 33u, 63u, 64u, 95u, bits - 1, bits, bits + 5, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      Block b(n);
      zq_shr(b.get(), s);
      ASSERT_EQ(b.count(), n.size());
      ASSERT_EQ(b.value(), ReferenceShr(n, s)) << "shift " << s << " of " << n.size() << " words";
    }
  }
}

TEST(ZqBignumTest, ShrOfAnEmptyBlockDoesNothing) {
  Block b({}, 1);
  zq_shr(b.get(), 5);
  EXPECT_EQ(b.count(), 0u);
  EXPECT_EQ(b.room(), Words{kSentinel});
}

// ---- zq_mod ----------------------------------------------------------------------------

TEST(ZqBignumTest, ModMatchesOraclesOnRandomOperands) {
  std::mt19937 rng(15);
  for (int round = 0; round < 250; ++round) {
    const Words a = RandomNumber(rng, RandomSize(rng));
    Words m = RandomNumber(rng, RandomSize(rng));
    if (Normal(m) == Words{0}) m[0] = 1 + rng() % 1000;
    SCOPED_TRACE(testing::Message() << a.size() << " mod " << m.size() << " words");
    const Words actual = Mod(a, m);
    ASSERT_EQ(actual, GcryMod(a, m));
    ASSERT_EQ(actual, ReferenceMod(a, m));
#ifdef NCCORE_HAVE_OPENSSL
    ASSERT_EQ(actual, OpenSslMod(a, m));
#endif
  }
}

TEST(ZqBignumTest, ModOfOneWordNumbers) {
  // RandomLengthNumber's use: M = R mod M on one-word blocks.
  std::mt19937 rng(16);
  for (int round = 0; round < 500; ++round) {
    const uint32_t r = rng();
    const uint32_t m = round < 20 ? static_cast<uint32_t>(round + 1) : 1 + rng() % 2040;
    Block rb({r}), mb({m});
    zq_mod(mb.get(), rb.get(), mb.get());
    ASSERT_EQ(mb.count(), 1u);
    ASSERT_EQ(mb.value(), Words{r % m});
  }
}

TEST(ZqBignumTest, ModResultMayBeTheModulusOrTheDividend) {
  std::mt19937 rng(17);
  for (int round = 0; round < 60; ++round) {
    const Words a = RandomNumber(rng, RandomSize(rng));
    Words m = RandomNumber(rng, RandomSize(rng));
    m[0] |= 1;
    const Words expected = GcryMod(a, m);
    {
      Block x(a), y(m);
      zq_mod(y.get(), x.get(), y.get());
      ASSERT_EQ(y.value(), expected);
      ASSERT_EQ(x.value(), a);
    }
    {
      Block x(a), y(m);
      zq_mod(x.get(), x.get(), y.get());
      ASSERT_EQ(x.value(), expected);
      ASSERT_EQ(y.value(), m);
    }
  }
  // Everything the same block: x mod x = 0.
  Block x({7, 8, 9});
  zq_mod(x.get(), x.get(), x.get());
  EXPECT_EQ(x.value(), Words{0});
}

TEST(ZqBignumTest, ModByZeroGivesZero) {
  for (const Words& zero : {Words{}, Words{0}, Words{0, 0, 0}}) {
    EXPECT_EQ(Mod({1, 2, 3}, zero), Words{0});
    EXPECT_EQ(Mod({}, zero), Words{0});
    Block a({5, 6}), m(zero, 3);
    zq_mod(m.get(), a.get(), m.get());  // result aliasing the zero modulus
    EXPECT_EQ(m.count(), 1u);
    EXPECT_EQ(m.value(), Words{0});
  }
}

TEST(ZqBignumTest, ModEdgeCases) {
  EXPECT_EQ(Mod({0x12345678u, 0x9ABCDEF0u}, {1}), Words{0});        // modulus 1
  EXPECT_EQ(Mod({}, {7}), Words{0});                                // zero dividend
  EXPECT_EQ(Mod({0, 0, 0}, {7, 1}), Words{0});                      // zero with leading words
  EXPECT_EQ(Mod({5, 0, 0}, {7, 1}), Words{5});                      // smaller than the modulus
  EXPECT_EQ(Mod({7, 1}, {7, 1, 0, 0}), Words{0});                   // equal, modulus padded
  EXPECT_EQ(Mod({8, 1}, {7, 1}), Words{1});                         // one more
  EXPECT_EQ(Mod({0, 0, 1}, {0xFFFFFFFFu, 0xFFFFFFFFu}), Words{1});  // 2^64 mod (2^64 - 1)
  // The top word of the result becomes zero: 2^63 + 5 mod 2^32 + 1 fits one word.
  EXPECT_EQ(Mod({5, 0x80000000u}, {1, 1}), GcryMod({5, 0x80000000u}, {1, 1}));
}

// ---- zq_emd ----------------------------------------------------------------------------

TEST(ZqBignumTest, EmdMatchesOraclesOnRandomOperands) {
  std::mt19937 rng(18);
  for (int round = 0; round < 120; ++round) {
    const Words b = RandomNumber(rng, RandomSize(rng));
    const Words e = RandomNumber(rng, round < 100 ? 1 + rng() % 16 : RandomSize(rng));
    Words m = RandomNumber(rng, RandomSize(rng));
    if (Normal(m) == Words{0}) m[0] = 1 + rng() % 1000;
    if (round % 3 == 0) m[0] &= ~1u;  // even moduli too
    if (Normal(m) == Words{0}) m[0] = 2;
    SCOPED_TRACE(testing::Message() << b.size() << "^" << e.size() << " mod " << m.size()
                                    << " words, round " << round);
    const Words actual = Powm(b, e, m);
    ASSERT_EQ(actual, GcryPowm(b, e, m));
#ifdef NCCORE_HAVE_OPENSSL
    ASSERT_EQ(actual, OpenSslPowm(b, e, m));
#endif
  }
}

TEST(ZqBignumTest, EmdWithOneWordModuliMatchesReference) {
  std::mt19937 rng(19);
  for (int round = 0; round < 400; ++round) {
    const Words b = RandomNumber(rng, 1 + rng() % 4);
    const Words e = RandomNumber(rng, 1 + rng() % 4);
    const uint32_t m = round < 10 ? static_cast<uint32_t>(round + 1) : rng() | 1;
    ASSERT_EQ(Powm(b, e, {m}), Words{ReferencePowm32(b, e, m)}) << "modulus " << m;
  }
  EXPECT_EQ(Powm({4}, {13}, {497}), Words{445});
}

TEST(ZqBignumTest, EmdResultMayBeAnyOperand) {
  std::mt19937 rng(20);
  for (int round = 0; round < 24; ++round) {
    const Words b = RandomNumber(rng, RandomSize(rng));
    const Words e = RandomNumber(rng, 1 + rng() % 8);
    Words m = RandomNumber(rng, RandomSize(rng));
    m.back() |= 1;
    const Words expected = GcryPowm(b, e, m);
    for (int alias = 0; alias < 3; ++alias) {
      // The operand that takes the result needs the result's room: the modulus's count.
      const size_t room = m.size();
      Block x(b, std::max(b.size(), room)), y(e, std::max(e.size(), room)), z(m);
      WordBlock* result = alias == 0 ? x.get() : alias == 1 ? y.get() : z.get();
      zq_emd(result, x.get(), y.get(), z.get());
      const Words got = alias == 0 ? x.value() : alias == 1 ? y.value() : z.value();
      ASSERT_EQ(got, expected) << "result in operand " << alias;
    }
  }
  // All four the same block: x^x mod x.
  for (const Words& x : {Words{7}, Words{0x10001u, 3}, Words{1}}) {
    Block all(x);
    zq_emd(all.get(), all.get(), all.get(), all.get());
    EXPECT_EQ(all.value(), GcryPowm(x, x, x));
  }
}

TEST(ZqBignumTest, EmdEdgeCases) {
  const Words m = {0xFFFFFFFBu, 0x00000003u};
  for (const Words& zero : {Words{}, Words{0}, Words{0, 0}}) {
    EXPECT_EQ(Powm({3}, {5}, zero), Words{0}) << "zero modulus";
    EXPECT_EQ(Powm({3}, zero, m), Words{1}) << "zero exponent";
    EXPECT_EQ(Powm(zero, {5}, m), Words{0}) << "zero base";
    EXPECT_EQ(Powm(zero, zero, m), Words{1}) << "0^0";
    EXPECT_EQ(Powm({3}, zero, {1}), Words{0}) << "zero exponent, modulus 1";
  }
  EXPECT_EQ(Powm({12345, 6789}, {0xFFFFFFFFu, 7}, {1}), Words{0});  // modulus 1
  EXPECT_EQ(Powm({1, 2, 3, 4}, {1}, m), GcryMod({1, 2, 3, 4}, m));  // base above modulus
  EXPECT_EQ(Powm({9}, {1}, {0, 0, 1}), Words{9});                   // modulus 2^64
  // A zero modulus with the result in its block.
  Block b({2}), e({3}), z({0, 0});
  zq_emd(z.get(), b.get(), e.get(), z.get());
  EXPECT_EQ(z.count(), 1u);
  EXPECT_EQ(z.value(), Words{0});
}

TEST(ZqBignumTest, EmdSatisfiesFermatForAPrimeModulus) {
  nc::zq::EnsureGcrypt();
  gcry_mpi_t prime = nullptr;
  ASSERT_EQ(gcry_prime_generate(&prime, 512, 0, nullptr, nullptr, nullptr, GCRY_WEAK_RANDOM, 0),
            0u);
  Gcry p;
  gcry_mpi_set(p.mpi, prime);
  gcry_mpi_release(prime);
  const Words pw = p.value();
  Words pMinus1 = pw;
  pMinus1[0] -= 1;  // p is odd
  std::mt19937 rng(21);
  for (int round = 0; round < 5; ++round) {
    Words a = RandomNumber(rng, pw.size() - 1);
    a[0] |= 1;
    EXPECT_EQ(Powm(a, pMinus1, pw), Words{1});
    EXPECT_EQ(Powm(a, pw, pw), Normal(a));
  }
}

TEST(ZqBignumTest, EmdWritesOnlyTheResultsWords) {
  // The result has room for the modulus's 3 words; a small result writes one
  // word and leaves the others as they were.
  Block b({2}), e({3}), m({0, 0, 1}), r({}, 3);
  zq_emd(r.get(), b.get(), e.get(), m.get());
  EXPECT_EQ(r.count(), 1u);
  EXPECT_EQ(r.room(), (Words{8, kSentinel, kSentinel}));
}

// ---- conversions -----------------------------------------------------------------------

TEST(ZqBignumTest, ConversionKeepsTheSecureFlagAndTheValue) {
  std::mt19937 rng(22);
  for (size_t size : {0, 1, 2, 3, 31, 64, 256}) {
    const Words n = RandomNumber(rng, size);
    Block in(n);
    nc::zq::SecretMpi mpi = nc::zq::LoadNumber(in.get());
    EXPECT_NE(gcry_mpi_get_flag(mpi.get(), GCRYMPI_FLAG_SECURE), 0) << size << " words";
    EXPECT_EQ(gcry_mpi_cmp(mpi.get(), Gcry(n).mpi), 0) << size << " words";
    Block out({}, size);
    nc::zq::StoreNumber(out.get(), mpi.get(), static_cast<uint32_t>(size));
    EXPECT_EQ(out.value(), Normal(n)) << size << " words";
  }
}

TEST(ZqBignumTest, ConversionReadsAtMostTheLimit) {
  Words n(ZQ_MAX_WORDS + 3, 0);
  n[0] = 1;
  n[ZQ_MAX_WORDS + 1] = 1;  // ignored
  Block in(n);
  nc::zq::SecretMpi mpi = nc::zq::LoadNumber(in.get());
  EXPECT_EQ(gcry_mpi_cmp_ui(mpi.get(), 1), 0);
}

TEST(ZqBignumTest, OpenSslPeerAgreesOnASample) {
#ifndef NCCORE_HAVE_OPENSSL
  GTEST_SKIP() << "unit tests built without OpenSSL (NCCORE_HAVE_OPENSSL)";
#else
  // The two peers agree with each other, so a disagreement above points at us.
  std::mt19937 rng(23);
  for (int round = 0; round < 20; ++round) {
    const Words a = RandomNumber(rng, RandomSize(rng));
    Words m = RandomNumber(rng, RandomSize(rng));
    m[0] |= 1;
    EXPECT_EQ(OpenSslMod(a, m), GcryMod(a, m));
    EXPECT_EQ(OpenSslPowm(a, {65537}, m), GcryPowm(a, {65537}, m));
  }
#endif
}

}  // namespace
