// ZQGOS32: GOSSignGenPQA, the common numbers p, q, a of GOST R 34.10-94.
//
// Known answers:
//   - GOST R 34.10-94's worked example (its appendix): procedure A for 512
//     bits from x0 = 0x5EC9, c = 0x7341 gives its p and q, and a with d = 2;
//   - RFC 4357's parameter sets id-GostR3410-94-CryptoPro-A-ParamSet and
//     -B-ParamSet, whose validation parameters name procedure B' (bBis)
//     with their x0 and c: B' reproduces their p and q; the published a of
//     set B is d^((p-1)/q) mod p for its published d, over our p and q.
// Everything else is checked through properties judged by libgcrypt used
// directly (primality tests, exponentiations, divisions), not by the
// library's own helpers: exact lengths, q | p - 1, a of order q, the
// smallest d, determinism, the generation values reproducing the numbers,
// and the progress records.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zq/gcrypt_init.h"
#include "zq/gost_pqa_internal.h"
#include "zq/zq.h"

namespace {

// ---- numbers through libgcrypt alone -------------------------------------------
class Mpi {
 public:
  Mpi() : m_(gcry_mpi_new(0)) {}
  explicit Mpi(unsigned long v) : m_(gcry_mpi_set_ui(nullptr, v)) {}
  Mpi(const Mpi& o) : m_(gcry_mpi_copy(o.m_)) {}
  Mpi& operator=(const Mpi& o) {
    if (this != &o) gcry_mpi_set(m_, o.m_);
    return *this;
  }
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
  static Mpi Decimal(const std::string& digits) {
    nc::zq::EnsureGcrypt();
    Mpi m(0);
    for (char d : digits) {
      gcry_mpi_mul_ui(m.m_, m.m_, 10);
      gcry_mpi_add_ui(m.m_, m.m_, static_cast<unsigned long>(d - '0'));
    }
    return m;
  }
  // The value of a WordBlock, from its words as a big-endian byte string.
  static Mpi FromBlock(const void* block) {
    uint32_t count;
    std::memcpy(&count, block, 4);
    std::vector<uint8_t> be;
    for (uint32_t i = count; i-- > 0;) {
      uint32_t w;
      std::memcpy(&w, static_cast<const uint8_t*>(block) + 4 + 4 * i, 4);
      for (int b = 3; b >= 0; --b) be.push_back(static_cast<uint8_t>(w >> (8 * b)));
    }
    Mpi m;
    gcry_mpi_release(m.m_);
    m.m_ = nullptr;
    EXPECT_EQ(gcry_mpi_scan(&m.m_, GCRYMPI_FMT_USG, be.data(), be.size(), nullptr), 0);
    return m;
  }

  unsigned Bits() const { return gcry_mpi_get_nbits(m_); }
  bool operator==(const Mpi& o) const { return gcry_mpi_cmp(m_, o.m_) == 0; }
  bool IsOne() const { return gcry_mpi_cmp_ui(m_, 1) == 0; }
  std::string ToHex() const {
    unsigned char* text = nullptr;
    gcry_mpi_aprint(GCRYMPI_FMT_HEX, &text, nullptr, m_);
    std::string s(reinterpret_cast<char*>(text));
    gcry_free(text);
    return s;
  }

