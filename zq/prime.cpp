// Probable primes of an exact length: a random odd number with its top bit
// set, then the next probable prime above it that still has that length
// (libgcrypt's primality test: trial division, Fermat and Miller-Rabin).
// libgcrypt's own generator is not used because it refuses lengths below
// 48 bits.
#include "zq/prime.h"

#include <gcrypt.h>

#include "zq/bignum_mpi.h"
#include "zq/gcrypt_init.h"

namespace {

constexpr uint32_t kMaxPrimeBits = 8192;

}  // namespace

extern "C" int32_t ZQAPI zq_prime(WordBlock* number, uint32_t bits) {
  nc::zq::StoreZero(number);
  if (bits < 2 || bits > kMaxPrimeBits) return 1;
  nc::zq::EnsureGcrypt();
  const uint32_t words = (bits + 31) / 32;
  nc::zq::SecretMpi candidate(words);
  for (;;) {
    gcry_mpi_randomize(candidate.get(), bits, GCRY_STRONG_RANDOM);
    gcry_mpi_set_highbit(candidate.get(), bits - 1);
    gcry_mpi_set_bit(candidate.get(), 0);
    while (gcry_mpi_get_nbits(candidate.get()) == bits) {
      if (gcry_prime_check(candidate.get(), 0) == 0) {
        nc::zq::StoreNumber(number, candidate.get(), words);
        return 0;
      }
      gcry_mpi_add_ui(candidate.get(), candidate.get(), 2);
    }
  }
}
