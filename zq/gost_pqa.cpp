// ZQGOS32, GOSSignGenPQA: the common numbers p, q, a of GOST R 34.10-94 by
// the standard's procedures A, B, A' and B' and its procedure for a
// (conventions and the sieve in zq/gost_sign.h).
//
// All values here are public; the MPIs are libgcrypt's all the same, through
// SecretMpi, whose limbs are allocated up front.
#include <gcrypt.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "zq/bignum_mpi.h"
#include "zq/gcrypt_init.h"
#include "zq/gost_pqa_internal.h"
#include "zq/gost_sign.h"

namespace nc::zq {
namespace {

// Room for the largest numbers formed: p (1024 bits), 2^(t-1) Y (2048 bits).
constexpr uint32_t kWords = 64;
constexpr uint32_t kBigQBits = 512;  // Q of procedures B and B'
constexpr uint32_t kQBits = 256;     // q of procedures B and B'
constexpr uint32_t kBWordBits = 1024;

// The linear congruential generator and chain limit of each pair of
// procedures.
struct Words {
  unsigned bits;        // w: 16 (A, B) or 32 (A', B')
  uint32_t multiplier;  // y(i+1) = (multiplier y(i) + c) mod 2^w
  unsigned limit;       // chains halve lengths while they are at least this
  uint32_t phase;       // GOSPQAProgress.phase while primes are generated
};
constexpr Words kWords16 = {16, 19381u, 17, kGosPqaPhasePrime16};
constexpr Words kWords32 = {32, 97781173u, 33, kGosPqaPhasePrime32};

// ---- the sieve -------------------------------------------------------------
// The odd primes below 2^11.
constexpr unsigned kSieveLimit = 2048;

std::vector<uint32_t> MakeSievePrimes() {
  std::vector<bool> composite(kSieveLimit, false);
  std::vector<uint32_t> primes;
  for (unsigned i = 3; i < kSieveLimit; i += 2) {
    if (composite[i]) continue;
    primes.push_back(i);
    for (unsigned j = i * i; j < kSieveLimit; j += 2 * i) composite[j] = true;
  }
  return primes;
}

const std::vector<uint32_t>& SievePrimes() {
  static const std::vector<uint32_t> primes = MakeSievePrimes();
  return primes;
}

// The remainders of `value` modulo every sieve prime.
void Remainders(gcry_mpi_t value, std::vector<uint32_t>& out) {
  WordBlockOf<kWords> block{};
  StoreNumber(block.get(), value, kWords);
  const std::vector<uint32_t>& primes = SievePrimes();
  out.resize(primes.size());
  for (size_t j = 0; j < primes.size(); ++j) {
    uint64_t r = 0;
    for (uint32_t i = block.count; i-- > 0;) r = ((r << 32) | block.words[i]) % primes[j];
    out[j] = static_cast<uint32_t>(r);
  }
}

// ---- small helpers -----------------------------------------------------------
bool IsSmallPrime(uint32_t n) {
  if (n < 2) return false;
  if (n % 2 == 0) return n == 2;
  for (uint32_t d = 3; d <= n / d; d += 2) {
    if (n % d == 0) return false;
  }
  return true;
}

// The smallest prime of exactly `bits` bits (2 <= bits <= 32).
uint32_t SmallestPrime(unsigned bits) {
  uint32_t n = static_cast<uint32_t>(1) << (bits - 1);
  while (!IsSmallPrime(n)) ++n;
  return n;
}

// ceil(a / b) for positive b.
void DivideUp(gcry_mpi_t quotient, gcry_mpi_t a, gcry_mpi_t b) {
  SecretMpi remainder(kWords);
  gcry_mpi_div(quotient, remainder.get(), a, b, 0);
  if (!remainder.IsZero()) gcry_mpi_add_ui(quotient, quotient, 1);
}

// The chain of lengths t(0) = t, t(i+1) = floor(t(i) / 2), ending with the
// first length below the limit.
std::vector<unsigned> Chain(unsigned t, unsigned limit) {
  std::vector<unsigned> lengths{t};
  while (lengths.back() >= limit) lengths.push_back(lengths.back() / 2);
  return lengths;
}

// ---- the generator -----------------------------------------------------------
class Generator {
 public:
  Generator(GOSPQAContext* context, const Words& words, uint32_t x0, uint32_t c,
            uint32_t iterations)
      : context_(context), words_(words), y_(x0), c_(c), start_(Clock::now()) {
    progress_.size = sizeof progress_;
    progress_.iterations = iterations;
    progress_.window = context->window;
  }