 private:
  gcry_mpi_t m_;
};

Mpi PowMod(const Mpi& b, const Mpi& e, const Mpi& m) {
  Mpi r;
  gcry_mpi_powm(r.get(), b.get(), e.get(), m.get());
  return r;
}

// (p - 1) / q and (p - 1) mod q.
Mpi Cofactor(const Mpi& p, const Mpi& q, Mpi* remainder) {
  Mpi pm1, quotient, rest;
  gcry_mpi_sub_ui(pm1.get(), p.get(), 1);
  gcry_mpi_div(quotient.get(), rest.get(), pm1.get(), q.get(), 0);
  if (remainder != nullptr) *remainder = rest;
  return quotient;
}

bool IsProbablePrime(const Mpi& n) { return gcry_prime_check(n.get(), 0) == 0; }

::testing::AssertionResult SameNumber(const Mpi& got, const Mpi& want) {
  if (got == want) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << got.ToHex() << "\nwant " << want.ToHex();
}

// ---- contexts ------------------------------------------------------------------
GOSPQAContext NewContext(uint32_t bits, bool variant) {
  GOSPQAContext c;
  std::memset(&c, 0, sizeof c);
  c.size = sizeof c;
  c.flags = variant ? 6 : 2;
  c.bits = bits;
  return c;
}

Mpi P(const GOSPQAContext& c) { return Mpi::FromBlock(&c.p); }
Mpi Q(const GOSPQAContext& c) { return Mpi::FromBlock(&c.q); }
Mpi A(const GOSPQAContext& c) { return Mpi::FromBlock(&c.a); }

bool OutputsAreZero(const GOSPQAContext& c) {
  GOSPQAContext zero;
  std::memset(&zero, 0, sizeof zero);
  return c.first_value == 0 && c.second_value == 0 && std::memcmp(&c.p, &zero.p, sizeof c.p) == 0 &&
         std::memcmp(&c.q, &zero.q, sizeof c.q) == 0 && std::memcmp(&c.a, &zero.a, sizeof c.a) == 0;
}

void FillOutputs(GOSPQAContext& c) {
  c.first_value = c.second_value = 0xDEADBEEFu;
  std::memset(&c.p, 0x5A, sizeof c.p);
  std::memset(&c.q, 0x5A, sizeof c.q);
  std::memset(&c.a, 0x5A, sizeof c.a);
}

// What every result must be: p of exactly `bits` bits and q of `q_bits`, both
// prime, q | p - 1, a != 1 of order q, a = d^((p-1)/q) mod p for the smallest
// d > 1 that does not give 1, and minimal block counts.
void ExpectCommonNumbers(const GOSPQAContext& c, unsigned bits, unsigned q_bits) {
  const Mpi p = P(c), q = Q(c), a = A(c);
  EXPECT_EQ(p.Bits(), bits);
  EXPECT_EQ(q.Bits(), q_bits);
  EXPECT_EQ(c.p.count, (bits + 31) / 32);
  EXPECT_EQ(c.q.count, (q_bits + 31) / 32);
  EXPECT_TRUE(IsProbablePrime(p));
  EXPECT_TRUE(IsProbablePrime(q));
  Mpi remainder;
  const Mpi exponent = Cofactor(p, q, &remainder);
  EXPECT_EQ(gcry_mpi_cmp_ui(remainder.get(), 0), 0) << "q does not divide p - 1";
  EXPECT_FALSE(a.IsOne());
  EXPECT_TRUE(PowMod(a, q, p).IsOne()) << "a is not of order q";
  for (unsigned long d = 2;; ++d) {
    const Mpi candidate = PowMod(Mpi(d), exponent, p);
    if (candidate.IsOne()) continue;
    EXPECT_TRUE(SameNumber(a, candidate)) << "a is not made from the smallest d (" << d << ")";
    break;
  }
}

// ---- published values ---------------------------------------------------------------
// GOST R 34.10-94, appendix: procedure A, t = 512.
constexpr uint32_t kExampleX0 = 0x5EC9, kExampleC = 0x7341;
const char kExampleP[] =
    "EE8172AE8996608FB69359B89EB82A69854510E2977A4D63BC97322CE5DC3386"
    "EA0A12B343E9190F23177539845839786BB0C345D165976EF2195EC9B1C379E3";
const char kExampleQ[] = "98915E7EC8265EDFCDA31E88F24809DDB064BDC7285DD50D7289F0AC6F49DD2D";
const char kExampleA[] =
    "9E96031500C8774A869582D4AFDE2127AFAD2538B4B6270A6F7C8837B50D50F2"
    "06755984A49E509304D648BE2AB5AAB18EBE2CD46AC3D8495B142AA6CE23E21C";

// RFC 4357, id-GostR3410-94-CryptoPro-A-ParamSet (t 1024, bBis).
constexpr uint32_t kCryptoProAX0 = 1376285941u, kCryptoProAC = 3996757427u;
const char kCryptoProAP[] =
    "1270212482889324174659070427771764435257876535089165358128175072657050312609850984974231883"
    "3348340118092599999512098893413065920561499672425412104927434935707492031276956145168922411"
    "0579311248812610229678534638401693520013288995000362260684222750813532307004517341633685004"
    "541062586971416883686778842537820383";
const char kCryptoProAQ[] =
    "68363196144955700784444165611827252895102170888761442055095051287550314083023";

// RFC 4357, id-GostR3410-94-CryptoPro-B-ParamSet (t 1024, bBis, with d).
constexpr uint32_t kCryptoProBX0 = 1536654555u, kCryptoProBC = 1855361757u;
const char kCryptoProBP[] =
    "1394548711991158256014096551076907131070417070599280317977580014543757653577229840941243685"
    "2228823983303911468164807668823692122073732267216074074777170091113455043205380464769490468"
    "6120113087816240740184800477047157336662926249423571248823968542221753660143391485680840520"
    "336859458494803187341288580489525163";
const char kCryptoProBQ[] =
    "79885141663410976897627118935756323747307951916507639758300472692338873533959";
const char kCryptoProBA[] =
    "4294182614861580414387344773795550239267234596860714306679811299408947123142002706038521669"
    "9563848719957657284814898909770759462613437669456364882730370838934791080835932647976778601"
    "9153434744009610342313166725786869204821949328786333602033847970926843422476210557602350161"
    "32614780652761028509445403338652341";
const char kCryptoProBD[] =
    "1440862938614001456765549029392820565478578022414617829967020177130599747551043947399151406"
    "1152847910244390627357883427448541206016603039262038677035568280058957203818114895398976594"
    "425537561271800850306";

TEST(GostPqa, StandardWorkedExampleProcedureA) {
  GOSPQAContext c = NewContext(512, false);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kExampleX0, kExampleC), kGosPqaDone);
  EXPECT_TRUE(SameNumber(P(c), Mpi::Hex(kExampleP)));
  EXPECT_TRUE(SameNumber(Q(c), Mpi::Hex(kExampleQ)));
  EXPECT_TRUE(SameNumber(A(c), Mpi::Hex(kExampleA)));  // d = 2
  EXPECT_EQ(c.first_value, kExampleX0);
  EXPECT_EQ(c.second_value, kExampleC);
  EXPECT_EQ(c.p.count, 16u);
  EXPECT_EQ(c.q.count, 8u);
  EXPECT_EQ(c.a.count, 16u);
}

