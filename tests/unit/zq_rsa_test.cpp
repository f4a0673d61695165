// ZQRSA32: the constant-time exponentiation, RSAGenPQN, RSAGenED, the block
// functions and RSAHash. Oracles: libgcrypt's gcry_mpi_powm and primality
// test, OpenSSL's raw RSA (no padding) through the EVP API, and values
// computed with Python (pow, hashlib.shake_256).
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "hex_bytes.h"
#include "zq/gcrypt_init.h"
#include "zq/rsa.h"
#include "zq/rsa_modexp.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>
#endif

namespace {

using nc::test::Hex;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint32_t>;

static_assert(sizeof(RSAContext) == (sizeof(void*) == 4 ? 1348 : 1352));

// ---- numbers in the tests ------------------------------------------------------
// An owned MPI.
class Mpi {
 public:
  Mpi() : m_(gcry_mpi_new(0)) {}
  explicit Mpi(unsigned long v) : m_(gcry_mpi_set_ui(nullptr, v)) {}
  ~Mpi() { gcry_mpi_release(m_); }
  Mpi(const Mpi& o) : m_(gcry_mpi_copy(o.m_)) {}
  Mpi& operator=(const Mpi&) = delete;
  gcry_mpi_t get() const { return m_; }

 private:
  gcry_mpi_t m_;
};

Mpi FromWords(const uint32_t* w, size_t count) {
  Mpi m;
  for (size_t i = count; i-- > 0;) {
    gcry_mpi_mul_2exp(m.get(), m.get(), 32);
    gcry_mpi_add_ui(m.get(), m.get(), w[i]);
  }
  return m;
}
Mpi FromNumber(const RSANumber& n) { return FromWords(n.words, n.count); }

Words ToWords(const Mpi& m, size_t count) {
  Words w(count, 0);
  for (size_t i = 0; i < 32 * count; ++i)
    if (gcry_mpi_test_bit(m.get(), i)) w[i / 32] |= 1u << (i % 32);
  return w;
}

Mpi FromBigEndian(const uint8_t* bytes, size_t length) {
  Mpi m;
  for (size_t i = 0; i < length; ++i) {
    gcry_mpi_mul_2exp(m.get(), m.get(), 8);
    gcry_mpi_add_ui(m.get(), m.get(), bytes[i]);
  }
  return m;
}

Bytes ToBigEndian(const Mpi& m, size_t length) {
  Bytes out(length, 0);
  for (size_t i = 0; i < 8 * length; ++i)
    if (gcry_mpi_test_bit(m.get(), i)) out[length - 1 - i / 8] |= 1u << (i % 8);
  return out;
}

Mpi PowM(const Mpi& b, const Mpi& x, const Mpi& n) {
  Mpi r;
  gcry_mpi_powm(r.get(), b.get(), x.get(), n.get());
  return r;
}

Mpi FromHex(const char* hex) {
  const Bytes bytes = Hex(hex);
  return FromBigEndian(bytes.data(), bytes.size());
}

unsigned Bits(const Mpi& m) { return gcry_mpi_get_nbits(m.get()); }
bool Equal(const Mpi& a, const Mpi& b) { return gcry_mpi_cmp(a.get(), b.get()) == 0; }

Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// ---- contexts ------------------------------------------------------------------
RSAContext NewContext(uint32_t n_lo, uint32_t n_hi) {
  RSAContext c;
  std::memset(&c, 0, sizeof c);
  c.size = sizeof c;
  c.param = 2;
  c.nBitsLo = n_lo;
  c.nBitsHi = n_hi;
  c.eBitsLo = 2;
  c.eBitsHi = 2048;
  return c;
}

// A generated key pair of exactly `bits` bits (both calls done).
RSAContext GeneratedKey(uint32_t bits) {
  RSAContext c = NewContext(bits, bits);
  EXPECT_EQ(RSAGenPQN(&c, nullptr), kRsaGenDone);
  EXPECT_EQ(RSAGenED(&c, nullptr), kRsaGenDone);
  return c;
}

bool IsZeroNumber(const RSANumber& n) {
  RSANumber zero;
  std::memset(&zero, 0, sizeof zero);
  return std::memcmp(&n, &zero, sizeof n) == 0;
}

// ---- the constant-time exponentiation ------------------------------------------
// Every modulus length from 1 to 64 words against gcry_mpi_powm: the edge
// bases (0, 1, n - 1, random) with the edge exponents (0, 1, 2) in one word,
// and full-length exponents (random, all ones); for the short moduli also
// exponents declared longer than the modulus and with leading zero words.
TEST(ZqRsaModExp, MatchesLibgcryptForEveryModulusLength) {
  nc::zq::EnsureGcrypt();
  std::mt19937 rng(20261211);
  auto random_words = [&](uint32_t count) {
    Words w(count);
    for (auto& v : w) v = rng();
    return w;
  };
  for (uint32_t k = 1; k <= 64; ++k) {
    Words n = random_words(k);
    n[0] |= 1;
    n[k - 1] |= 0x80000000u;
    const Mpi nm = FromWords(n.data(), k);
    Mpi n1;
    gcry_mpi_sub_ui(n1.get(), nm.get(), 1);
    Words one(k, 0);
    one[0] = 1;
    Words random_base = random_words(k);
    random_base[k - 1] &= 0x7FFFFFFFu;
    const Words zero(k, 0), minus_one = ToWords(n1, k);

    struct Case {
      const Words* base;
      Words exponent;
    };
    std::vector<Case> cases;
    for (const Words* b :
         std::initializer_list<const Words*>{&zero, &one, &minus_one, &random_base}) {
      for (uint32_t x : {0u, 1u, 2u}) cases.push_back({b, Words{x}});
    }
    cases.push_back({&random_base, random_words(k)});
    cases.push_back({&minus_one, Words(k, 0xFFFFFFFFu)});
    cases.push_back({&random_base, Words{}});  // no exponent words: b^0
    if (k <= 8) {
      Words leading_zeros = random_words(k + 3);
      leading_zeros[k + 2] = 0;
      leading_zeros[k + 1] = 0;
      cases.push_back({&random_base, random_words(k + 3)});
      cases.push_back({&random_base, leading_zeros});
      cases.push_back({&zero, Words(k, 0)});
    }
    for (const Case& c : cases) {
      const uint32_t x_words = static_cast<uint32_t>(c.exponent.size());
      Words r(k, 0xA5A5A5A5u);
      ASSERT_TRUE(nc::zq::ModExpConstTime(r.data(), c.base->data(), c.exponent.data(), x_words,
                                          n.data(), k));
      const Mpi expected =
          PowM(FromWords(c.base->data(), k), FromWords(c.exponent.data(), x_words), nm);
      ASSERT_TRUE(Equal(FromWords(r.data(), k), expected)) << "k " << k << " x words " << x_words;
    }
  }
}

// Moduli with leading zero words, the modulus 1, results in place, and the
// refusals (the result untouched).
TEST(ZqRsaModExp, EdgeModuliAliasingAndRefusals) {
  nc::zq::EnsureGcrypt();
  const uint32_t one[1] = {1}, two[1] = {2};
  uint32_t r[3] = {7, 7, 7};
  ASSERT_TRUE(nc::zq::ModExpConstTime(r, std::array<uint32_t, 1>{0}.data(), two, 1, one, 1));
  EXPECT_EQ(r[0], 0u);  // anything mod 1

  // 1000003 held in three words.
  const uint32_t padded[3] = {1000003, 0, 0};
  uint32_t b[3] = {123456, 0, 0};
  const uint32_t x[2] = {0xDEADBEEF, 0x12345};
  ASSERT_TRUE(nc::zq::ModExpConstTime(b, b, x, 2, padded, 3));
  const Mpi expected = PowM(Mpi(123456), FromWords(x, 2), Mpi(1000003));
  EXPECT_TRUE(Equal(FromWords(b, 3), expected));

  uint32_t untouched[2] = {9, 9};
  const uint32_t even[2] = {10, 1}, base[2] = {3, 0};
  EXPECT_FALSE(nc::zq::ModExpConstTime(untouched, base, x, 2, even, 2));
  EXPECT_FALSE(nc::zq::ModExpConstTime(untouched, base, x, 2, padded, 0));
  std::vector<uint32_t> big(65, 1);
  EXPECT_FALSE(nc::zq::ModExpConstTime(untouched, base, big.data(), 65, padded, 1));
  EXPECT_FALSE(nc::zq::ModExpConstTime(untouched, base, x, 2, big.data(), 65));
  EXPECT_EQ(untouched[0], 9u);
  EXPECT_EQ(untouched[1], 9u);
}

// A value computed with Python: pow(b, x, n) for a 256-bit n.
TEST(ZqRsaModExp, PythonValue) {
  nc::zq::EnsureGcrypt();
  const Mpi n = FromHex("d23f0824128b2f330c5c7fd0a6a3a4506513270e269e0d37f2a74de452e6b439");
  const Mpi b = FromHex("1b7b3ae681e74ef5e8e25d940ed904759531985d5d9dc9f81818e811892f902b");
  const Mpi x = FromHex("8d116ece1738f7d93d9c172411e20b8f6b0d549b6f03675a1600a35a099950d8");
  const Mpi expected = FromHex("56792c7e8e054de267f498dc198b8ec7674f48496ddf72f6e75d25707d26895f");
  const Words nw = ToWords(n, 8), xw = ToWords(x, 8);
  Words r = ToWords(b, 8);
  ASSERT_TRUE(nc::zq::ModExpConstTime(r.data(), r.data(), xw.data(), 8, nw.data(), 8));
  EXPECT_TRUE(Equal(FromWords(r.data(), 8), expected));
}

// ---- RSAGenPQN and RSAGenED --------------------------------------------------------
// Checks a generated pair against the relations the header promises.
void CheckKey(const RSAContext& c, uint32_t n_lo, uint32_t n_hi) {
  const Mpi p = FromNumber(c.p), q = FromNumber(c.q), n = FromNumber(c.n);
  const Mpi e = FromNumber(c.e), d = FromNumber(c.d);
  const unsigned bits = Bits(n);
  EXPECT_GE(bits, n_lo);
  EXPECT_LE(bits, n_hi);
  EXPECT_EQ(c.n.count, (bits + 31) / 32);  // minimal counts
  EXPECT_EQ(c.pBitsLo, n_lo / 2);
  EXPECT_EQ(c.pBitsHi, n_hi / 2);
  EXPECT_FALSE(Equal(p, q));
  EXPECT_EQ(gcry_prime_check(p.get(), 0), 0u);
  EXPECT_EQ(gcry_prime_check(q.get(), 0), 0u);
  Mpi pq;
  gcry_mpi_mul(pq.get(), p.get(), q.get());
  EXPECT_TRUE(Equal(pq, n));
  // P of ceil(bits/2) bits.
  EXPECT_EQ(Bits(p), (bits + 1) / 2);

  Mpi p1, q1, g, lambda, ed, phi;
  gcry_mpi_sub_ui(p1.get(), p.get(), 1);
  gcry_mpi_sub_ui(q1.get(), q.get(), 1);
  gcry_mpi_mul(phi.get(), p1.get(), q1.get());
  gcry_mpi_gcd(g.get(), p1.get(), q1.get());
  gcry_mpi_div(lambda.get(), nullptr, phi.get(), g.get(), 0);
  gcry_mpi_mulm(ed.get(), e.get(), d.get(), lambda.get());
  EXPECT_EQ(gcry_mpi_cmp_ui(ed.get(), 1), 0) << "E D = 1 mod lcm(P-1, Q-1)";
  EXPECT_TRUE(gcry_mpi_gcd(g.get(), e.get(), phi.get()));
  EXPECT_GE(Bits(e), (bits + 1) / 2);
  EXPECT_LE(Bits(e), bits - 1);
  EXPECT_GT(gcry_mpi_cmp_ui(d.get(), 1), 0);
  EXPECT_FALSE(Equal(d, e));
  // m^(E D) = m for a random m < n.
  Mpi m;
  gcry_mpi_randomize(m.get(), bits, GCRY_WEAK_RANDOM);
  gcry_mpi_clear_highbit(m.get(), bits - 1);  // randomize fills whole bytes
  EXPECT_TRUE(Equal(PowM(PowM(m, e, n), d, n), m));
}

TEST(ZqRsaGen, PairsOfEveryRequestedLength) {
  nc::zq::EnsureGcrypt();
  struct Range {
    uint32_t lo, hi;
  };
  const Range ranges[] = {{18, 18}, {19, 19},   {20, 20},   {21, 21},     {33, 33},    {64, 64},
                          {18, 40}, {511, 511}, {512, 512}, {1023, 1023}, {1024, 1024}};
  for (const Range& r : ranges) {
    // The small lengths several times: their Q interval is narrow.
    const int runs = r.hi <= 64 ? 20 : 1;
    for (int i = 0; i < runs; ++i) {
      SCOPED_TRACE(std::to_string(r.lo) + ".." + std::to_string(r.hi));
      RSAContext c = NewContext(r.lo, r.hi);
      ASSERT_EQ(RSAGenPQN(&c, nullptr), kRsaGenDone);
      ASSERT_EQ(RSAGenED(&c, nullptr), kRsaGenDone);
      CheckKey(c, r.lo, r.hi);
    }
  }
}

TEST(ZqRsaGen, LargestModulus) {
  nc::zq::EnsureGcrypt();
  RSAContext c = NewContext(2048, 2048);
  ASSERT_EQ(RSAGenPQN(&c, nullptr), kRsaGenDone);
  ASSERT_EQ(RSAGenED(&c, nullptr), kRsaGenDone);
  CheckKey(c, 2048, 2048);
  EXPECT_EQ(RSAEncBlk(&c), 255u);
  EXPECT_EQ(RSADecBlk(&c), 256u);
}

// The E range: eBitsLo below half of N rises to it; eBitsHi above N's length
// falls to bits(N) - 1; a range entirely below half of N is refused.
TEST(ZqRsaGen, ExponentRange) {
  nc::zq::EnsureGcrypt();
  RSAContext c = NewContext(64, 64);
  ASSERT_EQ(RSAGenPQN(&c, nullptr), kRsaGenDone);
  for (auto [lo, hi] : {std::pair{2u, 40u}, std::pair{40u, 40u}, std::pair{63u, 2048u}}) {
    c.eBitsLo = lo;
    c.eBitsHi = hi;
    ASSERT_EQ(RSAGenED(&c, nullptr), kRsaGenDone);
    const unsigned e_bits = Bits(FromNumber(c.e));
    EXPECT_GE(e_bits, std::max(lo, 32u));
    EXPECT_LE(e_bits, std::min(hi, 63u));
  }
  c.eBitsLo = 2;
  c.eBitsHi = 31;
  EXPECT_EQ(RSAGenED(&c, nullptr), kRsaGenBadRequest);
}

TEST(ZqRsaGen, BadRequests) {
  const std::pair<uint32_t, uint32_t> bounds[] = {{17, 20}, {18, 2049},   {30, 29},
                                                  {0, 0},   {2049, 2049}, {1, 18}};
  for (auto [lo, hi] : bounds) {
    RSAContext c = NewContext(lo, hi);
    EXPECT_EQ(RSAGenPQN(&c, nullptr), kRsaGenBadRequest) << lo << ".." << hi;
  }
  EXPECT_EQ(RSAGenPQN(nullptr, nullptr), kRsaGenBadRequest);
  // RSAGenED on an empty context, on N != P Q, on a slot count above 64.
  RSAContext empty = NewContext(18, 18);
  EXPECT_EQ(RSAGenED(&empty, nullptr), kRsaGenBadRequest);
  RSAContext c = NewContext(64, 64);
  ASSERT_EQ(RSAGenPQN(&c, nullptr), kRsaGenDone);
  RSAContext wrong = c;
  wrong.n.words[0] += 2;
  EXPECT_EQ(RSAGenED(&wrong, nullptr), kRsaGenBadRequest);
  wrong = c;
  wrong.p.count = 65;
  EXPECT_EQ(RSAGenED(&wrong, nullptr), kRsaGenBadRequest);
}

// Callbacks: P attempts 1, 2, ... with Q's attempt 0, then Q's attempts
// 1, 2, ... under the last P attempt; a nonzero answer stops the generation
// at once with its outputs zeroed.
struct PQLog {
  std::vector<std::pair<uint32_t, uint32_t>> calls;
  size_t stop_at = 0;  // 1-based call that answers nonzero, 0: never
  bool stop_on_first_q = false;
};
PQLog* g_pq_log = nullptr;
// The candidate is in p (Q's in q) while the callback looks: P of the
// length the generation draws, Q at most one bit longer.
int32_t PQCallback(RSAContext* context, uint32_t p_attempt, uint32_t q_attempt) {
  g_pq_log->calls.emplace_back(p_attempt, q_attempt);
  EXPECT_EQ(Bits(FromNumber(context->p)), (context->nBitsHi + 1) / 2);
  if (q_attempt != 0) {
    EXPECT_LE(Bits(FromNumber(context->q)), Bits(FromNumber(context->p)) + 1);
  }
  if (g_pq_log->stop_on_first_q && q_attempt == 1) return 1;
  return g_pq_log->calls.size() == g_pq_log->stop_at ? 1 : 0;
}
uint32_t g_e_calls = 0, g_e_stop_at = 0, g_e_last = 0;
int32_t ECallback(RSAContext* context, uint32_t attempt) {
  ++g_e_calls;
  // The candidate is in e: odd, at least half of n's length.
  const Mpi e = FromNumber(context->e);
  EXPECT_TRUE(gcry_mpi_test_bit(e.get(), 0));
  EXPECT_GE(Bits(e), (Bits(FromNumber(context->n)) + 1) / 2);
  g_e_last = attempt;
  return attempt == g_e_stop_at ? 1 : 0;
}

TEST(ZqRsaGen, ProgressCallbacks) {
  nc::zq::EnsureGcrypt();
  PQLog log;
  g_pq_log = &log;
  RSAContext c = NewContext(512, 512);
  ASSERT_EQ(RSAGenPQN(&c, PQCallback), kRsaGenDone);
  ASSERT_FALSE(log.calls.empty());
  EXPECT_EQ(log.calls.front(), std::make_pair(1u, 0u));
  uint32_t p_last = 0, q_last = 0;
  for (auto [p_attempt, q_attempt] : log.calls) {
    if (q_attempt == 0) {
      EXPECT_EQ(p_attempt, p_last + 1);
      q_last = 0;
    } else {
      EXPECT_EQ(p_attempt, p_last);
      EXPECT_EQ(q_attempt, q_last + 1);
    }
    p_last = p_attempt;
    q_last = q_attempt;
  }
  EXPECT_GT(q_last, 0u) << "the last call is one of Q's";

  for (bool on_q : {false, true}) {
    PQLog stop;
    stop.stop_at = on_q ? 0 : 3;
    stop.stop_on_first_q = on_q;
    g_pq_log = &stop;
    RSAContext s = c;  // slots hold the previous pair: a stop must zero them
    EXPECT_EQ(RSAGenPQN(&s, PQCallback), kRsaGenStopped);
    if (on_q) {
      EXPECT_EQ(stop.calls.back().second, 1u);
    } else {
      EXPECT_EQ(stop.calls.size(), 3u);
    }
    EXPECT_TRUE(IsZeroNumber(s.p) && IsZeroNumber(s.q) && IsZeroNumber(s.n));
  }
  g_pq_log = nullptr;

  g_e_calls = 0;
  g_e_stop_at = 0;
  ASSERT_EQ(RSAGenED(&c, ECallback), kRsaGenDone);
  EXPECT_GE(g_e_calls, 1u);
  EXPECT_EQ(g_e_last, g_e_calls);
  g_e_calls = 0;
  g_e_stop_at = 1;
  EXPECT_EQ(RSAGenED(&c, ECallback), kRsaGenStopped);
  EXPECT_EQ(g_e_calls, 1u);
  EXPECT_TRUE(IsZeroNumber(c.e) && IsZeroNumber(c.d));
  EXPECT_FALSE(IsZeroNumber(c.n)) << "p, q and n are RSAGenPQN's";
}

// ---- blocks --------------------------------------------------------------------
TEST(ZqRsaBlocks, BlockSizes) {
  RSAContext c = NewContext(18, 18);
  EXPECT_EQ(RSAEncBlk(&c), 0u);
  EXPECT_EQ(RSADecBlk(&c), 0u);
  // n = 2^(b-1) + 1 for a table of lengths.
  for (uint32_t b : {16u, 17u, 18u, 24u, 25u, 32u, 33u, 1024u, 2047u, 2048u}) {
    std::memset(&c.n, 0, sizeof c.n);
    c.n.count = (b + 31) / 32;
    c.n.words[0] = 1;
    c.n.words[(b - 1) / 32] |= 1u << ((b - 1) % 32);
    EXPECT_EQ(RSAEncBlk(&c), b < 17 ? 0 : (b - 1) / 8) << b;
    EXPECT_EQ(RSADecBlk(&c), b < 17 ? 0 : (b + 7) / 8) << b;
  }
  c.n.count = 65;
  EXPECT_EQ(RSAEncBlk(&c), 0u);
  EXPECT_EQ(RSAEncBlk(nullptr), 0u);
}

// The round trip over the lengths around the block size, and every output
// block equal to the input block raised to e (gcry_mpi_powm), big-endian.
TEST(ZqRsaBlocks, RoundTripAndBlockFormat) {
  nc::zq::EnsureGcrypt();
  std::mt19937 rng(5);
  for (uint32_t bits : {18u, 19u, 33u, 512u, 1024u}) {
    const RSAContext c = GeneratedKey(bits);
    const uint32_t enc = RSAEncBlk(&c), dec = RSADecBlk(&c);
    ASSERT_EQ(enc, (bits - 1) / 8);
    ASSERT_EQ(dec, enc + 1);
    const Mpi n = FromNumber(c.n), e = FromNumber(c.e);
    for (uint32_t length : {0u, 1u, enc - 1, enc, enc + 1, 3 * enc}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(length) + " bytes");
      const Bytes plain = RandomBytes(rng, length);
      const uint32_t blocks = (length + enc - 1) / enc;
      Bytes cipher(blocks * dec + 1, 0xEE);
      ASSERT_EQ(RSAEncrypt(&c, cipher.data(), plain.data(), length), blocks * dec);
      EXPECT_EQ(cipher.back(), 0xEE);
      for (uint32_t i = 0; i < blocks; ++i) {
        Bytes block(enc, 0);
        std::memcpy(block.data(), plain.data() + i * enc, std::min(enc, length - i * enc));
        const Bytes expected = ToBigEndian(PowM(FromBigEndian(block.data(), enc), e, n), dec);
        EXPECT_EQ(Bytes(cipher.begin() + i * dec, cipher.begin() + (i + 1) * dec), expected);
      }
      Bytes back(blocks * enc + 1, 0xEE);
      ASSERT_EQ(RSADecrypt(&c, back.data(), cipher.data(), blocks * dec), blocks * enc);
      EXPECT_EQ(back.back(), 0xEE);
      back.resize(length);
      EXPECT_EQ(back, plain);
    }
  }
}

