// ZQRSA32, the key pair generator: RSAGenPQN (P, Q, N) and RSAGenED (the
// exponents), over libgcrypt's MPIs (conventions in zq/rsa.h).
//
// P, Q, the exponents and everything derived from them live in secure MPIs
// (SecretMpi: libgcrypt wipes their limbs on release). A stopped or refused
// generation leaves its output slots zeroed.
#include <gcrypt.h>

#include <algorithm>

#include "zq/bignum_mpi.h"
#include "zq/gcrypt_init.h"
#include "zq/probable_prime.h"
#include "zq/rsa.h"
#include "zq/wipe.h"

namespace nc::zq {
namespace {

constexpr uint32_t kMinModulusBits = 18;
constexpr uint32_t kMaxModulusBits = 2048;
// Products of two slot values need twice the room of one.
constexpr uint32_t kWords = 2 * kRsaMaxWords;

WordBlock* Block(RSANumber& slot) { return reinterpret_cast<WordBlock*>(&slot); }

// A uniformly drawn value in [0, bound) for 0 < bound (bias below 2^-32).
uint32_t RandomBelow(uint32_t bound) {
  uint64_t r = 0;
  gcry_randomize(&r, sizeof r, GCRY_STRONG_RANDOM);
  return static_cast<uint32_t>(r % bound);
}

// result = lo + a random value in [0, width) for width > 0.
void RandomInRange(gcry_mpi_t result, gcry_mpi_t lo, gcry_mpi_t width) {
  gcry_mpi_randomize(result, gcry_mpi_get_nbits(width) + 64, GCRY_STRONG_RANDOM);
  gcry_mpi_mod(result, result, width);
  gcry_mpi_add(result, result, lo);
}

// Calls the PQ callback; true when it asks to stop.
bool StopPQ(RSAPQCallback callback, RSAContext* context, uint32_t p_attempt, uint32_t q_attempt) {
  return callback != nullptr && callback(context, p_attempt, q_attempt) != 0;
}

// A slot's value, if its count fits the slot.
bool LoadSlot(const RSANumber& slot, SecretMpi& value) {
  if (slot.count > kRsaMaxWords) return false;
  SecretMpi loaded = LoadNumber(reinterpret_cast<const WordBlock*>(&slot));
  gcry_mpi_set(value.get(), loaded.get());
  return true;
}

}  // namespace
}  // namespace nc::zq

using nc::zq::SecretMpi;

// P of ceil(t/2) bits with its top two bits set, so that P^2 >= 2^(t-1) - the
// interval of Q below then always holds primes; Q drawn from the numbers that
// make N = P Q exactly t bits long: ceil(2^(t-1) / P) <= Q <= floor((2^t - 1) / P).
extern "C" int32_t ZQAPI RSAGenPQN(RSAContext* context, RSAPQCallback callback) {
  using namespace nc::zq;
  if (context == nullptr) return kRsaGenBadRequest;
  const uint32_t lo = context->nBitsLo, hi = context->nBitsHi;
  if (lo < kMinModulusBits || hi > kMaxModulusBits || lo > hi) return kRsaGenBadRequest;
  context->pBitsLo = lo / 2;
  context->pBitsHi = hi / 2;
  EnsureGcrypt();

  const uint32_t t = lo + RandomBelow(hi - lo + 1);
  const uint32_t p_bits = (t + 1) / 2;
  // Q candidates per P before P is drawn again: primes are about 1 in
  // 0.35 t among odd numbers of this size, so this is never reached in
  // practice; it only bounds the loop.
  const uint32_t q_limit = 64 * t;

  SecretMpi p(kWords), q(kWords), n(kWords), q_lo(kWords), q_hi(kWords), width(kWords),
      low_n(kWords), high_n(kWords), remainder(kWords);
  gcry_mpi_set_bit(low_n.get(), t - 1);  // 2^(t-1)
  gcry_mpi_set_bit(high_n.get(), t);
  gcry_mpi_sub_ui(high_n.get(), high_n.get(), 1);  // 2^t - 1

  uint32_t p_attempt = 0;
  bool stopped = false;
  bool found = false;
  while (!found && !stopped) {
    ++p_attempt;
    gcry_mpi_randomize(p.get(), p_bits, GCRY_STRONG_RANDOM);
    gcry_mpi_set_highbit(p.get(), p_bits - 1);
    gcry_mpi_set_bit(p.get(), p_bits - 2);
    gcry_mpi_set_bit(p.get(), 0);
    // The candidate is in the context while the callback looks (its length
    // is what a progress line shows).
    if (callback != nullptr) StoreNumber(Block(context->p), p.get(), kRsaMaxWords);
    if (StopPQ(callback, context, p_attempt, 0)) {
      stopped = true;
      break;
    }
    if (!IsRandomCandidatePrime(p.get())) continue;

    gcry_mpi_div(q_lo.get(), remainder.get(), low_n.get(), p.get(), 0);
    if (!remainder.IsZero()) gcry_mpi_add_ui(q_lo.get(), q_lo.get(), 1);
    gcry_mpi_div(q_hi.get(), nullptr, high_n.get(), p.get(), 0);
    gcry_mpi_sub(width.get(), q_hi.get(), q_lo.get());
    gcry_mpi_add_ui(width.get(), width.get(), 1);

    for (uint32_t q_attempt = 1; q_attempt <= q_limit; ++q_attempt) {
      RandomInRange(q.get(), q_lo.get(), width.get());
      gcry_mpi_set_bit(q.get(), 0);
      if (callback != nullptr) StoreNumber(Block(context->q), q.get(), kRsaMaxWords);
      if (StopPQ(callback, context, p_attempt, q_attempt)) {
        stopped = true;
        break;
      }
      if (gcry_mpi_cmp(q.get(), q_hi.get()) > 0 || gcry_mpi_cmp(q.get(), p.get()) == 0) continue;
      if (!IsRandomCandidatePrime(q.get())) continue;
      gcry_mpi_mul(n.get(), p.get(), q.get());
      found = gcry_mpi_get_nbits(n.get()) == t;  // always, by the interval
      if (found) break;
    }
  }

  if (stopped) {
    nc::SecureWipe(&context->p, sizeof context->p);
    nc::SecureWipe(&context->q, sizeof context->q);
    nc::SecureWipe(&context->n, sizeof context->n);
    return kRsaGenStopped;
  }
  StoreNumber(Block(context->p), p.get(), kRsaMaxWords);
  StoreNumber(Block(context->q), q.get(), kRsaMaxWords);
  StoreNumber(Block(context->n), n.get(), kRsaMaxWords);
  return kRsaGenDone;
}

