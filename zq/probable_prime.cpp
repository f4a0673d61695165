#include "zq/probable_prime.h"

#include <cmath>
#include <vector>

#include "zq/bignum_mpi.h"
#include "zq/wipe.h"

namespace nc::zq {
namespace {

constexpr std::uint32_t kTrialBound = 4096;

// The odd primes below kTrialBound, multiplied together in groups whose
// product stays below 2^32: one pass over the candidate's words per group.
struct PrimeGroup {
  std::uint32_t product;
  std::uint32_t first, count;  // into primes
};
struct TrialPrimes {
  std::vector<std::uint32_t> primes;
  std::vector<PrimeGroup> groups;
};

const TrialPrimes& SmallPrimes() {
  static const TrialPrimes table = [] {
    TrialPrimes t;
    std::vector<bool> composite(kTrialBound);
    for (std::uint32_t i = 3; i < kTrialBound; i += 2) {
      if (composite[i]) continue;
      t.primes.push_back(i);
      for (std::uint32_t j = i * i; j < kTrialBound; j += 2 * i) composite[j] = true;
    }
    for (std::uint32_t i = 0; i < t.primes.size();) {
      PrimeGroup g{1, i, 0};
      while (i < t.primes.size() && std::uint64_t{g.product} * t.primes[i] < (1ull << 32)) {
        g.product *= t.primes[i++];
        ++g.count;
      }
      t.groups.push_back(g);
    }
    return t;
  }();
  return table;
}

// Whether the number of `words` (least significant first) has a factor
// below kTrialBound. The number must be above kTrialBound.
bool HasSmallFactor(const std::uint32_t* words, std::uint32_t count) {
  const TrialPrimes& t = SmallPrimes();
  for (const PrimeGroup& g : t.groups) {
    std::uint64_t r = 0;
    for (std::uint32_t i = count; i > 0; --i) r = ((r << 32) | words[i - 1]) % g.product;
    for (std::uint32_t j = g.first; j < g.first + g.count; ++j)
      if (r % t.primes[j] == 0) return true;
  }
  return false;
}

// One Miller-Rabin round of `base` on n = 2^s d + 1; true when n passes.
bool MillerRabinRound(gcry_mpi_t n, gcry_mpi_t n1, gcry_mpi_t d, std::uint32_t s, gcry_mpi_t base,
                      gcry_mpi_t x) {
  gcry_mpi_powm(x, base, d, n);
  if (gcry_mpi_cmp_ui(x, 1) == 0 || gcry_mpi_cmp(x, n1) == 0) return true;
  for (std::uint32_t i = 1; i < s; ++i) {
    gcry_mpi_mulm(x, x, x, n);
    if (gcry_mpi_cmp(x, n1) == 0) return true;
    if (gcry_mpi_cmp_ui(x, 1) == 0) return false;
  }
  return false;
}

}  // namespace

std::uint32_t MillerRabinRounds(std::uint32_t bits) {
  // For k >= 21 and 3 <= t <= k/9, a random odd k-bit number that passes
  // t rounds is composite with probability below
  // k^(3/2) 2^t t^(-1/2) 4^(2 - sqrt(t k)).
  if (bits < 21) return 0;
  const double k = bits;
  for (std::uint32_t t = 3; t <= bits / 9; ++t) {
    const double log2_bound = 1.5 * std::log2(k) + t - 0.5 * std::log2(static_cast<double>(t)) +
                              2 * (2 - std::sqrt(t * k));
    if (log2_bound <= -128) return t;
  }
  return 0;
}

bool IsRandomCandidatePrime(gcry_mpi_t n) {
  const std::uint32_t bits = gcry_mpi_get_nbits(n);
  const std::uint32_t rounds = MillerRabinRounds(bits);
  // Even numbers (bits > 21 here) are no primes; small ones get libgcrypt's test.
  if (rounds == 0) return gcry_prime_check(n, 0) == 0;
  if (!gcry_mpi_test_bit(n, 0)) return false;

  // The candidate's words for the trial division (bits > 21 * 9: above the
  // trial bound).
  std::uint32_t words[2 * 64 + 1] = {};
  const std::uint32_t count = (bits + 31) / 32;
  if (count > std::size(words)) return gcry_prime_check(n, 0) == 0;
  unsigned char bytes[sizeof words] = {};
  size_t written = 0;
  gcry_mpi_print(GCRYMPI_FMT_USG, bytes, sizeof bytes, &written, n);  // big-endian
  for (size_t i = 0; i < written; ++i) {
    const size_t from_low = written - 1 - i;
    words[from_low / 4] |= std::uint32_t{bytes[i]} << (8 * (from_low % 4));
  }
  const bool small_factor = HasSmallFactor(words, count);
  nc::SecureWipe(words, sizeof words);
  nc::SecureWipe(bytes, sizeof bytes);
  if (small_factor) return false;

  SecretMpi n1(count), d(count), base(2 * count + 2), x(2 * count + 2);
  gcry_mpi_sub_ui(n1.get(), n, 1);
  std::uint32_t s = 0;
  while (!gcry_mpi_test_bit(n1.get(), s)) ++s;
  gcry_mpi_rshift(d.get(), n1.get(), s);

  gcry_mpi_set_ui(base.get(), 2);
  if (!MillerRabinRound(n, n1.get(), d.get(), s, base.get(), x.get())) return false;
  // The other bases: random in [2, n - 2].
  SecretMpi span(count);  // n - 3: [0, n - 4] + 2 = [2, n - 2]
  gcry_mpi_sub_ui(span.get(), n, 3);
  for (std::uint32_t round = 1; round < rounds; ++round) {
    gcry_mpi_randomize(base.get(), bits + 64, GCRY_WEAK_RANDOM);
    gcry_mpi_mod(base.get(), base.get(), span.get());
    gcry_mpi_add_ui(base.get(), base.get(), 2);
    if (!MillerRabinRound(n, n1.get(), d.get(), s, base.get(), x.get())) return false;
  }
  return true;
}

}  // namespace nc::zq
