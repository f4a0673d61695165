// The RSA generator's primality test (zq/probable_prime.h): its round
// counts, known primes and composites without small factors, and agreement
// with libgcrypt's own test over runs of consecutive odd numbers (where
// primes and composites of every kind of small factor meet).
#include <gtest/gtest.h>

#include <string>

#include "zq/bignum_mpi.h"
#include "zq/gcrypt_init.h"
#include "zq/probable_prime.h"

namespace {

using nc::zq::IsRandomCandidatePrime;
using nc::zq::MillerRabinRounds;

struct Mpi {
  Mpi() : v(gcry_mpi_new(0)) {}
  explicit Mpi(const char* hex) : v(nullptr) {
    EXPECT_EQ(gcry_mpi_scan(&v, GCRYMPI_FMT_HEX, hex, 0, nullptr), 0) << hex;
  }
  ~Mpi() { gcry_mpi_release(v); }
  Mpi(const Mpi&) = delete;
  Mpi& operator=(const Mpi&) = delete;
  gcry_mpi_t v;
};

// 2^bits - 1.
void Mersenne(gcry_mpi_t r, unsigned bits) {
  gcry_mpi_set_ui(r, 0);
  gcry_mpi_set_bit(r, bits);
  gcry_mpi_sub_ui(r, r, 1);
}

TEST(ZqProbablePrime, RoundsFollowTheBound) {
  EXPECT_EQ(MillerRabinRounds(1024), 6u);
  EXPECT_EQ(MillerRabinRounds(512), 12u);
  // More bits, no more rounds.
  for (unsigned bits = 400; bits < 2048; bits += 37)
    EXPECT_LE(MillerRabinRounds(bits + 37), MillerRabinRounds(bits)) << bits;
  // Where the bound does not reach: libgcrypt's own test.
  EXPECT_EQ(MillerRabinRounds(20), 0u);
  EXPECT_EQ(MillerRabinRounds(128), 0u);
  EXPECT_EQ(MillerRabinRounds(256), 0u);
}

TEST(ZqProbablePrime, KnownPrimesAndComposites) {
  nc::zq::EnsureGcrypt();
  Mpi n;
  for (unsigned bits : {521u, 607u, 1279u}) {  // Mersenne primes
    Mersenne(n.v, bits);
    EXPECT_TRUE(IsRandomCandidatePrime(n.v)) << bits;
  }
  for (unsigned bits : {523u, 1277u}) {  // 2^523 - 1 and 2^1277 - 1 are composite
    Mersenne(n.v, bits);
    EXPECT_FALSE(IsRandomCandidatePrime(n.v)) << bits;
  }
  // (2^521 - 1)(2^607 - 1): no factor below 4096, left to Miller-Rabin.
  Mpi a, b;
  Mersenne(a.v, 521);
  Mersenne(b.v, 607);
  gcry_mpi_mul(n.v, a.v, b.v);
  EXPECT_FALSE(IsRandomCandidatePrime(n.v));
  // 2^607: even.
  gcry_mpi_add_ui(n.v, b.v, 1);
  EXPECT_FALSE(IsRandomCandidatePrime(n.v));
  // Small numbers go to libgcrypt's test: 2, 3, 4093, 4095, a Carmichael number.
  for (auto [value, prime] : {std::pair{2u, true},
                              {3u, true},
                              {4093u, true},
                              {4095u, false},
                              {561u, false},
                              {3215031751u, false}}) {
    gcry_mpi_set_ui(n.v, value);
    EXPECT_EQ(IsRandomCandidatePrime(n.v), prime) << value;
  }
}

TEST(ZqProbablePrime, AgreesWithLibgcrypt) {
  nc::zq::EnsureGcrypt();
  Mpi n;
  int primes = 0;
  for (unsigned bits : {300u, 512u, 700u, 1024u}) {
    gcry_mpi_randomize(n.v, bits, GCRY_WEAK_RANDOM);
    gcry_mpi_set_highbit(n.v, bits - 1);
    gcry_mpi_set_bit(n.v, 0);
    // A run of odd numbers long enough to hold primes at these lengths.
    for (int i = 0; i < 1200; ++i, gcry_mpi_add_ui(n.v, n.v, 2)) {
      const bool expected = gcry_prime_check(n.v, 0) == 0;
      ASSERT_EQ(IsRandomCandidatePrime(n.v), expected) << bits << " +" << 2 * i;
      primes += expected;
    }
  }
  EXPECT_GT(primes, 4);
}

}  // namespace
