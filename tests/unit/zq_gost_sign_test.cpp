// ZQGOS32: GOSSignGen, GOSSignCheck, GOSSignGenPair (GOST R 34.10-94).
//
// Known answer: the standard's worked example (its appendix) - p, q, a of
// 512 and 256 bits, secret key x, hash value h, nonce k and the signature
// (r', s). With our conventions the hash bytes are h little-endian and the
// signature is r' then s, each 32 bytes little-endian. The published
// signature must verify, and signing with the published k must give it.
// Public keys and the verification equation are judged by libgcrypt used
// directly. Round trips run with the example's 512-bit numbers and with
// 1024-bit numbers made by procedure B' from RFC 4357's CryptoPro-A values
// (whose p and q the common-numbers test checks against the RFC).
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "zq/gcrypt_init.h"
#include "zq/gost_pqa_internal.h"
#include "zq/zq.h"

namespace {

using Bytes32 = std::array<uint8_t, 32>;

// ---- numbers through libgcrypt alone ---------------------------------------------
class Mpi {
 public:
  Mpi() : m_(gcry_mpi_new(0)) {}
  Mpi(const Mpi& o) : m_(gcry_mpi_copy(o.m_)) {}
  Mpi& operator=(const Mpi&) = delete;
  ~Mpi() { gcry_mpi_release(m_); }
  gcry_mpi_t get() const { return m_; }

  static Mpi Hex(const char* hex) {
    nc::zq::EnsureGcrypt();
    Mpi m;
    gcry_mpi_release(m.m_);
    m.m_ = nullptr;
    EXPECT_EQ(gcry_mpi_scan(&m.m_, GCRYMPI_FMT_HEX, hex, 0, nullptr), 0) << hex;
    return m;
  }
  static Mpi Bytes(const std::vector<uint8_t>& big_endian) {
    Mpi m;
    gcry_mpi_release(m.m_);
    m.m_ = nullptr;
    EXPECT_EQ(gcry_mpi_scan(&m.m_, GCRYMPI_FMT_USG, big_endian.data(), big_endian.size(), nullptr),
              0);
    return m;
  }
  // Big-endian bytes, exactly n of them (the value must fit).
  std::vector<uint8_t> BigEndian(size_t n) const {
    std::vector<uint8_t> out(n, 0);
    size_t written = 0;
    std::vector<uint8_t> tmp(n + 1);
    EXPECT_EQ(gcry_mpi_print(GCRYMPI_FMT_USG, tmp.data(), tmp.size(), &written, m_), 0);
    EXPECT_LE(written, n);
    std::copy_n(tmp.begin(), written, out.begin() + static_cast<std::ptrdiff_t>(n - written));
    return out;
  }
  bool operator==(const Mpi& o) const { return gcry_mpi_cmp(m_, o.m_) == 0; }