TEST(GostPqa, Rfc4357CryptoProAParamSetProcedureBPrime) {
  GOSPQAContext c = NewContext(1024, true);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kCryptoProAX0, kCryptoProAC), kGosPqaDone);
  EXPECT_TRUE(SameNumber(P(c), Mpi::Decimal(kCryptoProAP)));
  EXPECT_TRUE(SameNumber(Q(c), Mpi::Decimal(kCryptoProAQ)));
  EXPECT_EQ(c.first_value, kCryptoProAX0);
  EXPECT_EQ(c.second_value, kCryptoProAC);
  // The set's own a was made from a d it does not publish; ours from d = 2.
  ExpectCommonNumbers(c, 1024, 256);
}

TEST(GostPqa, Rfc4357CryptoProBParamSetProcedureBPrime) {
  GOSPQAContext c = NewContext(1024, true);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kCryptoProBX0, kCryptoProBC), kGosPqaDone);
  const Mpi p = P(c), q = Q(c);
  EXPECT_TRUE(SameNumber(p, Mpi::Decimal(kCryptoProBP)));
  EXPECT_TRUE(SameNumber(q, Mpi::Decimal(kCryptoProBQ)));
  // The published a is d^((p-1)/q) mod p for the published d.
  EXPECT_TRUE(SameNumber(PowMod(Mpi::Decimal(kCryptoProBD), Cofactor(p, q, nullptr), p),
                         Mpi::Decimal(kCryptoProBA)));
  ExpectCommonNumbers(c, 1024, 256);
}