// RSAEncrypt reads only `length` bytes: an input at the very end of a
// buffer (ASan reports a read past it).
TEST(ZqRsaBlocks, ReadsOnlyTheInputLength) {
  const RSAContext c = GeneratedKey(64);
  const uint32_t enc = RSAEncBlk(&c), dec = RSADecBlk(&c);
  for (uint32_t length : {1u, enc + 3}) {
    std::vector<uint8_t> exact(length, 0x5A);
    Bytes cipher(2 * dec);
    EXPECT_EQ(RSAEncrypt(&c, cipher.data(), exact.data(), length),
              ((length + enc - 1) / enc) * dec);
  }
}

#ifdef NCCORE_HAVE_OPENSSL
// OpenSSL's raw RSA with (n, exponent) as the public key.
Bytes OpenSslRaw(const RSANumber& n_slot, const RSANumber& x_slot, const Bytes& block) {
  const Mpi n = FromNumber(n_slot), x = FromNumber(x_slot);
  const size_t size = (Bits(n) + 7) / 8;
  const Bytes n_bytes = ToBigEndian(n, size), x_bytes = ToBigEndian(x, (Bits(x) + 7) / 8);
  BIGNUM* bn_n = BN_bin2bn(n_bytes.data(), static_cast<int>(n_bytes.size()), nullptr);
  BIGNUM* bn_x = BN_bin2bn(x_bytes.data(), static_cast<int>(x_bytes.size()), nullptr);
  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, bn_n);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, bn_x);
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
  EVP_PKEY_CTX* from = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  EVP_PKEY* key = nullptr;
  Bytes out;
  if (EVP_PKEY_fromdata_init(from) == 1 &&
      EVP_PKEY_fromdata(from, &key, EVP_PKEY_PUBLIC_KEY, params) == 1) {
    EVP_PKEY_CTX* enc = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    size_t length = size;
    out.resize(size);
    if (EVP_PKEY_encrypt_init(enc) != 1 || EVP_PKEY_CTX_set_rsa_padding(enc, RSA_NO_PADDING) != 1 ||
        EVP_PKEY_encrypt(enc, out.data(), &length, block.data(), block.size()) != 1) {
      out.clear();
    }
    out.resize(out.empty() ? 0 : length);
    EVP_PKEY_CTX_free(enc);
  }
  EVP_PKEY_free(key);
  EVP_PKEY_CTX_free(from);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  BN_free(bn_n);
  BN_free(bn_x);
  return out;
}

