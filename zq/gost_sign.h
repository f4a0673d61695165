/* ZQGOS32, signatures: GOST R 34.10-94 (GOSSignGen, GOSSignCheck,
 * GOSSignGenPair) and its common numbers p, q, a (GOSSignGenPQA).
 *
 * ---- the scheme -------------------------------------------------------------
 * p is a prime of 509 to 512 or 1020 to 1024 bits, q a prime factor of p - 1
 * of about 256 bits, a an element of order q modulo p. The secret key is x
 * with 0 < x < q, the public key y = a^x mod p.
 *   sign   h = H mod q, and h = 1 when that is 0; draw k with 0 < k < q;
 *          r' = (a^k mod p) mod q; s = (x r' + k h) mod q; draw k again
 *          while r' or s is 0.
 *   check  0 < r' < q and 0 < s < q, or the signature is invalid;
 *          v = h^(q-2) mod q; z1 = s v mod q; z2 = (q - r') v mod q;
 *          u = (a^z1 y^z2 mod p) mod q; valid when u = r'.
 *
 * ---- conventions -------------------------------------------------------------
 * Hash to integer: the 32 hash bytes are read as one little-endian 256-bit
 * number H (byte 0 least significant), the way GOST R 34.11-94 results are
 * commonly turned into numbers (byte 31 holds the most significant bits).
 * Signature: 64 bytes, r' in bytes 0..31 and s in bytes 32..63, each a
 * little-endian 256-bit number (byte 0 and byte 32 least significant) - the
 * standard's vector r' || s, each half written the way the hash is read.
 * Numbers in the records are WordBlocks: count, then the words, least
 * significant first. Blocks read by a function are read only up to their
 * capacity in the record (a larger count is taken as the capacity); results
 * are written with the minimal count (at least 1).
 *
 * ---- secrets and timing -------------------------------------------------------
 * x, k and every temporary derived from them live in libgcrypt "secure"
 * MPIs (wiped when freed) or in buffers wiped with nc::SecureWipe. The
 * exponentiations a^k and a^x use gcry_mpi_powm with a secret exponent: masked
 * table look-ups, but the number of squarings between multiplications still
 * depends on the exponent's zero runs, so it is not constant-time in the
 * strict sense (see zq/bignum.h). GOSSignCheck and GOSSignGenPQA work on
 * public values only.
 *
 * ---- common numbers (GOSSignGenPQA) ---------------------------------------------
 * GOST R 34.10-94's procedures, from starting values x0 and c (c odd):
 *   A   p of t = 509..512 bits: a chain t0 = t, t(i+1) = floor(t(i) / 2)
 *       down to the first length below 17, the smallest prime of that length,
 *       then primes p(m) = p(m+1) (N + k) + 1 of length t(m) for m down to 0
 *       with 16-bit words y(i+1) = (19381 y(i) + c) mod 2^16 (x0 = y(0)).
 *       p = p(0), q = p(1), so q has floor(t / 2) bits (254 to 256).
 *   B   p of t = 1020..1024 bits: q of 256 bits by A, Q of 512 bits by A
 *       continuing the same sequence, then p = q Q (N + k) + 1 from 64 words.
 *   A', B'  (flag 4) the same with 32-bit words y(i+1) = (97781173 y(i) + c)
 *       mod 2^32, chains down to the first length below 33, 32 words in B'.
 *   Every step draws r words y(1)..y(r) from y(0) (r = ceil(t / w) in A,
 *   1024 / w in B; w = 16 or 32), Y = sum y(i) 2^(w i) for i < r, y(0) =
 *   y(r), N = ceil(2^(t-1) / F) + ceil(2^(t-1) Y / (F 2^(w r))), made even,
 *   and tries p = F (N + k) + 1 for k = 0, 2, 4, ... (a new Y when p exceeds
 *   2^t). F = p(m+1) in A, and p is accepted when 2^(p-1) mod p = 1 and
 *   2^(N+k) mod p != 1; F = q Q in B, with 2^(q (N+k)) mod p != 1 instead.
 *   A candidate with a prime factor below 2^11 is passed over without the
 *   two exponentiations, which saves most of the time. The two conditions
 *   prove p prime whenever N + k < 4 (F' + 1), F' being p(m+1) or Q
 *   (Demytko's theorem); that holds for every even length t, so there the
 *   skipped candidates are exactly ones the standard's test rejects. For an
 *   odd length a composite could in principle pass the test; the sieve only
 *   removes such numbers.
 *   a = d^((p-1)/q) mod p for the smallest d > 1 that gives a != 1.
 * The generation values are x0 (first) and c (second); a 16-bit procedure's
 * values are below 2^16. GOSSignGenPQA draws them from the strong generator.
 */
