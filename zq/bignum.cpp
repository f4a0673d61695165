// ZQBIG32, the word-level functions: zq_mov, zq_bit, zq_shr. Plain loops over
// the words; the modular functions are in bignum_modular.cpp.
#include "zq/bignum.h"

#include <bit>
#include <cstring>

#include "zq/bignum_mpi.h"

extern "C" void ZQAPI zq_mov(WordBlock* dst, const WordBlock* src) {
  const uint32_t count = nc::zq::UsedWords(src);
  // memmove: the blocks may be the same or overlap. The count is written
  // last, after every source word has been read.
  std::memmove(&dst->words[0], &src->words[0], std::size_t{count} * 4);
  dst->count = count;
}

extern "C" uint32_t ZQAPI zq_bit(const WordBlock* n) {
  const uint32_t* w = &n->words[0];
  for (uint32_t i = nc::zq::UsedWords(n); i-- > 0;)
    if (w[i] != 0) return 32 * i + static_cast<uint32_t>(std::bit_width(w[i]));
  return 0;
}

extern "C" void ZQAPI zq_shr(WordBlock* n, uint32_t bits) {
  const uint32_t count = nc::zq::UsedWords(n);
  n->count = count;
  uint32_t* w = &n->words[0];
  const uint32_t wordShift = bits / 32;
  const unsigned bitShift = bits % 32;
  // Ascending order: word i reads words i + wordShift and the one above it,
  // neither of which has been written yet.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t value = 0;
    if (wordShift < count - i) {
      const uint32_t from = i + wordShift;
      value = w[from] >> bitShift;
      if (bitShift != 0 && from + 1 < count) value |= w[from + 1] << (32 - bitShift);
    }
    w[i] = value;
  }
}