  // Procedure A (A') for a prime of t bits: the last prime of the chain in
  // `prime`, the one before it (floor(t / 2) bits) in `factor` if not null.
  // False when the callback asked to stop.
  bool ProcedureA(unsigned t, uint32_t number, gcry_mpi_t prime, gcry_mpi_t factor) {
    const std::vector<unsigned> lengths = Chain(t, words_.limit);
    SecretMpi previous(kWords);
    gcry_mpi_set_ui(previous.get(), SmallestPrime(lengths.back()));
    for (size_t m = lengths.size() - 1; m-- > 0;) {
      const unsigned t_m = lengths[m];
      const unsigned r = (t_m + words_.bits - 1) / words_.bits;
      SecretMpi next(kWords);
      if (!Step(t_m, r, previous.get(), nullptr,
                m == 0 ? number : static_cast<uint32_t>(kGosPqaNumberQ), next.get())) {
        return false;
      }
      if (m == 1 && factor != nullptr) gcry_mpi_set(factor, next.get());
      gcry_mpi_set(previous.get(), next.get());
    }
    gcry_mpi_set(prime, previous.get());
    return true;
  }

  // Procedure B (B'): q by A, Q by A continuing the same sequence, then p.
  bool ProcedureB(unsigned t, gcry_mpi_t p, gcry_mpi_t q) {
    SecretMpi big_q(kWords), product(kWords);
    if (!ProcedureA(kQBits, kGosPqaNumberQ, q, nullptr)) return false;
    if (!ProcedureA(kBigQBits, kGosPqaNumberBigQ, big_q.get(), nullptr)) return false;
    gcry_mpi_mul(product.get(), q, big_q.get());
    return Step(t, kBWordBits / words_.bits, product.get(), q, kGosPqaNumberP, p);
  }

  // a = d^((p-1)/q) mod p for the smallest d > 1 giving a != 1.
  bool ComputeA(gcry_mpi_t p, gcry_mpi_t q, gcry_mpi_t a) {
    SecretMpi exponent(kWords), remainder(kWords), d(1);
    gcry_mpi_sub_ui(exponent.get(), p, 1);
    gcry_mpi_div(exponent.get(), remainder.get(), exponent.get(), q, 0);
    for (uint32_t base = 2;; ++base) {
      if (Report(kGosPqaPhaseA, kGosPqaNumberA, 0, base - 1, base == 2)) return false;
      gcry_mpi_set_ui(d.get(), base);
      gcry_mpi_powm(a, d.get(), exponent.get(), p);
      if (gcry_mpi_cmp_ui(a, 1) != 0) return true;
    }
  }

 private:
  using Clock = std::chrono::steady_clock;