#ifndef NCCORE_ZQ_GOST_SIGN_H
#define NCCORE_ZQ_GOST_SIGN_H
#include <stddef.h>
#include <stdint.h>

#include "zq/api.h"
#include "zq/word_block.h"

/* The progress callback's convention: cdecl on Windows. */
#ifndef ZQCDECL
#ifdef _WIN32
#define ZQCDECL __cdecl
#else
#define ZQCDECL
#endif
#endif

/* Pointer-sized fields widen in 64-bit builds; see the layouts below. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define ZQ_GOST_POINTER_64 1
#else
#define ZQ_GOST_POINTER_64 0
#endif

#if defined(__cplusplus)
#define ZQ_NODISCARD [[nodiscard]]
#else
#define ZQ_NODISCARD
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* WordBlocks with room for 8 and 32 words, as the records hold them; pass
 * them as (WordBlock*)&record.field. */
typedef struct GOSNumber8 {
  uint32_t count;
  uint32_t words[8];
} GOSNumber8;

typedef struct GOSNumber32 {
  uint32_t count;
  uint32_t words[32];
} GOSNumber32;

/* ---- GOSSignContext: 624 bytes, the same in 32- and 64-bit builds ----------
 *   0   4  size (624)              116 132  p (up to 32 words)
 *   4   8  zero                    248  36  q (up to 8 words)
 *  12  32  hash                    284 132  a (up to 32 words)
 *  44   4  zero                    416  36  x, the secret key (GOSSignGen)
 *  48  64  signature r' || s       452 132  y, the public key (GOSSignCheck)
 * 112   4  zero                    584  40  zero
 */
typedef struct GOSSignContext {
  uint32_t size;
  uint32_t reserved0[2];
  uint8_t hash[32];
  uint32_t reserved1;
  uint8_t signature[64];
  uint32_t reserved2;
  GOSNumber32 p;
  GOSNumber8 q;
  GOSNumber32 a;
  GOSNumber8 x;
  GOSNumber32 y;
  uint8_t reserved3[40];
} GOSSignContext;

/* ---- GOSPairContext: 480 bytes, the same in 32- and 64-bit builds ----------
 *   0   4  size (480)      176 132  a
 *   4   4  zero            308  36  x (output, up to 8 words)
 *   8 132  p               344 132  y (output, up to 32 words)
 * 140  36  q               476   4  zero
 */
typedef struct GOSPairContext {
  uint32_t size;
  uint32_t reserved0;
  GOSNumber32 p;
  GOSNumber8 q;
  GOSNumber32 a;
  GOSNumber8 x;
  GOSNumber32 y;
  uint32_t reserved1;
} GOSPairContext;

/* ---- GOSPQAProgress: what the progress callback receives -------------------
 *        32-bit  64-bit
 * size        0       0  sizeof(GOSPQAProgress): 36 or 40
 * phase       4       4  3 while a prime is generated with 16-bit words
 *                        (A, B), 7 with 32-bit words (A', B'), 8 while a is
 *                        computed
 * number      8       8  1 q (and the smaller primes of its chain), 2 Q (B
 *                        and B' only), 3 p, 4 a
 * bits       12      12  length in bits of the prime being generated (0 for a)
 * iteration  16      16  the prime being generated, counted from 1 over the
 *                        whole run (every prime of the chains)
 * iterations 20      20  how many primes the run generates
 * attempt    24      24  candidates formed for this prime so far, from 1 (for
 *                        a: the d being tried, less 1)
 * seconds    28      28  whole seconds since GOSSignGenPQA started
 * window     32      32  the context's window handle (4 bytes, 8 in 64-bit)
 * The record lives only for the call. The callback is called for the first
 * candidate of every prime, for a, and in between at most every 1/8 second. */