// RSAEncrypt with e as OpenSSL's encryption with (n, e), and RSADecrypt with
// d as OpenSSL's with (n, d), block by block: an input block left-padded to
// the modulus size, an output block of RSAEncBlk bytes its tail.
TEST(ZqRsaBlocks, OpenSslRawRsa) {
  std::mt19937 rng(11);
  for (uint32_t bits : {512u, 1023u, 1024u}) {
    const RSAContext c = GeneratedKey(bits);
    const uint32_t enc = RSAEncBlk(&c), dec = RSADecBlk(&c);
    const Bytes plain = RandomBytes(rng, 2 * enc);
    Bytes cipher(2 * dec);
    ASSERT_EQ(RSAEncrypt(&c, cipher.data(), plain.data(), 2 * enc), 2 * dec);
    for (uint32_t i = 0; i < 2; ++i) {
      Bytes padded(dec, 0);
      std::memcpy(padded.data() + 1, plain.data() + i * enc, enc);
      const Bytes expected = OpenSslRaw(c.n, c.e, padded);
      ASSERT_EQ(expected.size(), dec) << bits;
      EXPECT_EQ(Bytes(cipher.begin() + i * dec, cipher.begin() + (i + 1) * dec), expected);
      const Bytes block(cipher.begin() + i * dec, cipher.begin() + (i + 1) * dec);
      const Bytes openssl_plain = OpenSslRaw(c.n, c.d, block);
      ASSERT_EQ(openssl_plain.size(), dec);
      Bytes ours(enc);
      ASSERT_EQ(RSADecrypt(&c, ours.data(), block.data(), dec), enc);
      EXPECT_EQ(Bytes(openssl_plain.begin() + 1, openssl_plain.end()), ours);
    }
  }
}
#endif