// The variants use the other generator: the same starting values give other
// numbers, and the published ones come only from the right variant.
TEST(GostPqa, VariantFlagSelectsTheGenerator) {
  GOSPQAContext c = NewContext(512, true);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kExampleX0, kExampleC), kGosPqaDone);
  EXPECT_FALSE(P(c) == Mpi::Hex(kExampleP));
  ExpectCommonNumbers(c, 512, 256);

  GOSPQAContext b = NewContext(1024, false);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&b, kCryptoProAX0 & 0xFFFF, kCryptoProAC & 0xFFFF),
            kGosPqaDone);
  EXPECT_FALSE(Q(b) == Mpi::Decimal(kCryptoProAQ));
  ExpectCommonNumbers(b, 1024, 256);
}

// Procedure A makes q of floor(t / 2) bits; B always 256.
TEST(GostPqa, EveryAcceptedLengthFromFixedStartingValues) {
  struct Case {
    uint32_t bits;
    bool variant;
    unsigned q_bits;
  };
  const Case cases[] = {{509, false, 254},  {510, true, 255},   {511, false, 255},
                        {512, true, 256},   {1020, false, 256}, {1021, true, 256},
                        {1022, false, 256}, {1023, true, 256},  {1024, false, 256}};
  uint32_t x0 = 12345, c = 777;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.bits);
    GOSPQAContext ctx = NewContext(k.bits, k.variant);
    ASSERT_EQ(nc::zq::GeneratePqaFrom(&ctx, x0, c), kGosPqaDone);
    ExpectCommonNumbers(ctx, k.bits, k.q_bits);
    x0 = (x0 * 31 + 7) & 0x7FFF;  // nonzero, 16 bits
    c += 1002;                    // odd, 16 bits
  }
}

TEST(GostPqa, SameStartingValuesSameNumbers) {
  for (bool variant : {false, true}) {
    GOSPQAContext one = NewContext(1024, variant), two = NewContext(1024, variant);
    ASSERT_EQ(nc::zq::GeneratePqaFrom(&one, 4242, 4243), kGosPqaDone);
    ASSERT_EQ(nc::zq::GeneratePqaFrom(&two, 4242, 4243), kGosPqaDone);
    EXPECT_EQ(std::memcmp(&one, &two, sizeof one), 0);
    GOSPQAContext other = NewContext(1024, variant);
    ASSERT_EQ(nc::zq::GeneratePqaFrom(&other, 4242, 4245), kGosPqaDone);
    EXPECT_FALSE(P(one) == P(other));
  }
}

// Random generation returns starting values that reproduce its numbers.
TEST(GostPqa, RandomGenerationValuesReproduceTheNumbers) {
  for (uint32_t bits : {512u, 1024u}) {
    for (bool variant : {false, true}) {
      SCOPED_TRACE(testing::Message() << bits << (variant ? " variant" : ""));
      GOSPQAContext c = NewContext(bits, variant);
      ASSERT_EQ(GOSSignGenPQA(&c), kGosPqaDone);
      ExpectCommonNumbers(c, bits, 256);
      EXPECT_NE(c.first_value, 0u);
      EXPECT_EQ(c.second_value % 2, 1u);
      if (!variant) {
        EXPECT_LT(c.first_value, 0x10000u);
        EXPECT_LT(c.second_value, 0x10000u);
      }
      GOSPQAContext again = NewContext(bits, variant);
      ASSERT_EQ(nc::zq::GeneratePqaFrom(&again, c.first_value, c.second_value), kGosPqaDone);
      EXPECT_EQ(std::memcmp(&again, &c, sizeof c), 0);
    }
  }
}