typedef struct GOSPQAProgress {
  uint32_t size;
  uint32_t phase;
  uint32_t number;
  uint32_t bits;
  uint32_t iteration;
  uint32_t iterations;
  uint32_t attempt;
  uint32_t seconds;
  void* window;
} GOSPQAProgress;

enum {
  kGosPqaPhasePrime16 = 3,
  kGosPqaPhasePrime32 = 7,
  kGosPqaPhaseA = 8,
  kGosPqaNumberQ = 1,
  kGosPqaNumberBigQ = 2,
  kGosPqaNumberP = 3,
  kGosPqaNumberA = 4
};

/* Returns 1 (any nonzero value) to stop the generation, 0 to go on. */
typedef int32_t(ZQCDECL* GOSPQACallback)(GOSPQAProgress* progress);

/* ---- GOSPQAContext: 336 bytes in 32-bit builds, 352 in 64-bit ---------------
 *                   32-bit      64-bit
 * size                0  4       0  4   336 (352)
 * flags               4  4       4  4   2; 6 = 2 + kGosPqaVariant: A', B'
 * bits                8  4       8  4   length of p: 509..512 or 1020..1024
 * (alignment)         -          12  4   zero
 * callback           12  4      16  8   GOSPQACallback or null (silent)
 * window             16  4      24  8   handed to the callback as it is
 * first value        20  4      32  4   output: x0
 * second value       24  4      36  4   output: c
 * p                  28 132     40 132  output (up to 32 words)
 * q                 160  36    172  36  output (up to 8 words)
 * a                 196 132    208 132  output (up to 32 words)
 * zero              328   8    340   8
 * (alignment)         -        348   4  zero
 */
enum { kGosPqaVariant = 4 };

typedef struct GOSPQAContext {
  uint32_t size;
  uint32_t flags;
  uint32_t bits;
#if ZQ_GOST_POINTER_64
  uint32_t reserved_align;
#endif
  GOSPQACallback callback;
  void* window;
  uint32_t first_value;
  uint32_t second_value;
  GOSNumber32 p;
  GOSNumber8 q;
  GOSNumber32 a;
  uint8_t reserved[8];
#if ZQ_GOST_POINTER_64
  uint32_t reserved_tail;
#endif
} GOSPQAContext;

/* GOSSignGenPQA results. */
enum { kGosPqaDone = 0, kGosPqaStopped = 1, kGosPqaBadRequest = 2 };

