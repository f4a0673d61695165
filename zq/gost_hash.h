/* ZQGOS32, part two: the GOST R 34.11-94 hash (RFC 5831) over the caller's
 * context, with the context's substitution block (zq/gost_cipher.h gives its
 * byte and nibble mapping) in the step function's GOST 28147-89 encryptions
 * and the starting vector H0 = 0.
 *
 * Not constant-time (table-driven GOST 28147-89, see zq/gost_cipher.h).
 * Nothing is allocated on the heap; the step keys and other temporaries
 * derived from the message are wiped before return.
 *
 * ---- byte order ---------------------------------------------------------------
 * The message is taken as the standard's little-endian number: its first
 * byte is the least significant, its first 32 bytes the first block M1, and
 * a final partial block is padded with zero bytes after the data.
 * The 32-byte result holds the final H least significant byte first: it is
 * byte for byte the output of libgcrypt's GOSTR3411_94 / GOSTR3411_CP and of
 * `rhash --gost94` / `--gost94-cryptopro`. RFC 5831 prints its numbers most
 * significant digit first, so its H = FAFF37A6...D366C4B1 for "This is
 * message, length=32 bytes" is the result b1 c4 66 d3 ... a6 37 ff fa here.
 *
 * ---- calls ----------------------------------------------------------------------
 * GOSHash takes chunks of any length in order; GOSHashComplete then folds in
 * the length and the checksum and writes the result. The context is then
 * ready for a new message (its running state is back at the start); a second
 * GOSHashComplete without data in between leaves the result as it is. A
 * context that is not usable (size not 1156, substitution count not 16, a
 * library area these functions did not write) is left untouched.
 *
 * ---- GOSHashContext.library (88 bytes) and the result field ---------------------
 *   [0..31]  H, the chaining value (little-endian, as the result)
 *   [32..63] the checksum (sum of the blocks mod 2^256, little-endian)
 *   [64..71] bytes hashed so far (64-bit little-endian count)
 *   [72]     bytes of the unfinished block, 0..31
 *   [73]     flags: 1 completed (hash[] holds the result)
 *   [74..87] zero
 * Until GOSHashComplete the unfinished block (up to 31 bytes) is kept in the
 * first bytes of hash[], which is valid only after completion.
 */
#ifndef NCCORE_ZQ_GOST_HASH_H
#define NCCORE_ZQ_GOST_HASH_H
#include <stddef.h>
#include <stdint.h>

#include "zq/api.h"
#include "zq/gost_cipher.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The running state of one hash. Zeroed by the caller, then size and the
 * substitution block set. */
typedef struct GOSHashContext {
  uint32_t size; /* 1156 */
  GOSSubstitutionBlock substitution;
  uint32_t reserved;
  uint8_t hash[32];    /* the result, valid after GOSHashComplete */
  uint8_t library[88]; /* the primitives' own running state */
} GOSHashContext;

ZQ_GOST_STATIC_ASSERT(sizeof(GOSHashContext) == 1156, "GOSHashContext size");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSHashContext, substitution) == 4, "GOSHashContext substitution");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSHashContext, reserved) == 1032, "GOSHashContext reserved");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSHashContext, hash) == 1036, "GOSHashContext hash");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSHashContext, library) == 1068, "GOSHashContext library");

/* Hashes `length` bytes of `buffer`, the next chunk of the message. */
void ZQAPI GOSHash(const void* buffer, uint32_t length, GOSHashContext* context);

/* Ends the message: the 32-byte result is then in context->hash. */
void ZQAPI GOSHashComplete(GOSHashContext* context);

#ifdef __cplusplus
}
#endif
#endif