TEST(GostPqa, RefusesOtherLengthsAndStartingValues) {
  for (uint32_t bits : {0u, 256u, 508u, 513u, 1019u, 1025u, 2048u}) {
    GOSPQAContext c = NewContext(bits, false);
    FillOutputs(c);
    EXPECT_EQ(GOSSignGenPQA(&c), kGosPqaBadRequest) << bits;
    EXPECT_TRUE(OutputsAreZero(c)) << bits;
  }
  struct Start {
    bool variant;
    uint32_t x0, c;
  };
  const Start refused[] = {{false, 0, 1},       {false, 0x10000, 1}, {false, 5, 2},
                           {false, 5, 0x10001}, {true, 0, 1},        {true, 5, 0xFFFFFFFEu}};
  for (const Start& s : refused) {
    GOSPQAContext c = NewContext(512, s.variant);
    FillOutputs(c);
    EXPECT_EQ(nc::zq::GeneratePqaFrom(&c, s.x0, s.c), kGosPqaBadRequest) << s.x0 << " " << s.c;
    EXPECT_TRUE(OutputsAreZero(c));
  }
}

// ---- progress --------------------------------------------------------------------
struct Recorder {
  static inline std::vector<GOSPQAProgress> calls;
  static inline size_t stop_at_call = SIZE_MAX;  // index of the call that returns 1
  static inline uint32_t stop_at_number = 0;     // or the first call for this number
  static int32_t ZQCDECL Callback(GOSPQAProgress* progress) {
    calls.push_back(*progress);
    if (calls.size() - 1 == stop_at_call) return 1;
    if (stop_at_number != 0 && progress->number == stop_at_number) return 1;
    return 0;
  }
  static void Reset() {
    calls.clear();
    stop_at_call = SIZE_MAX;
    stop_at_number = 0;
  }
};

int g_window_marker;

GOSPQAContext WatchedContext(uint32_t bits, bool variant) {
  GOSPQAContext c = NewContext(bits, variant);
  c.callback = &Recorder::Callback;
  c.window = &g_window_marker;
  return c;
}

// Numbers come in order (1 q, 2 Q, 3 p, 4 a), every prime is announced at its
// first candidate, iterations count the primes of the chains.
void ExpectProgress(uint32_t bits, bool variant, const std::vector<uint32_t>& numbers,
                    uint32_t iterations, uint32_t final_bits) {
  const uint32_t phase = variant ? 7 : 3;
  const auto& calls = Recorder::calls;
  ASSERT_FALSE(calls.empty());
  std::vector<uint32_t> seen;
  uint32_t last_iteration = 0;
  uint32_t last_seconds = 0;
  uint32_t primes_announced = 0;
  for (const GOSPQAProgress& r : calls) {
    EXPECT_EQ(r.size, sizeof(GOSPQAProgress));
    EXPECT_EQ(r.window, &g_window_marker);
    EXPECT_EQ(r.iterations, iterations);
    EXPECT_GE(r.iteration, last_iteration);
    EXPECT_LE(r.iteration, iterations);
    EXPECT_GE(r.seconds, last_seconds);
    EXPECT_GE(r.attempt, 1u);
    last_iteration = r.iteration;
    last_seconds = r.seconds;
    if (r.number == kGosPqaNumberA) {
      EXPECT_EQ(r.phase, 8u);
      EXPECT_EQ(r.bits, 0u);
    } else {
      EXPECT_EQ(r.phase, phase);
      EXPECT_GE(r.bits, 17u);
      EXPECT_LE(r.bits, bits);
      if (r.attempt == 1) ++primes_announced;
    }
    if (seen.empty() || seen.back() != r.number) seen.push_back(r.number);
  }
  EXPECT_EQ(seen, numbers);
  EXPECT_EQ(primes_announced, iterations);
  EXPECT_EQ(calls.front().iteration, 1u);
  // The last prime is p itself.
  for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
    if (it->number == kGosPqaNumberP) {
      EXPECT_EQ(it->bits, final_bits);
      EXPECT_EQ(it->iteration, iterations);
      break;
    }
  }
  EXPECT_EQ(calls.back().number, static_cast<uint32_t>(kGosPqaNumberA));
}