#ifdef __cplusplus
#define ZQ_GOST_ASSERT static_assert
#else
#define ZQ_GOST_ASSERT _Static_assert
#endif
ZQ_GOST_ASSERT(sizeof(GOSNumber8) == 36, "GOSNumber8 size");
ZQ_GOST_ASSERT(sizeof(GOSNumber32) == 132, "GOSNumber32 size");
ZQ_GOST_ASSERT(sizeof(GOSSignContext) == 624, "GOSSignContext size");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, hash) == 12, "GOSSignContext hash");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, reserved1) == 44, "GOSSignContext zero at 44");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, signature) == 48, "GOSSignContext signature");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, reserved2) == 112, "GOSSignContext zero at 112");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, p) == 116, "GOSSignContext p");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, q) == 248, "GOSSignContext q");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, a) == 284, "GOSSignContext a");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, x) == 416, "GOSSignContext x");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, y) == 452, "GOSSignContext y");
ZQ_GOST_ASSERT(offsetof(GOSSignContext, reserved3) == 584, "GOSSignContext zero at 584");
ZQ_GOST_ASSERT(sizeof(GOSPairContext) == 480, "GOSPairContext size");
ZQ_GOST_ASSERT(offsetof(GOSPairContext, p) == 8, "GOSPairContext p");
ZQ_GOST_ASSERT(offsetof(GOSPairContext, q) == 140, "GOSPairContext q");
ZQ_GOST_ASSERT(offsetof(GOSPairContext, a) == 176, "GOSPairContext a");
ZQ_GOST_ASSERT(offsetof(GOSPairContext, x) == 308, "GOSPairContext x");
ZQ_GOST_ASSERT(offsetof(GOSPairContext, y) == 344, "GOSPairContext y");
ZQ_GOST_ASSERT(offsetof(GOSPairContext, reserved1) == 476, "GOSPairContext zero at 476");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, phase) == 4, "GOSPQAProgress phase");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, number) == 8, "GOSPQAProgress number");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, iteration) == 16, "GOSPQAProgress iteration");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, iterations) == 20, "GOSPQAProgress iterations");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, attempt) == 24, "GOSPQAProgress attempt");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, seconds) == 28, "GOSPQAProgress seconds");
ZQ_GOST_ASSERT(offsetof(GOSPQAProgress, window) == 32, "GOSPQAProgress window");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, flags) == 4, "GOSPQAContext flags");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, bits) == 8, "GOSPQAContext bits");
#if ZQ_GOST_POINTER_64
ZQ_GOST_ASSERT(sizeof(GOSPQAProgress) == 40, "GOSPQAProgress size (64-bit)");
ZQ_GOST_ASSERT(sizeof(GOSPQAContext) == 352, "GOSPQAContext size (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, callback) == 16, "GOSPQAContext callback (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, window) == 24, "GOSPQAContext window (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, first_value) == 32, "GOSPQAContext first (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, second_value) == 36, "GOSPQAContext second (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, p) == 40, "GOSPQAContext p (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, q) == 172, "GOSPQAContext q (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, a) == 208, "GOSPQAContext a (64-bit)");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, reserved) == 340, "GOSPQAContext zero (64-bit)");
#else
ZQ_GOST_ASSERT(sizeof(GOSPQAProgress) == 36, "GOSPQAProgress size");
ZQ_GOST_ASSERT(sizeof(GOSPQAContext) == 336, "GOSPQAContext size");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, callback) == 12, "GOSPQAContext callback");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, window) == 16, "GOSPQAContext window");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, first_value) == 20, "GOSPQAContext first value");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, second_value) == 24, "GOSPQAContext second value");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, p) == 28, "GOSPQAContext p");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, q) == 160, "GOSPQAContext q");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, a) == 196, "GOSPQAContext a");
ZQ_GOST_ASSERT(offsetof(GOSPQAContext, reserved) == 328, "GOSPQAContext zero");
#endif
#undef ZQ_GOST_ASSERT

/* Signs the hash in the context with p, q, a and x: writes the 64-byte
 * signature. With unusable numbers (p or q below 3, or no r' and s found in
 * 64 draws of k, which happens only when a is not of order q) the signature
 * is 64 zero bytes, which GOSSignCheck never accepts. */
void ZQAPI GOSSignGen(GOSSignContext* context);

/* Nonzero when the signature in the context is valid for its hash under p,
 * q, a and y; 0 when it is not (including r' or s out of range, and p or q
 * below 3). Leaves the context unchanged. */
ZQ_NODISCARD int32_t ZQAPI GOSSignCheck(GOSSignContext* context);

/* From p, q and a: x random with 0 < x < q (strong generator), y = a^x mod p.
 * With q below 3 or p below 3, x and y are written as 0. */
void ZQAPI GOSSignGenPair(GOSPairContext* context);

/* Generates p, q and a for the context's bits and flags from random starting
 * values, calling the callback (unless null) as described above. Returns
 * kGosPqaDone (0) with the outputs filled; kGosPqaStopped (1) when the
 * callback asked to stop; kGosPqaBadRequest (2) when the bits are not 509..512
 * or 1020..1024. Except on success the outputs (p, q, a and both values) are
 * zero. Runs for a long time (fractions of a second to seconds); call it
 * on a worker thread when a window must stay responsive. */
int32_t ZQAPI GOSSignGenPQA(GOSPQAContext* context);

#ifdef __cplusplus
}
#endif
#endif
