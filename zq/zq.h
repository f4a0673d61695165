/* The cryptographic primitives: DES, random numbers and key generation, big
 * numbers, GOST 28147-89, GOST R 34.11-94 and GOST R 34.10-94, and RSA. On
 * Windows they are the companion libraries ZQDES32.DLL, ZQCOM32.DLL,
 * ZQBIG32.dll, ZQGOS32.DLL and ZQRSA32.DLL, exporting these functions by
 * name with __stdcall (link with their import libraries, or make those from
 * the .def files); on Linux they are linked into libnccore21.so, not
 * exported, and built as a static library for tests and benchmarks.
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

#include "zq/api.h"
#include "zq/des_records.h"
#include "zq/word_block.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- records --------------------------------------------------------- */
/* The DES records are in zq/des_records.h (with zq/des.h). */

ZQ_STATIC_ASSERT(sizeof(WordBlock) == 8, "WordBlock header");

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

/* ---- ZQRSA32 ----------------------------------------------------------- */
#include "zq/rsa.h" /* RSAGenPQN, RSAGenED, RSAEncBlk, RSADecBlk, RSAEncrypt, RSADecrypt, RSAHash */

#ifdef __cplusplus
}
#endif
#endif