  // One prime of t bits with the known factor F of p - 1: steps 5 to 13 of
  // procedure A (r words per Y), or steps 3 to 10 of procedure B, where the
  // second condition's exponent is q (N + k) instead of N + k (`cofactor` =
  // q; null in A).
  bool Step(unsigned t, unsigned r, gcry_mpi_t factor, gcry_mpi_t cofactor, uint32_t number,
            gcry_mpi_t prime) {
    ++iteration_;
    uint32_t attempt = 0;
    SecretMpi limit(kWords), half(kWords), y_number(kWords), numerator(kWords), denominator(kWords),
        n(kWords), second(kWords), candidate(kWords), step(kWords), exponent(kWords), power(kWords),
        two(1);
    gcry_mpi_set_bit(limit.get(), t);     // 2^t
    gcry_mpi_set_bit(half.get(), t - 1);  // 2^(t-1)
    gcry_mpi_set_ui(two.get(), 2);
    gcry_mpi_mul_ui(step.get(), factor, 2);
    std::vector<uint32_t> residues, step_residues;
    Remainders(step.get(), step_residues);
    for (;;) {
      // Y from y(0), ..., y(r-1); y(0) becomes y(r).
      gcry_mpi_set_ui(y_number.get(), 0);
      std::vector<uint32_t> ys(r);
      for (unsigned i = 0; i < r; ++i) {
        ys[i] = y_;
        y_ = Next(y_);
      }
      for (unsigned i = r; i-- > 0;) {
        gcry_mpi_mul_2exp(y_number.get(), y_number.get(), words_.bits);
        gcry_mpi_add_ui(y_number.get(), y_number.get(), ys[i]);
      }
      // N = ceil(2^(t-1) / F) + ceil(2^(t-1) Y / (F 2^(w r))), made even.
      DivideUp(n.get(), half.get(), factor);
      gcry_mpi_mul(numerator.get(), half.get(), y_number.get());
      gcry_mpi_mul_2exp(denominator.get(), factor, words_.bits * r);
      DivideUp(second.get(), numerator.get(), denominator.get());
      gcry_mpi_add(n.get(), n.get(), second.get());
      if (gcry_mpi_test_bit(n.get(), 0)) gcry_mpi_add_ui(n.get(), n.get(), 1);
      // Candidates F (N + k) + 1 for k = 0, 2, 4, ...; n holds N + k.
      gcry_mpi_mul(candidate.get(), factor, n.get());
      gcry_mpi_add_ui(candidate.get(), candidate.get(), 1);
      Remainders(candidate.get(), residues);
      for (; gcry_mpi_cmp(candidate.get(), limit.get()) <= 0;
           gcry_mpi_add(candidate.get(), candidate.get(), step.get()),
           gcry_mpi_add_ui(n.get(), n.get(), 2), Advance(residues, step_residues)) {
        ++attempt;
        if (Report(words_.phase, number, t, attempt, attempt == 1)) return false;
        if (std::find(residues.begin(), residues.end(), 0u) != residues.end()) continue;
        // 2^(F (N + k)) mod p = 1, that is 2^(p-1) mod p = 1.
        gcry_mpi_sub_ui(exponent.get(), candidate.get(), 1);
        gcry_mpi_powm(power.get(), two.get(), exponent.get(), candidate.get());
        if (gcry_mpi_cmp_ui(power.get(), 1) != 0) continue;
        // 2^(N + k) mod p != 1 (A), 2^(q (N + k)) mod p != 1 (B).
        if (cofactor != nullptr) {
          gcry_mpi_mul(exponent.get(), cofactor, n.get());
        } else {
          gcry_mpi_set(exponent.get(), n.get());
        }
        gcry_mpi_powm(power.get(), two.get(), exponent.get(), candidate.get());
        if (gcry_mpi_cmp_ui(power.get(), 1) == 0) continue;
        gcry_mpi_set(prime, candidate.get());
        return true;
      }
    }
  }

  static void Advance(std::vector<uint32_t>& residues, const std::vector<uint32_t>& steps) {
    const std::vector<uint32_t>& primes = SievePrimes();
    for (size_t j = 0; j < residues.size(); ++j) {
      residues[j] += steps[j];
      if (residues[j] >= primes[j]) residues[j] -= primes[j];
    }
  }

  uint32_t Next(uint32_t y) const {
    // Unsigned arithmetic wraps modulo 2^32; the 16-bit generator keeps the
    // low half (19381 y + c < 2^32 for y, c < 2^16).
    const uint32_t next = words_.multiplier * y + c_;
    return words_.bits == 16 ? (next & 0xFFFFu) : next;
  }

