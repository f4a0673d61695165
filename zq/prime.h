/* Probable primes of an exact bit length. */
#ifndef NCCORE_ZQ_PRIME_H
#define NCCORE_ZQ_PRIME_H
#include <stdint.h>

#include "zq/word_block.h"

#include "zq/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills `number` (room for at least (bits + 31) / 32 words) with a random
 * probable prime of exactly `bits` bits, drawn from the strong random
 * generator. Returns 0, or nonzero (number set to count 1, word 0) when
 * `bits` is below 2 or above 8192. */
int32_t ZQAPI zq_prime(WordBlock* number, uint32_t bits);

#ifdef __cplusplus
}
#endif
#endif