// Refusals return 0 and leave the output as it was.
TEST(ZqRsaBlocks, Refusals) {
  const RSAContext key = GeneratedKey(64);
  const uint32_t enc = RSAEncBlk(&key), dec = RSADecBlk(&key);
  const Bytes plain(enc, 0x31);
  Bytes cipher(dec);
  ASSERT_EQ(RSAEncrypt(&key, cipher.data(), plain.data(), enc), dec);

  const Bytes sentinel(4 * dec, 0xAA);
  Bytes out = sentinel;
  auto untouched = [&] { return out == sentinel; };

  RSAContext empty;
  std::memset(&empty, 0, sizeof empty);
  EXPECT_EQ(RSAEncrypt(&empty, out.data(), plain.data(), enc), 0u);
  EXPECT_EQ(RSADecrypt(&empty, out.data(), cipher.data(), dec), 0u);
  EXPECT_TRUE(untouched());

  // Not whole blocks.
  for (uint32_t length : {1u, dec - 1, dec + 1}) {
    Bytes input(2 * dec, 0);
    EXPECT_EQ(RSADecrypt(&key, out.data(), input.data(), length), 0u) << length;
  }
  EXPECT_TRUE(untouched());

  // A block not below n, after a good one: n itself, and all ones.
  const Bytes n_bytes = ToBigEndian(FromNumber(key.n), dec);
  for (const Bytes& bad : {n_bytes, Bytes(dec, 0xFF)}) {
    Bytes input = cipher;
    input.insert(input.end(), bad.begin(), bad.end());
    EXPECT_EQ(RSADecrypt(&key, out.data(), input.data(), 2 * dec), 0u);
  }
  EXPECT_TRUE(untouched());

  // A result that does not fit RSAEncBlk bytes: (n - 1)^e decrypts to n - 1.
  Mpi n1;
  gcry_mpi_sub_ui(n1.get(), FromNumber(key.n).get(), 1);
  const Bytes big = ToBigEndian(PowM(n1, FromNumber(key.e), FromNumber(key.n)), dec);
  Bytes input = cipher;
  input.insert(input.end(), big.begin(), big.end());
  EXPECT_EQ(RSADecrypt(&key, out.data(), input.data(), 2 * dec), 0u);
  EXPECT_TRUE(untouched());

  // A zero exponent, an even modulus, a count above the slot.
  RSAContext broken = key;
  std::memset(&broken.e, 0, sizeof broken.e);
  broken.e.count = 2;
  EXPECT_EQ(RSAEncrypt(&broken, out.data(), plain.data(), enc), 0u);
  broken = key;
  broken.d.count = 0;
  EXPECT_EQ(RSADecrypt(&broken, out.data(), cipher.data(), dec), 0u);
  broken = key;
  broken.n.words[0] ^= 1;
  EXPECT_EQ(RSAEncrypt(&broken, out.data(), plain.data(), enc), 0u);
  broken = key;
  broken.e.count = 65;
  EXPECT_EQ(RSAEncrypt(&broken, out.data(), plain.data(), enc), 0u);
  EXPECT_TRUE(untouched());
}