  // Calls the callback (if any) when `now` is set or 1/8 s has passed since
  // the last call. True when the callback asked to stop.
  bool Report(uint32_t phase, uint32_t number, uint32_t bits, uint32_t attempt, bool now) {
    if (context_->callback == nullptr) return false;
    const Clock::time_point time = Clock::now();
    if (!now && time - last_report_ < std::chrono::milliseconds(125)) return false;
    last_report_ = time;
    progress_.phase = phase;
    progress_.number = number;
    progress_.bits = bits;
    progress_.iteration = std::min(iteration_, progress_.iterations);
    progress_.attempt = attempt;
    progress_.seconds = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(time - start_).count());
    return context_->callback(&progress_) != 0;
  }

  GOSPQAContext* context_;
  const Words& words_;
  uint32_t y_;
  uint32_t c_;
  Clock::time_point start_;
  Clock::time_point last_report_{};
  uint32_t iteration_ = 0;
  GOSPQAProgress progress_{};
};

void ClearOutputs(GOSPQAContext* context) {
  context->first_value = 0;
  context->second_value = 0;
  std::memset(&context->p, 0, sizeof context->p);
  std::memset(&context->q, 0, sizeof context->q);
  std::memset(&context->a, 0, sizeof context->a);
}

bool IsProcedureA(uint32_t bits) { return bits >= 509 && bits <= 512; }
bool IsProcedureB(uint32_t bits) { return bits >= 1020 && bits <= 1024; }

const Words& WordsFor(const GOSPQAContext* context) {
  return (context->flags & kGosPqaVariant) != 0 ? kWords32 : kWords16;
}

// How many primes a run generates: one per step of each chain, plus p in B.
uint32_t Iterations(uint32_t bits, const Words& words) {
  if (IsProcedureA(bits)) return static_cast<uint32_t>(Chain(bits, words.limit).size() - 1);
  return static_cast<uint32_t>(Chain(kQBits, words.limit).size() - 1 +
                               Chain(kBigQBits, words.limit).size() - 1 + 1);
}

}  // namespace

int32_t GeneratePqaFrom(GOSPQAContext* context, uint32_t x0, uint32_t c) {
  ClearOutputs(context);
  const uint32_t bits = context->bits;
  const Words& words = WordsFor(context);
  const uint64_t bound = static_cast<uint64_t>(1) << words.bits;
  if (!IsProcedureA(bits) && !IsProcedureB(bits)) return kGosPqaBadRequest;
  if (x0 == 0 || x0 >= bound || c >= bound || c % 2 == 0) return kGosPqaBadRequest;
  EnsureGcrypt();
  Generator generator(context, words, x0, c, Iterations(bits, words));
  SecretMpi p(kWords), q(kWords), a(kWords);
  const bool done =
      (IsProcedureA(bits) ? generator.ProcedureA(bits, kGosPqaNumberP, p.get(), q.get())
                          : generator.ProcedureB(bits, p.get(), q.get())) &&
      generator.ComputeA(p.get(), q.get(), a.get());
  if (!done) return kGosPqaStopped;
  StoreNumber(reinterpret_cast<WordBlock*>(&context->p), p.get(), 32);
  StoreNumber(reinterpret_cast<WordBlock*>(&context->q), q.get(), 8);
  StoreNumber(reinterpret_cast<WordBlock*>(&context->a), a.get(), 32);
  context->first_value = x0;
  context->second_value = c;
  return kGosPqaDone;
}

}  // namespace nc::zq

extern "C" int32_t ZQAPI GOSSignGenPQA(GOSPQAContext* context) {
  using namespace nc::zq;
  EnsureGcrypt();
  const uint32_t mask = WordsFor(context).bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  uint32_t x0 = 0;
  while (x0 == 0) {
    gcry_randomize(&x0, sizeof x0, GCRY_STRONG_RANDOM);
    x0 &= mask;
  }
  uint32_t c = 0;
  gcry_randomize(&c, sizeof c, GCRY_STRONG_RANDOM);
  c = (c & mask) | 1u;
  return GeneratePqaFrom(context, x0, c);
}
