// ZQRSA32: constant-time modular exponentiation (see zq/rsa_modexp.h).
//
// Montgomery form with R = 2^(32 k), k = nWords: a number a is held as
// a R mod n, and MontMul(a R, b R) = a b R mod n. Every product is the same
// sequence of word operations for given k; the final conditional subtraction
// is a masked select.
#include "zq/rsa_modexp.h"

#include "zq/wipe.h"

namespace nc::zq {
namespace {

constexpr uint32_t kWindowBits = 4;
constexpr uint32_t kTableSize = 1u << kWindowBits;
constexpr uint32_t kMaxWords = kModExpMaxWords;

// All ones when a == b, else 0, without a branch.
inline uint32_t MaskIfEqual(uint32_t a, uint32_t b) {
  const uint32_t d = a ^ b;
  return ((d | (0u - d)) >> 31) - 1u;
}

// -n0^-1 mod 2^32 for odd n0. n0 is its own inverse modulo 8; each Newton
// step doubles the number of correct low bits (3, 6, 12, 24, 48).
uint32_t NegInverse(uint32_t n0) {
  uint32_t inv = n0;
  for (int i = 0; i < 4; ++i) inv *= 2u - n0 * inv;
  return 0u - inv;
}

struct Modulus {
  const uint32_t* n;
  uint32_t k;
  uint32_t n0inv;
};

// out = t - n if that is not negative, else t, for t = t[0..k] < 2n (k + 1
// words). out has k words.
void ReduceOnce(const Modulus& m, uint32_t* out, const uint32_t* t) {
  uint32_t borrow = 0;
  for (uint32_t j = 0; j < m.k; ++j) {
    const uint64_t d = static_cast<uint64_t>(t[j]) - m.n[j] - borrow;
    out[j] = static_cast<uint32_t>(d);
    borrow = static_cast<uint32_t>(d >> 63);
  }
  // t < n exactly when the top word is zero and the subtraction borrowed.
  const uint32_t keep = 0u - (borrow & MaskIfEqual(t[m.k], 0) & 1u);
  for (uint32_t j = 0; j < m.k; ++j) out[j] = (t[j] & keep) | (out[j] & ~keep);
}

// out = a b R^-1 mod n for a, b < n (coarsely integrated operand scanning).
// out may alias a or b; t is scratch of k + 2 words.
void MontMul(const Modulus& m, uint32_t* out, const uint32_t* a, const uint32_t* b, uint32_t* t) {
  const uint32_t k = m.k;
  const uint32_t* n = m.n;
  for (uint32_t j = 0; j < k + 2; ++j) t[j] = 0;
  for (uint32_t i = 0; i < k; ++i) {
    // t += a b[i]
    uint64_t c = 0;
    const uint64_t bi = b[i];
    for (uint32_t j = 0; j < k; ++j) {
      c += t[j] + a[j] * bi;
      t[j] = static_cast<uint32_t>(c);
      c >>= 32;
    }
    c += t[k];
    t[k] = static_cast<uint32_t>(c);
    t[k + 1] = static_cast<uint32_t>(c >> 32);
    // t = (t + q n) / 2^32 with q chosen so that the low word cancels.
    const uint64_t q = static_cast<uint32_t>(t[0] * m.n0inv);
    c = (t[0] + q * n[0]) >> 32;
    for (uint32_t j = 1; j < k; ++j) {
      c += t[j] + q * n[j];
      t[j - 1] = static_cast<uint32_t>(c);
      c >>= 32;
    }
    c += t[k];
    t[k - 1] = static_cast<uint32_t>(c);
    t[k] = t[k + 1] + static_cast<uint32_t>(c >> 32);
  }
  ReduceOnce(m, out, t);
}

// r = R^2 mod n by doubling 1 (or 0 for n = 1) 64 k times. n is public, but
// the doubling is branch-free all the same.
void MontgomerySquare(const Modulus& m, uint32_t* r, uint32_t* t) {
  for (uint32_t j = 0; j <= m.k; ++j) t[j] = 0;
  t[0] = 1;
  ReduceOnce(m, r, t);
  for (uint32_t step = 0; step < 64 * m.k; ++step) {
    uint32_t carry = 0;
    for (uint32_t j = 0; j < m.k; ++j) {
      t[j] = (r[j] << 1) | carry;
      carry = r[j] >> 31;
    }
    t[m.k] = carry;
    ReduceOnce(m, r, t);
  }
}

}  // namespace

bool ModExpConstTime(uint32_t* r, const uint32_t* b, const uint32_t* x, uint32_t xWords,
                     const uint32_t* n, uint32_t nWords) {
  if (nWords == 0 || nWords > kMaxWords || xWords > kMaxWords || (n[0] & 1u) == 0) return false;
  const Modulus m{n, nWords, NegInverse(n[0])};
  const uint32_t k = nWords;

  uint32_t table[kTableSize][kMaxWords];
  uint32_t acc[kMaxWords], pick[kMaxWords], r2[kMaxWords], unit[kMaxWords];
  uint32_t scratch[kMaxWords + 2];
  uint32_t exponent[kMaxWords];
  // The exponent is copied first: r may alias x.
  for (uint32_t j = 0; j < xWords; ++j) exponent[j] = x[j];

  MontgomerySquare(m, r2, scratch);
  for (uint32_t j = 0; j < k; ++j) unit[j] = 0;
  unit[0] = 1;
  // table[i] = b^i R mod n; table[0] = R mod n (1 in Montgomery form).
  MontMul(m, table[0], r2, unit, scratch);
  MontMul(m, table[1], b, r2, scratch);
  for (uint32_t i = 2; i < kTableSize; ++i) MontMul(m, table[i], table[i - 1], table[1], scratch);

  for (uint32_t j = 0; j < k; ++j) acc[j] = table[0][j];
  for (uint32_t bit = 32 * xWords; bit >= kWindowBits;) {
    bit -= kWindowBits;
    for (uint32_t s = 0; s < kWindowBits; ++s) MontMul(m, acc, acc, acc, scratch);
    const uint32_t window = (exponent[bit / 32] >> (bit % 32)) & (kTableSize - 1);
    // Every entry is read; only the one that matches survives the mask.
    for (uint32_t j = 0; j < k; ++j) pick[j] = 0;
    for (uint32_t i = 0; i < kTableSize; ++i) {
      const uint32_t mask = MaskIfEqual(i, window);
      for (uint32_t j = 0; j < k; ++j) pick[j] |= table[i][j] & mask;
    }
    MontMul(m, acc, acc, pick, scratch);
  }
  // Out of Montgomery form: acc R^-1.
  MontMul(m, r, acc, unit, scratch);

  SecureWipe(table, sizeof table);
  SecureWipe(acc, sizeof acc);
  SecureWipe(pick, sizeof pick);
  SecureWipe(scratch, sizeof scratch);
  SecureWipe(exponent, sizeof exponent);
  return true;
}

}  // namespace nc::zq