// ---- RSAHash ---------------------------------------------------------------------
// Values from Python: hashlib.shake_256(h + data).digest(128), h starting at
// 128 zero bytes.
TEST(ZqRsaHash, KnownValues) {
  Bytes data(1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  data.insert(data.end(), {1, 2, 3});
  struct Case {
    Bytes data;
    const char* hex;
  };
  const Case cases[] = {
      {{},
       "22864b96d3487c56e1aa7e4574e548d2f9c1122df1aa96c841877403d2f3cbbac1e833db97a50c148f37e443"
       "687029cb6d73549284ea2eb0a223c507ef0497ca48e786b6cc273100e56c78c49cdf0c5c42753ccdacf62090"
       "7f3bf4d2e21267ab2086ece18eb78208b580c1bffdefd944718c7e60a4ceaa389d28f5813d1da67b"},
      {{'a', 'b', 'c'},
       "98d18fad9494414cb7dda4dc672cf7c2d3936a0b19ca5c9b6de053acea6bc529444f8cc9df72f4c7af9d4fec"
       "d6b99495b2b7c6e8191a0578ef9b1a6740019cfbc4984769d64ad5fa2471f5e748d8e49318bb132b4ad0d066"
       "f1b5912785bbe0f4c0cd35f016dec0fdf12e2a88960ea480137163f7baea7665f5540bbf961dcb19"},
      {data,
       "c8a2947554ae9844c1d850c848e3b7626959dee7a54966d7850c782f999cc05168e894a47dbf81cdbfc86336"
       "9d68150613978cea893a4f31910becb56f9e87bba7915c422909a7fd8c3a4777d8309c293d5f3e077e12abd5"
       "0e70bfde2d70776363ca4c24e1949bd6e32f07805abb2cc40c912201a56b7c97a7d4eb0663cfb988"},
  };
  for (const Case& c : cases) {
    uint8_t hash[128] = {};
    RSAHash(hash, c.data.data(), static_cast<uint32_t>(c.data.size()));
    EXPECT_EQ(Bytes(hash, hash + 128), Hex(c.hex)) << c.data.size() << " bytes";
  }
}

// Each call absorbs the previous value: "a" then "bc" is SHAKE256 of
// SHAKE256(0^128 || "a") || "bc", not the hash of "abc" in one call. An
// empty call changes the value as well.
TEST(ZqRsaHash, ChainingDependsOnTheCalls) {
  uint8_t two[128] = {}, one[128] = {}, empty[128] = {};
  RSAHash(two, "a", 1);
  RSAHash(two, "bc", 2);
  RSAHash(one, "abc", 3);
  EXPECT_NE(Bytes(two, two + 128), Bytes(one, one + 128));
  EXPECT_EQ(Bytes(two, two + 128),
            Hex("e8b9e161e96339faf6fd5b94f20a12d94c1cade681d12dc2e589ada8aa550f28c2e3c6e6b25d7d3e"
                "e19acdc75a819fa99e0e81fa10e629d23c43908db16c371eeb4ceea631efbe370b1aef095dfcb8d2"
                "dba7026e5e613f50350c0ad430f3fa2724cf9e2f20d5a710362cbb36b283b7502a149ceaa6695d7a"
                "2dd12188ebb1c030"));
  RSAHash(empty, nullptr, 0);
  EXPECT_NE(Bytes(empty, empty + 128), Bytes(128, 0));
}

}  // namespace
