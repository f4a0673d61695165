/* The cryptographic primitives: DES, random numbers and key generation, big
 * numbers (and, later, GOST). On Windows they are the companion libraries
 * ZQDES32.DLL, ZQCOM32.DLL and ZQBIG32.dll, exporting these functions by
 * name with __stdcall; on Linux they are linked into libnccore21.so and
 * built as a static library for tests and benchmarks.
 *
 * Callers own every context: the functions allocate nothing and keep all
 * running state in the records passed to them. Records are plain, packed
 * little-endian layouts with their sizes and offsets asserted below.
 *
 * Numbers are WordBlocks (zq/word_block.h): least significant word first. */
#ifndef NCCORE_ZQ_H
#define NCCORE_ZQ_H
#include <stddef.h>
#include <stdint.h>

#include "zq/word_block.h"

#include "zq/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- records --------------------------------------------------------- */

/* A DES key and its expanded schedule. The caller fills count (2) and the
 * 8 key bytes in key[]; DESEdk fills the schedule. */
typedef struct DesKeyContext {
  uint32_t count;
  uint32_t key[2];
  uint8_t schedule[128];
} DesKeyContext;

enum { kDesEncipher = 1, kDesDecipher = 2, kDesHash = 4 };
enum { kDesEcb = 1, kDesCbc = 2, kDesCfb = 3, kDesOfb = 4 };

/* The running state of one DES file job. Zeroed by the caller, then size,
 * operation, mode, unit size, the key's leading block and the vector set. */
typedef struct DesJobContext {
  uint32_t size; /* 200 */
  uint32_t reserved;
  uint32_t operation; /* kDesEncipher, kDesDecipher, kDesHash */
  uint32_t mode;      /* kDesEcb..kDesOfb; 0 for hashing */
  uint32_t unitSize;  /* 8 for ECB and CBC, 1..8 for CFB and OFB, 0 for hashing */
  DesKeyContext key;
  uint8_t iv[8];
  uint8_t chaining[8]; /* the hash after the last hashing call */
  uint8_t library[24]; /* the primitives' own running state */
} DesJobContext;

#ifdef __cplusplus
#define ZQ_STATIC_ASSERT static_assert
#else
#define ZQ_STATIC_ASSERT _Static_assert
#endif
ZQ_STATIC_ASSERT(sizeof(WordBlock) == 8, "WordBlock header");
ZQ_STATIC_ASSERT(sizeof(DesKeyContext) == 140, "DesKeyContext size");
ZQ_STATIC_ASSERT(offsetof(DesKeyContext, schedule) == 12, "DesKeyContext schedule");
ZQ_STATIC_ASSERT(sizeof(DesJobContext) == 200, "DesJobContext size");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, operation) == 8, "DesJobContext operation");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, unitSize) == 16, "DesJobContext unitSize");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, key) == 20, "DesJobContext key");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, iv) == 160, "DesJobContext iv");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, chaining) == 168, "DesJobContext chaining");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, library) == 176, "DesJobContext library");

/* ---- ZQDES32 ----------------------------------------------------------- */
#include "zq/des.h" /* DESEdk, DESCbc, DESExec */

/* ---- ZQCOM32 ----------------------------------------------------------- */
#include "zq/random.h" /* zq_rnd, DESGenKey, GOSGenKey */

/* ---- ZQBIG32 ----------------------------------------------------------- */
#include "zq/bignum.h" /* zq_mov, zq_bit, zq_mod, zq_shr, zq_emd */
#include "zq/prime.h"  /* zq_prime */

/* ---- ZQGOS32 ----------------------------------------------------------- */
#include "zq/gost_cipher.h" /* GOSExec */
#include "zq/gost_hash.h"   /* GOSHash, GOSHashComplete */
#include "zq/gost_sign.h"

#ifdef __cplusplus
}
#endif
#endif