 private:
  gcry_mpi_t m_;
};

// A number (below 2^256) as 32 little-endian bytes, the form of the hash and
// of each signature half.
Bytes32 LittleEndian(const Mpi& m) {
  std::vector<uint8_t> be = m.BigEndian(32);
  Bytes32 le;
  std::reverse_copy(be.begin(), be.end(), le.begin());
  return le;
}

Mpi FromLittleEndian(const uint8_t* le) {
  std::vector<uint8_t> be(le, le + 32);
  std::reverse(be.begin(), be.end());
  return Mpi::Bytes(be);
}

// A number into a record's WordBlock field: minimal count, words least
// significant first.
template <typename Field>
void Put(Field& field, const Mpi& m) {
  constexpr size_t capacity = sizeof(field.words) / 4;
  std::vector<uint8_t> be = m.BigEndian(4 * capacity);
  std::memset(&field, 0, sizeof field);
  for (size_t i = 0; i < capacity; ++i) {
    const size_t at = 4 * (capacity - 1 - i);
    field.words[i] = static_cast<uint32_t>(be[at]) << 24 | static_cast<uint32_t>(be[at + 1]) << 16 |
                     static_cast<uint32_t>(be[at + 2]) << 8 | be[at + 3];
    if (field.words[i] != 0) field.count = static_cast<uint32_t>(i + 1);
  }
  if (field.count == 0) field.count = 1;
}

template <typename Field>
Mpi Get(const Field& field) {
  std::vector<uint8_t> be;
  for (uint32_t i = field.count; i-- > 0;) {
    for (int b = 3; b >= 0; --b) be.push_back(static_cast<uint8_t>(field.words[i] >> (8 * b)));
  }
  return Mpi::Bytes(be);
}

Mpi PowMod(const Mpi& b, const Mpi& e, const Mpi& m) {
  Mpi r;
  gcry_mpi_powm(r.get(), b.get(), e.get(), m.get());
  return r;
}

Mpi Add(const Mpi& a, const Mpi& b) {
  Mpi r;
  gcry_mpi_add(r.get(), a.get(), b.get());
  return r;
}

// ---- the standard's worked example ----------------------------------------------
const char kP[] =
    "EE8172AE8996608FB69359B89EB82A69854510E2977A4D63BC97322CE5DC3386"
    "EA0A12B343E9190F23177539845839786BB0C345D165976EF2195EC9B1C379E3";
const char kQ[] = "98915E7EC8265EDFCDA31E88F24809DDB064BDC7285DD50D7289F0AC6F49DD2D";
const char kA[] =
    "9E96031500C8774A869582D4AFDE2127AFAD2538B4B6270A6F7C8837B50D50F2"
    "06755984A49E509304D648BE2AB5AAB18EBE2CD46AC3D8495B142AA6CE23E21C";
const char kX[] = "3036314538303830343630454235324435324234314132373832433138443046";
const char kH[] = "3534454132454236443134453437313943363345374143423445413631454230";
const char kK[] = "90F3A564439242F5186EBB224C8E223811B7105C64E4F5390807E6362DF4C72A";
const char kR[] = "3E5F895E276D81D2D52C0763270A458157B784C57ABDBD807BC44FD43A32AC06";
const char kS[] = "3F0DD5D4400D47C08E4CE505FF7434B6DBF729592E37C74856DAB85115A60955";

struct Numbers {
  Mpi p, q, a;
};

Numbers ExampleNumbers() { return {Mpi::Hex(kP), Mpi::Hex(kQ), Mpi::Hex(kA)}; }

// 1024-bit numbers: procedure B' from RFC 4357's CryptoPro-A starting values.
const Numbers& Numbers1024() {
  static const Numbers numbers = [] {
    GOSPQAContext c;
    std::memset(&c, 0, sizeof c);
    c.size = sizeof c;
    c.flags = 6;
    c.bits = 1024;
    EXPECT_EQ(nc::zq::GeneratePqaFrom(&c, 1376285941u, 3996757427u), kGosPqaDone);
    return Numbers{Get(c.p), Get(c.q), Get(c.a)};
  }();
  return numbers;
}

GOSSignContext SignContext(const Numbers& n) {
  GOSSignContext c;
  std::memset(&c, 0, sizeof c);
  c.size = sizeof c;
  Put(c.p, n.p);
  Put(c.q, n.q);
  Put(c.a, n.a);
  return c;
}

GOSPairContext PairContext(const Numbers& n) {
  GOSPairContext c;
  std::memset(&c, 0, sizeof c);
  c.size = sizeof c;
  Put(c.p, n.p);
  Put(c.q, n.q);
  Put(c.a, n.a);
  return c;
}

void SetSignature(GOSSignContext& c, const Mpi& r, const Mpi& s) {
  const Bytes32 r_le = LittleEndian(r), s_le = LittleEndian(s);
  std::memcpy(c.signature, r_le.data(), 32);
  std::memcpy(c.signature + 32, s_le.data(), 32);
}

void SetHash(GOSSignContext& c, const Mpi& h) {
  const Bytes32 le = LittleEndian(h);
  std::memcpy(c.hash, le.data(), 32);
}

// A context for the worked example, holding both x and y = a^x mod p.
GOSSignContext ExampleContext() {
  const Numbers n = ExampleNumbers();
  GOSSignContext c = SignContext(n);
  const Mpi x = Mpi::Hex(kX);
  Put(c.x, x);
  Put(c.y, PowMod(n.a, x, n.p));
  SetHash(c, Mpi::Hex(kH));
  return c;
}

// A random source that hands out fixed bytes.
struct FixedBytes {
  std::vector<uint8_t> bytes;
  size_t used = 0;
  static void Draw(uint8_t* out, size_t n, void* self) {
    auto* f = static_cast<FixedBytes*>(self);
    for (size_t i = 0; i < n; ++i) out[i] = f->used < f->bytes.size() ? f->bytes[f->used++] : 0;
  }
};

bool Check(GOSSignContext c) { return GOSSignCheck(&c) != 0; }

// ---- known answer -------------------------------------------------------------------
TEST(GostSign, StandardWorkedExampleSignatureVerifies) {
  GOSSignContext c = ExampleContext();
  SetSignature(c, Mpi::Hex(kR), Mpi::Hex(kS));
  const GOSSignContext before = c;
  EXPECT_NE(GOSSignCheck(&c), 0);
  EXPECT_EQ(std::memcmp(&before, &c, sizeof c), 0);  // the check changes nothing
}

TEST(GostSign, StandardWorkedExampleSignedWithItsK) {
  GOSSignContext c = ExampleContext();
  const Bytes32 k = LittleEndian(Mpi::Hex(kK));
  FixedBytes source{{k.begin(), k.end()}};
  nc::zq::SignWithRandom(&c, &FixedBytes::Draw, &source);
  EXPECT_EQ(source.used, 32u);  // one draw: r' and s were not 0
  EXPECT_TRUE(FromLittleEndian(c.signature) == Mpi::Hex(kR));
  EXPECT_TRUE(FromLittleEndian(c.signature + 32) == Mpi::Hex(kS));
}

TEST(GostSign, StandardWorkedExampleKeyPairFromItsX) {
  const Numbers n = ExampleNumbers();
  GOSPairContext c = PairContext(n);
  const Bytes32 x = LittleEndian(Mpi::Hex(kX));
  FixedBytes source{{x.begin(), x.end()}};
  nc::zq::GeneratePairWithRandom(&c, &FixedBytes::Draw, &source);
  EXPECT_TRUE(Get(c.x) == Mpi::Hex(kX));
  EXPECT_TRUE(Get(c.y) == PowMod(n.a, Mpi::Hex(kX), n.p));
  EXPECT_EQ(c.x.count, 8u);
  EXPECT_EQ(c.y.count, 16u);
}

// A k of 0 or at least q is drawn again; the bits above q's length are cut.
TEST(GostSign, NonceOutsideRangeIsDrawnAgain) {
  GOSSignContext c = ExampleContext();
  const Bytes32 q = LittleEndian(Mpi::Hex(kQ));
  const Bytes32 k = LittleEndian(Mpi::Hex(kK));
  FixedBytes source;
  source.bytes.assign(32, 0);                                   // k = 0
  source.bytes.insert(source.bytes.end(), q.begin(), q.end());  // k = q
  source.bytes.insert(source.bytes.end(), k.begin(), k.end());
  nc::zq::SignWithRandom(&c, &FixedBytes::Draw, &source);
  EXPECT_EQ(source.used, 96u);
  EXPECT_TRUE(FromLittleEndian(c.signature) == Mpi::Hex(kR));
  EXPECT_TRUE(FromLittleEndian(c.signature + 32) == Mpi::Hex(kS));
}

// ---- flipped bits and ranges ----------------------------------------------------------
TEST(GostSign, EveryFlippedBitOfHashOrSignatureFails) {
  GOSSignContext good = ExampleContext();
  SetSignature(good, Mpi::Hex(kR), Mpi::Hex(kS));
  ASSERT_TRUE(Check(good));
  for (int bit = 0; bit < 256; ++bit) {
    GOSSignContext c = good;
    c.hash[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    EXPECT_FALSE(Check(c)) << "hash bit " << bit;
  }
  for (int bit = 0; bit < 512; ++bit) {
    GOSSignContext c = good;
    c.signature[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    EXPECT_FALSE(Check(c)) << (bit < 256 ? "r' bit " : "s bit ") << bit % 256;
  }
}

TEST(GostSign, OutOfRangeSignatureHalvesFail) {
  const Mpi q = Mpi::Hex(kQ), r = Mpi::Hex(kR), s = Mpi::Hex(kS), zero = Mpi::Hex("00");
  Mpi all_ones = Mpi::Hex("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
  GOSSignContext c = ExampleContext();
  const std::pair<const Mpi*, const Mpi*> bad[] = {{&zero, &s}, {&r, &zero},     {&q, &s},
                                                   {&r, &q},    {&all_ones, &s}, {&r, &all_ones}};
  for (const auto& [r1, s1] : bad) {
    SetSignature(c, *r1, *s1);
    EXPECT_FALSE(Check(c));
  }
  // r' + q and s + q satisfy the verification equation modulo q: only the
  // range checks refuse them.
  SetSignature(c, Add(r, q), s);
  EXPECT_FALSE(Check(c));
  SetSignature(c, r, Add(s, q));
  EXPECT_FALSE(Check(c));
  SetSignature(c, r, s);
  EXPECT_TRUE(Check(c));
}

TEST(GostSign, WrongKeyOrNumbersFail) {
  GOSSignContext c = ExampleContext();
  SetSignature(c, Mpi::Hex(kR), Mpi::Hex(kS));
  GOSSignContext other_y = c;
  other_y.y.words[0] ^= 4;
  EXPECT_FALSE(Check(other_y));
  GOSSignContext other_a = c;
  Put(other_a.a, PowMod(Mpi::Hex(kA), Mpi::Hex("02"), Mpi::Hex(kP)));  // a^2, also of order q
  EXPECT_FALSE(Check(other_a));
}

// ---- the hash as a number -------------------------------------------------------------
// h = H mod q: H and H + q sign alike; H = 0 and H = q become h = 1.
TEST(GostSign, HashIsReducedModuloQAndZeroBecomesOne) {
  const Mpi q = Mpi::Hex(kQ), h = Mpi::Hex(kH);
  GOSSignContext c = ExampleContext();
  GOSSignGen(&c);
  ASSERT_TRUE(Check(c));
  GOSSignContext plus_q = c;
  SetHash(plus_q, Add(h, q));
  EXPECT_TRUE(Check(plus_q));

  GOSSignContext zero = ExampleContext();
  std::memset(zero.hash, 0, 32);
  GOSSignGen(&zero);
  EXPECT_TRUE(Check(zero));
  GOSSignContext one = zero;
  SetHash(one, Mpi::Hex("01"));
  EXPECT_TRUE(Check(one));
  GOSSignContext as_q = zero;
  SetHash(as_q, q);
  EXPECT_TRUE(Check(as_q));
  GOSSignContext two = zero;
  SetHash(two, Mpi::Hex("02"));
  EXPECT_FALSE(Check(two));
}

// The hash bytes are little-endian: the same bytes in the other order are
// another hash.
TEST(GostSign, HashBytesAreLittleEndian) {
  GOSSignContext c = ExampleContext();
  SetSignature(c, Mpi::Hex(kR), Mpi::Hex(kS));
  std::reverse(std::begin(c.hash), std::end(c.hash));
  EXPECT_FALSE(Check(c));
}

// ---- round trips ---------------------------------------------------------------------
void RoundTrips(const Numbers& n, int rounds, unsigned seed) {
  std::mt19937 rng(seed);
  for (int i = 0; i < rounds; ++i) {
    GOSPairContext pair = PairContext(n);
    GOSSignGenPair(&pair);
    const Mpi x = Get(pair.x), y = Get(pair.y);
    ASSERT_NE(gcry_mpi_cmp_ui(x.get(), 0), 0);
    ASSERT_LT(gcry_mpi_cmp(x.get(), n.q.get()), 0);
    ASSERT_TRUE(y == PowMod(n.a, x, n.p));

    GOSSignContext c = SignContext(n);
    std::memcpy(&c.x, &pair.x, sizeof c.x);
    std::memcpy(&c.y, &pair.y, sizeof c.y);
    for (uint8_t& b : c.hash) b = static_cast<uint8_t>(rng());
    const GOSSignContext unsigned_context = c;
    GOSSignGen(&c);
    // Only the signature was written.
    GOSSignContext masked = c;
    std::memcpy(masked.signature, unsigned_context.signature, 64);
    EXPECT_EQ(std::memcmp(&masked, &unsigned_context, sizeof c), 0);
    const Mpi r = FromLittleEndian(c.signature), s = FromLittleEndian(c.signature + 32);
    EXPECT_NE(gcry_mpi_cmp_ui(r.get(), 0), 0);
    EXPECT_LT(gcry_mpi_cmp(r.get(), n.q.get()), 0);
    EXPECT_NE(gcry_mpi_cmp_ui(s.get(), 0), 0);
    EXPECT_LT(gcry_mpi_cmp(s.get(), n.q.get()), 0);
    EXPECT_TRUE(Check(c));
    // A second signature of the same hash uses another k.
    GOSSignContext again = unsigned_context;
    GOSSignGen(&again);
    EXPECT_NE(std::memcmp(again.signature, c.signature, 64), 0);
    EXPECT_TRUE(Check(again));
    // Flipped bits in the hash, r' and s.
    const int hash_bit = static_cast<int>(rng() % 256), r_bit = static_cast<int>(rng() % 256),
              s_bit = 256 + static_cast<int>(rng() % 256);
    GOSSignContext bad = c;
    bad.hash[hash_bit / 8] ^= static_cast<uint8_t>(1u << (hash_bit % 8));
    EXPECT_FALSE(Check(bad));
    bad = c;
    bad.signature[r_bit / 8] ^= static_cast<uint8_t>(1u << (r_bit % 8));
    EXPECT_FALSE(Check(bad));
    bad = c;
    bad.signature[s_bit / 8] ^= static_cast<uint8_t>(1u << (s_bit % 8));
    EXPECT_FALSE(Check(bad));
  }
}

TEST(GostSign, RoundTrips512) { RoundTrips(ExampleNumbers(), 12, 512); }

TEST(GostSign, RoundTrips1024) { RoundTrips(Numbers1024(), 8, 1024); }

TEST(GostSign, RoundTripWithFreshlyGeneratedNumbers) {
  for (uint32_t bits : {512u, 1024u}) {
    GOSPQAContext pqa;
    std::memset(&pqa, 0, sizeof pqa);
    pqa.size = sizeof pqa;
    pqa.flags = 2;
    pqa.bits = bits;
    ASSERT_EQ(GOSSignGenPQA(&pqa), kGosPqaDone);
    RoundTrips(Numbers{Get(pqa.p), Get(pqa.q), Get(pqa.a)}, 2, bits + 1);
  }
}

// ---- fields ---------------------------------------------------------------------------
// Counts above a field's room are taken as its room: nothing beyond the
// field is read.
TEST(GostSign, CountsAboveTheFieldsRoomAreCapped) {
  GOSSignContext c = ExampleContext();
  SetSignature(c, Mpi::Hex(kR), Mpi::Hex(kS));
  c.q.count = 9;     // the 9th word would be a's count
  c.y.count = 1000;  // and beyond y lies the zero area
  c.p.count = 33;
  EXPECT_TRUE(Check(c));
}

TEST(GostSign, UnusableNumbersGiveZeroResults) {
  GOSSignContext c = ExampleContext();
  std::memset(&c.q, 0, sizeof c.q);  // q = 0 (count 0)
  std::memset(c.signature, 0xAA, 64);
  GOSSignGen(&c);
  EXPECT_EQ(std::count(c.signature, c.signature + 64, 0), 64);
  EXPECT_FALSE(Check(c));

  GOSSignContext no_p = ExampleContext();
  no_p.p.count = 1;
  no_p.p.words[0] = 1;
  GOSSignGen(&no_p);
  EXPECT_EQ(std::count(no_p.signature, no_p.signature + 64, 0), 64);
  SetSignature(no_p, Mpi::Hex(kR), Mpi::Hex(kS));
  EXPECT_FALSE(Check(no_p));

  GOSPairContext pair = PairContext(ExampleNumbers());
  std::memset(&pair.q, 0, sizeof pair.q);
  GOSSignGenPair(&pair);
  EXPECT_EQ(pair.x.count, 1u);
  EXPECT_EQ(pair.x.words[0], 0u);
  EXPECT_EQ(pair.y.count, 1u);
  EXPECT_EQ(pair.y.words[0], 0u);
}

// a = 1 makes r' = 1 and the signature still valid; a = 0 gives r' = 0
// forever, and GOSSignGen gives up with a zero signature.
TEST(GostSign, DegenerateGeneratorGivesUp) {
  GOSSignContext c = ExampleContext();
  Put(c.a, Mpi::Hex("00"));
  GOSSignGen(&c);
  EXPECT_EQ(std::count(c.signature, c.signature + 64, 0), 64);
}

TEST(GostSign, SecretKeysAreInRangeAndDiffer) {
  const Numbers n = ExampleNumbers();
  std::vector<std::vector<uint32_t>> seen;
  for (int i = 0; i < 16; ++i) {
    GOSPairContext c = PairContext(n);
    GOSSignGenPair(&c);
    const Mpi x = Get(c.x);
    EXPECT_NE(gcry_mpi_cmp_ui(x.get(), 0), 0);
    EXPECT_LT(gcry_mpi_cmp(x.get(), n.q.get()), 0);
    EXPECT_LE(c.x.count, 8u);
    std::vector<uint32_t> words(c.x.words, c.x.words + c.x.count);
    EXPECT_EQ(std::find(seen.begin(), seen.end(), words), seen.end());
    seen.push_back(words);
  }
}

}  // namespace
