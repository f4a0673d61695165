/* ZQCOM32: random words and key generation.
 *
 * Every random byte comes from libgcrypt's generator at the strong level
 * (gcry_randomize with GCRY_STRONG_RANDOM). Blocks are WordBlocks
 * (zq/word_block.h): a 32-bit count, then `count` 32-bit words. No function
 * writes more than ZQ_MAX_WORDS (256) words or anything beyond the block's
 * first `count` words; secret temporaries are wiped with nc::SecureWipe.
 */
#ifndef NCCORE_ZQ_RANDOM_H
#define NCCORE_ZQ_RANDOM_H
#include <stdint.h>

#include "zq/api.h"
#include "zq/word_block.h"

/* The most words any primitive reads or writes in one block (the same
 * definition as in zq/bignum.h). */
#define ZQ_MAX_WORDS 256

#ifdef __cplusplus
extern "C" {
#endif

/* Fills the block's first `count` words with random words; the count and
 * every word after them stay as they are. A count above ZQ_MAX_WORDS is
 * taken as ZQ_MAX_WORDS and written back as such. Count 0 fills nothing. */
void ZQAPI zq_rnd(WordBlock* block);

/* A random DES key: count = 2, words[0..1] hold the 8 key bytes in memory
 * order (byte 0 first, as DESEdk reads them), each byte with odd parity
 * (its least significant bit set so that the byte has an odd number of
 * ones). The key is redrawn until its two 28-bit key-schedule halves (C and
 * D after permuted choice 1, parity bits ignored) are not both periodic with
 * period 4. A key whose halves both are yields at most four distinct round
 * keys; these 256 keys are exactly the ones rejected, and they include the
 * 4 weak keys, the 12 semi-weak keys and the 48 "possibly weak" keys of the
 * DES literature. The caller's block needs room for 2 words. */
void ZQAPI DESGenKey(WordBlock* block);

/* A random GOST 28147-89 key: count = 8, words[0..7] hold 32 random bytes.
 * The caller's block needs room for 8 words. */
void ZQAPI GOSGenKey(WordBlock* block);

#ifdef __cplusplus
}
#endif
#endif