// E of a bit length drawn from [max(eBitsLo, ceil(bits(N)/2)), min(eBitsHi,
// bits(N) - 1)], odd, coprime with (P-1)(Q-1); D = E^-1 mod lcm(P-1, Q-1),
// drawn again when D <= 1 or D = E.
extern "C" int32_t ZQAPI RSAGenED(RSAContext* context, RSAECallback callback) {
  using namespace nc::zq;
  if (context == nullptr) return kRsaGenBadRequest;
  EnsureGcrypt();
  SecretMpi p(kWords), q(kWords), n(kWords), product(kWords);
  const bool loaded = LoadSlot(context->p, p) && LoadSlot(context->q, q) && LoadSlot(context->n, n);
  const uint32_t n_bits = gcry_mpi_get_nbits(n.get());
  gcry_mpi_mul(product.get(), p.get(), q.get());
  // A key pair needs N = P Q of distinct primes, N long enough to carry a
  // block (RSAEncBlk). P and Q are taken to be RSAGenPQN's, drawn at random:
  // they are tested as such (a caller who made them otherwise gets the
  // weaker bound of a few Miller-Rabin rounds for chosen composites).
  bool usable = loaded && n_bits >= 17 && gcry_mpi_cmp(product.get(), n.get()) == 0 &&
                gcry_mpi_cmp(p.get(), q.get()) != 0 && IsRandomCandidatePrime(p.get()) &&
                IsRandomCandidatePrime(q.get());
  const uint32_t e_lo = std::max(context->eBitsLo, (n_bits + 1) / 2);
  const uint32_t e_hi = std::min(context->eBitsHi, n_bits - 1);
  if (!usable || e_lo > e_hi) {
    nc::SecureWipe(&context->e, sizeof context->e);
    nc::SecureWipe(&context->d, sizeof context->d);
    return kRsaGenBadRequest;
  }

  SecretMpi p1(kWords), q1(kWords), phi(kWords), g(kWords), lambda(kWords), e(kWords), d(kWords);
  gcry_mpi_sub_ui(p1.get(), p.get(), 1);
  gcry_mpi_sub_ui(q1.get(), q.get(), 1);
  gcry_mpi_mul(phi.get(), p1.get(), q1.get());
  gcry_mpi_gcd(g.get(), p1.get(), q1.get());
  gcry_mpi_div(lambda.get(), nullptr, phi.get(), g.get(), 0);

  for (uint32_t attempt = 1;; ++attempt) {
    const uint32_t bits = e_lo + RandomBelow(e_hi - e_lo + 1);
    gcry_mpi_randomize(e.get(), bits, GCRY_STRONG_RANDOM);
    gcry_mpi_set_highbit(e.get(), bits - 1);
    gcry_mpi_set_bit(e.get(), 0);  // (P-1)(Q-1) is even
    if (callback != nullptr) StoreNumber(Block(context->e), e.get(), kRsaMaxWords);
    if (callback != nullptr && callback(context, attempt) != 0) {
      nc::SecureWipe(&context->e, sizeof context->e);
      nc::SecureWipe(&context->d, sizeof context->d);
      return kRsaGenStopped;
    }
    if (gcry_mpi_gcd(g.get(), e.get(), phi.get()) == 0) continue;  // not coprime
    if (gcry_mpi_invm(d.get(), e.get(), lambda.get()) == 0) continue;
    if (gcry_mpi_cmp_ui(d.get(), 1) <= 0 || gcry_mpi_cmp(d.get(), e.get()) == 0) continue;
    StoreNumber(Block(context->e), e.get(), kRsaMaxWords);
    StoreNumber(Block(context->d), d.get(), kRsaMaxWords);
    return kRsaGenDone;
  }
}
