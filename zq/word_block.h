/* WordBlock: a 32-bit count followed by that many 32-bit words, least
 * significant word first where the block holds a number. In files the
 * block is (count + 1) * 4 little-endian bytes, the same as in memory on
 * the little-endian machines this library runs on. Callers allocate the
 * room they need; `words` is declared with one element for C. */
#ifndef NCCORE_ZQ_WORD_BLOCK_H
#define NCCORE_ZQ_WORD_BLOCK_H
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct WordBlock {
  uint32_t count;
  uint32_t words[1];
} WordBlock;

#ifdef __cplusplus
}

/* A WordBlock with room for N words, for callers that own their numbers. */
template <unsigned N>
struct WordBlockOf {
  uint32_t count;
  uint32_t words[N];
  WordBlock* get() { return reinterpret_cast<WordBlock*>(this); }
  const WordBlock* get() const { return reinterpret_cast<const WordBlock*>(this); }
  static constexpr unsigned kCapacityBytes = 4 * (N + 1);
};
#endif
#endif
