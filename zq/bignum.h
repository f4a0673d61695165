/* ZQBIG32: arithmetic on big numbers held in WordBlocks.
 *
 * ---- numbers ----------------------------------------------------------------
 * A number is a WordBlock (zq/word_block.h): a 32-bit count, then `count`
 * 32-bit words, least significant word first (words[0] holds bits 0..31,
 * words[1] bits 32..63, ...). Count 0 is the number 0; operands may carry
 * leading zero words.
 *
 * ---- capacity -------------------------------------------------------------
 * No function reads or writes more than ZQ_MAX_WORDS (256) words of a block;
 * a count above that is taken as ZQ_MAX_WORDS (the words above are ignored
 * and, where the function writes the count back, it becomes ZQ_MAX_WORDS).
 * A result has the minimal count for its value, at least 1 (zero is count 1,
 * word 0), and never more words than the operand that bounds it:
 *   zq_mov  the source's count (not normalised: the count is copied)
 *   zq_bit  (no result block)
 *   zq_mod  at most max(1, min(dividend count, modulus count))
 *   zq_shr  count unchanged (a top word that becomes zero is kept)
 *   zq_emd  at most max(1, modulus count)
 * Only the result's count and its first `count` words are written. A caller
 * that reserves room for its operands (64 words, 260 bytes, for the
 * Diffie-Hellman numbers) therefore always has room for the result.
 *
 * ---- aliasing -------------------------------------------------------------
 * The result may be the same block as any operand (zq_mod(m, r, m) is the
 * intended use): every operand is read completely before the result is
 * written.
 *
 * ---- secrets and timing -----------------------------------------------------
 * zq_mod and zq_emd compute with libgcrypt MPIs allocated as "secure"
 * (gcry_mpi_snew). libgcrypt wipes the limbs of every MPI it frees and, for
 * a secure exponent, also wipes its table of precomputed powers; all of our
 * own temporaries are wiped with nc::SecureWipe. zq_emd relies on what
 * gcry_mpi_powm gives in libgcrypt 1.10: a left-to-right 2^w-ary window
 * exponentiation whose table look-ups are masked (every entry is read,
 * mpi_set_cond), so the cache pattern does not show the window values; the
 * number of squarings between multiplications still depends on the
 * exponent's zero runs, so it is not constant-time in the strict sense.
 * libgcrypt 1.10 offers no stricter public path. A secure exponent is how
 * libgcrypt is told that an exponent is secret (it then also keeps its
 * temporaries in secure allocations), so a later libgcrypt with a stricter
 * path for secret exponents needs no change here. zq_mov, zq_bit and zq_shr
 * are plain word loops whose running time depends only on the counts and
 * the shift.
 */
#ifndef NCCORE_ZQ_BIGNUM_H
#define NCCORE_ZQ_BIGNUM_H
#include <stdint.h>

#include "zq/api.h"
#include "zq/word_block.h"

/* The most words any primitive reads or writes in one block (the GOST
 * substitution block's 256 words are the largest block in the product). */
#define ZQ_MAX_WORDS 256

#ifdef __cplusplus
extern "C" {
#endif

/* dst = src: copies the count and the first `count` words. dst and src may
 * be the same block or overlap. */
void ZQAPI zq_mov(WordBlock* dst, const WordBlock* src);

/* The number of significant bits of n: 0 for zero, otherwise
 * 1 + the index of the highest set bit. */
uint32_t ZQAPI zq_bit(const WordBlock* n);

/* result = dividend mod modulus. A zero modulus (count 0 or all words zero)
 * gives result 0 (count 1, word 0) instead of a division by zero. */
void ZQAPI zq_mod(WordBlock* result, const WordBlock* dividend, const WordBlock* modulus);

/* n = n >> bits, in place, keeping the count. Any shift is defined: 32 and
 * more moves whole words down (words shifted in from above are zero), and a
 * shift of 32 * count or more leaves all `count` words zero. */
void ZQAPI zq_shr(WordBlock* n, uint32_t bits);

/* result = base ^ exponent mod modulus. A zero modulus gives result 0
 * (count 1, word 0); modulus 1 gives 0; exponent 0 gives 1 for any other
 * modulus (including base 0). See "secrets and timing" above. */
void ZQAPI zq_emd(WordBlock* result, const WordBlock* base, const WordBlock* exponent,
                  const WordBlock* modulus);

#ifdef __cplusplus
}
#endif
#endif
