// WordBlock <-> libgcrypt MPI conversions (see zq/bignum_mpi.h).
//
// Why not gcry_mpi_scan / gcry_mpi_print: scan makes a non-secure MPI, and
// print copies the value through a heap buffer that libgcrypt frees without
// wiping. Building the MPI with shifts and additions inside limbs we
// allocated, and reading it back bit by bit, leaves no copy behind.
#include "zq/bignum_mpi.h"

#include <algorithm>

#include "zq/bignum.h"
#include "zq/gcrypt_init.h"
#include "zq/wipe.h"

namespace nc::zq {

uint32_t UsedWords(const WordBlock* block) {
  return std::min<uint32_t>(block->count, ZQ_MAX_WORDS);
}

SecretMpi::SecretMpi(uint32_t words) {
  EnsureGcrypt();
  // 2 * words + 4 words of 64 bits: twice the operand plus headroom, whether
  // libgcrypt's limbs are 32 or 64 bits wide.
  mpi_ = gcry_mpi_snew(64u * (2u * words + 4u));
}

SecretMpi::SecretMpi(SecretMpi&& other) noexcept : mpi_(other.mpi_) { other.mpi_ = nullptr; }

SecretMpi::~SecretMpi() {
  // gcry_mpi_release wipes all allocated limbs of a normal MPI.
  gcry_mpi_release(mpi_);
}

bool SecretMpi::IsZero() const { return gcry_mpi_cmp_ui(mpi_, 0) == 0; }

SecretMpi LoadNumber(const WordBlock* block) {
  const uint32_t words = UsedWords(block);
  SecretMpi number(words);
  const uint32_t* w = &block->words[0];
  // Most significant word first: number = number * 2^32 + w[i]. The low 32
  // bits are zero after the shift, so the addition never carries.
  for (uint32_t i = words; i-- > 0;) {
    gcry_mpi_mul_2exp(number.get(), number.get(), 32);
    gcry_mpi_add_ui(number.get(), number.get(), w[i]);
  }
  return number;
}

void StoreNumber(WordBlock* result, gcry_mpi_t value, uint32_t capacity) {
  uint32_t buffer[ZQ_MAX_WORDS];
  capacity = std::min<uint32_t>(capacity, ZQ_MAX_WORDS);
  uint32_t count = 1;
  for (uint32_t i = 0; i < capacity; ++i) {
    uint32_t word = 0;
    for (unsigned bit = 0; bit < 32; ++bit)
      word |= static_cast<uint32_t>(gcry_mpi_test_bit(value, 32 * i + bit) != 0) << bit;
    buffer[i] = word;
    if (word != 0) count = i + 1;
  }
  if (capacity == 0) buffer[0] = 0;
  result->count = count;
  std::copy_n(buffer, count, &result->words[0]);
  SecureWipe(buffer, sizeof buffer);
}

void StoreZero(WordBlock* result) {
  result->count = 1;
  result->words[0] = 0;
}

}  // namespace nc::zq