TEST(GostPqa, ProgressRecordsProcedureA) {
  Recorder::Reset();
  GOSPQAContext c = WatchedContext(512, false);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kExampleX0, kExampleC), kGosPqaDone);
  // Chain 512, 256, 128, 64, 32, 16: five primes, the last one p.
  ExpectProgress(512, false, {1, 3, 4}, 5, 512);
  EXPECT_TRUE(SameNumber(P(c), Mpi::Hex(kExampleP)));  // the callback changes nothing
}

TEST(GostPqa, ProgressRecordsProcedureBPrime) {
  Recorder::Reset();
  GOSPQAContext c = WatchedContext(1024, true);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kCryptoProAX0, kCryptoProAC), kGosPqaDone);
  // q: 256, 128, 64, 32 (three primes); Q: 512 .. 32 (four); then p.
  ExpectProgress(1024, true, {1, 2, 3, 4}, 8, 1024);
}

TEST(GostPqa, ProgressRecordsProcedureB) {
  Recorder::Reset();
  GOSPQAContext c = WatchedContext(1020, false);
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, 999, 1001), kGosPqaDone);
  // q: 256 .. 16 (four primes); Q: 512 .. 16 (five); then p.
  ExpectProgress(1020, false, {1, 2, 3, 4}, 10, 1020);
  ExpectCommonNumbers(c, 1020, 256);
}

TEST(GostPqa, CallbackStopsAtOnce) {
  for (uint32_t bits : {512u, 1024u}) {
    Recorder::Reset();
    Recorder::stop_at_call = 0;
    GOSPQAContext c = WatchedContext(bits, false);
    FillOutputs(c);
    EXPECT_NE(GOSSignGenPQA(&c), 0);
    EXPECT_EQ(Recorder::calls.size(), 1u);
    EXPECT_TRUE(OutputsAreZero(c));
  }
}

TEST(GostPqa, CallbackStopsInEveryStage) {
  struct Stage {
    uint32_t bits;
    bool variant;
    uint32_t number;
  };
  const Stage stages[] = {{512, false, kGosPqaNumberP},
                          {512, true, kGosPqaNumberA},
                          {1024, false, kGosPqaNumberBigQ},
                          {1024, true, kGosPqaNumberP},
                          {1024, false, kGosPqaNumberA}};
  for (const Stage& s : stages) {
    SCOPED_TRACE(testing::Message() << s.bits << " " << s.number);
    Recorder::Reset();
    Recorder::stop_at_number = s.number;
    GOSPQAContext c = WatchedContext(s.bits, s.variant);
    FillOutputs(c);
    EXPECT_EQ(nc::zq::GeneratePqaFrom(&c, 31337, 4711), kGosPqaStopped);
    ASSERT_FALSE(Recorder::calls.empty());
    EXPECT_EQ(Recorder::calls.back().number, s.number);  // no call after the stop
    EXPECT_TRUE(OutputsAreZero(c));
  }
}

TEST(GostPqa, NullCallbackIsSilentAndWindowIsOnlyPassedOn) {
  Recorder::Reset();
  GOSPQAContext c = NewContext(512, false);
  c.window = &g_window_marker;  // no callback: the window is never used
  ASSERT_EQ(nc::zq::GeneratePqaFrom(&c, kExampleX0, kExampleC), kGosPqaDone);
  EXPECT_TRUE(Recorder::calls.empty());
  EXPECT_EQ(c.window, &g_window_marker);
  EXPECT_EQ(c.size, sizeof c);
  EXPECT_EQ(c.flags, 2u);
  EXPECT_EQ(c.bits, 512u);
}

}  // namespace
