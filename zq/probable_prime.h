// The primality test of the RSA key pair generator, for candidates drawn
// uniformly at random (not found by stepping from a start, which the round
// count below does not cover).
//
// Trial division by the odd primes below 4096, then Miller-Rabin: base 2,
// then random bases, as many rounds as the Damgard-Landrock-Pomerance bound
// needs for a random odd candidate of the candidate's length to pass while
// composite with a probability below 2^-128 (6 rounds at 1024 bits, 12 at
// 512). Where that bound does not reach (about 300 bits and below), 64
// rounds of libgcrypt's own test, which bound the error at 4^-64 for any
// input.
#pragma once

#include <gcrypt.h>

#include <cstdint>

namespace nc::zq {

// Whether `n` is a probable prime as described above.
[[nodiscard]] bool IsRandomCandidatePrime(gcry_mpi_t n);

// Miller-Rabin rounds for a random candidate of `bits` bits (0 when the
// bound does not reach 2^-128 with a round count it covers).
[[nodiscard]] std::uint32_t MillerRabinRounds(std::uint32_t bits);

}  // namespace nc::zq
