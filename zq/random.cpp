// ZQCOM32: random words (zq_rnd) and key generation (DESGenKey, GOSGenKey)
// over libgcrypt's strong random generator.
#include "zq/random.h"

#include <gcrypt.h>

#include <cstring>

#include "zq/gcrypt_init.h"
#include "zq/random_internal.h"
#include "zq/wipe.h"

namespace nc::zq {
namespace {

// `words` is declared with one element; the caller's block holds `count`.
uint32_t* Words(WordBlock* block) { return &block->words[0]; }

void StrongRandom(uint8_t* out, size_t n, void*) { gcry_randomize(out, n, GCRY_STRONG_RANDOM); }

// ---- weak DES keys -----------------------------------------------------------
// Permuted choice 1 (FIPS 46-3): key bit numbers 1..64, bit 1 being the most
// significant bit of byte 0. The first 28 entries form C, the rest D.
constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,  //
                              10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,  //
                              63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,  //
                              14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

uint32_t KeyBit(const uint8_t key[8], unsigned number) {
  const unsigned index = number - 1;
  return (key[index / 8] >> (7 - index % 8)) & 1u;
}

// One 28-bit half, C (half 0) or D (half 1), first PC-1 bit most significant.
uint32_t Half(const uint8_t key[8], unsigned half) {
  uint32_t value = 0;
  for (unsigned i = 0; i < 28; ++i) value = (value << 1) | KeyBit(key, kPc1[28 * half + i]);
  return value;
}

// The key schedule rotates each half left by 1 or 2 bits per round, 28 in
// all. A half that repeats every 4 bits takes at most 4 values over the 16
// rounds; when both halves do, the 16 round keys take at most 4 values.
bool HasPeriod4(uint32_t half28) {
  const uint32_t rotated = ((half28 << 4) | (half28 >> 24)) & 0x0FFFFFFFu;
  return rotated == half28;
}

void SetOddParity(uint8_t key[8]) {
  for (int i = 0; i < 8; ++i) {
    unsigned ones = 0;
    for (int bit = 1; bit < 8; ++bit) ones += (key[i] >> bit) & 1u;
    key[i] = static_cast<uint8_t>((key[i] & 0xFEu) | ((ones & 1u) ^ 1u));
  }
}

}  // namespace

bool IsWeakDesKey(const uint8_t key[8]) {
  return HasPeriod4(Half(key, 0)) && HasPeriod4(Half(key, 1));
}

void GenerateDesKey(uint8_t key[8], RandomBytes draw, void* context) {
  do {
    draw(key, 8, context);
    SetOddParity(key);
  } while (IsWeakDesKey(key));
}

}  // namespace nc::zq

// ---- exports -------------------------------------------------------------------

extern "C" void ZQAPI zq_rnd(WordBlock* block) {
  nc::zq::EnsureGcrypt();
  uint32_t count = block->count;
  if (count > ZQ_MAX_WORDS) {
    count = ZQ_MAX_WORDS;
    block->count = count;
  }
  if (count != 0) gcry_randomize(nc::zq::Words(block), count * 4u, GCRY_STRONG_RANDOM);
}

extern "C" void ZQAPI DESGenKey(WordBlock* block) {
  nc::zq::EnsureGcrypt();
  uint8_t key[8];
  nc::zq::GenerateDesKey(key, nc::zq::StrongRandom, nullptr);
  block->count = 2;
  std::memcpy(nc::zq::Words(block), key, sizeof key);
  nc::SecureWipe(key, sizeof key);
}

extern "C" void ZQAPI GOSGenKey(WordBlock* block) {
  nc::zq::EnsureGcrypt();
  block->count = 8;
  gcry_randomize(nc::zq::Words(block), 32, GCRY_STRONG_RANDOM);
}
