// Conversions between WordBlocks and libgcrypt MPIs for the big-number
// primitives. Every MPI made here is a "secure" one (gcry_mpi_snew): the flag
// tells libgcrypt that the value is secret, and libgcrypt wipes the limbs of
// every MPI it frees. Internal to the zq library (and its tests).
#pragma once

#include <gcrypt.h>

#include <cstdint>

#include "zq/word_block.h"

namespace nc::zq {

// The words of a block that the primitives look at: count, at most
// ZQ_MAX_WORDS.
uint32_t UsedWords(const WordBlock* block);

// An owned secure MPI, released (and so wiped) when it goes out of scope.
class SecretMpi {
 public:
  // The value 0, with its limbs allocated up front for the products and
  // remainders libgcrypt forms from numbers of up to `words` words, so that
  // libgcrypt never reallocates them (a reallocation would leave an unwiped
  // copy of the old limbs behind).
  explicit SecretMpi(uint32_t words);
  SecretMpi(SecretMpi&& other) noexcept;
  ~SecretMpi();
  SecretMpi(const SecretMpi&) = delete;
  SecretMpi& operator=(const SecretMpi&) = delete;
  SecretMpi& operator=(SecretMpi&&) = delete;

  gcry_mpi_t get() const { return mpi_; }
  bool IsZero() const;

 private:
  gcry_mpi_t mpi_;
};

// The value of `block` (its first UsedWords words) as a secure MPI.
SecretMpi LoadNumber(const WordBlock* block);

// Writes `value`, which must be below 2^(32 * capacity), to `result` with the
// minimal count (at least 1), writing only that many words. `capacity` is at
// most ZQ_MAX_WORDS; the work depends on it, not on the value.
void StoreNumber(WordBlock* result, gcry_mpi_t value, uint32_t capacity);

// Writes the number 0: count 1, word 0.
void StoreZero(WordBlock* result);

}  // namespace nc::zq
