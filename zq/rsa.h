/* ZQRSA32: textbook RSA over the caller's context: the key pair generator
 * (RSAGenPQN, RSAGenED), block encryption and decryption (RSAEncBlk,
 * RSADecBlk, RSAEncrypt, RSADecrypt) and the 128-byte file hash (RSAHash).
 *
 * ---- numbers -----------------------------------------------------------------
 * Numbers in the context are WordBlocks of up to 64 words (2048 bits), least
 * significant word first; results are written with their minimal count.
 *
 * ---- blocks ------------------------------------------------------------------
 * For a modulus N of b bits: RSAEncBlk = (b - 1) / 8 bytes of input per block
 * (so every input block is below N) and RSADecBlk = (b + 7) / 8 bytes, the
 * size of every output block of RSAEncrypt. Each block is a big-endian
 * octet string (the first byte the most significant), as OpenSSL's raw RSA
 * ("pkeyutl -pkeyopt rsa_padding_mode:none", with the modulus) reads and
 * writes numbers: the output block is the number zero-extended on the left
 * to RSADecBlk bytes, the input block of RSADecrypt one of RSADecBlk bytes,
 * its output one of RSAEncBlk bytes.
 *
 * ---- exponents -----------------------------------------------------------------
 * RSAEncrypt raises to the exponent in slot e, RSADecrypt to the one in slot
 * d. The generator leaves the secret exponent in e and the public one in d;
 * a file processor copies a key's exponent into the slot its call uses.
 * Either slot may hold the secret exponent, so every exponentiation here is
 * constant-time in the exponent (see zq/rsa_modexp.h).
 */
#ifndef NCCORE_ZQ_RSA_H
#define NCCORE_ZQ_RSA_H
#include <stddef.h>
#include <stdint.h>

#include "zq/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The progress callbacks' convention: cdecl on Windows. */
#ifndef ZQCDECL
#ifdef _WIN32
#define ZQCDECL __cdecl
#else
#define ZQCDECL
#endif
#endif

enum { kRsaMaxWords = 64 };

/* A WordBlock with room for 64 words. */
typedef struct RSANumber {
  uint32_t count;
  uint32_t words[kRsaMaxWords];
} RSANumber;

/* ---- RSAContext: 1348 bytes in 32-bit builds, 1352 in 64-bit ---------------
 *   0  size (1348 or 1352)      1308  pBitsLo   1324  eBitsLo
 *   4  param (2 in the          1312  pBitsHi   1328  eBitsHi
 *      generator, else 0)       1316  nBitsLo   1332  encBlock
 *   8  p     268  q    528  n   1320  nBitsHi   1336  decBlock
 * 788  e    1048  d                             1340  reserved (0)
 * 1344 progressWindow: 4 bytes (8 in 64-bit builds), handed to the
 *      callbacks' caller as it is */
typedef struct RSAContext {
  uint32_t size;
  uint32_t param;
  RSANumber p;
  RSANumber q;
  RSANumber n;
  RSANumber e;
  RSANumber d;
  uint32_t pBitsLo;
  uint32_t pBitsHi;
  uint32_t nBitsLo;
  uint32_t nBitsHi;
  uint32_t eBitsLo;
  uint32_t eBitsHi;
  uint32_t encBlock;
  uint32_t decBlock;
  uint32_t reserved;
  void* progressWindow;
} RSAContext;

ZQ_STATIC_ASSERT(sizeof(RSANumber) == 260, "RSANumber size");
ZQ_STATIC_ASSERT(offsetof(RSAContext, p) == 8, "RSAContext p");
ZQ_STATIC_ASSERT(offsetof(RSAContext, q) == 268, "RSAContext q");
ZQ_STATIC_ASSERT(offsetof(RSAContext, n) == 528, "RSAContext n");
ZQ_STATIC_ASSERT(offsetof(RSAContext, e) == 788, "RSAContext e");
ZQ_STATIC_ASSERT(offsetof(RSAContext, d) == 1048, "RSAContext d");
ZQ_STATIC_ASSERT(offsetof(RSAContext, pBitsLo) == 1308, "RSAContext pBitsLo");
ZQ_STATIC_ASSERT(offsetof(RSAContext, eBitsHi) == 1328, "RSAContext eBitsHi");
ZQ_STATIC_ASSERT(offsetof(RSAContext, encBlock) == 1332, "RSAContext encBlock");
ZQ_STATIC_ASSERT(offsetof(RSAContext, decBlock) == 1336, "RSAContext decBlock");
ZQ_STATIC_ASSERT(offsetof(RSAContext, progressWindow) == 1344, "RSAContext progressWindow");
ZQ_STATIC_ASSERT(sizeof(RSAContext) == 1344 + sizeof(void*), "RSAContext size");

/* Progress of the prime search: P's attempt (qAttempt 0 while P is
 * generated), then Q's. Nonzero stops the generation. */
typedef int32_t(ZQCDECL* RSAPQCallback)(RSAContext* context, uint32_t pAttempt, uint32_t qAttempt);
/* Progress of the exponents: E's attempt. Nonzero stops the generation. */
typedef int32_t(ZQCDECL* RSAECallback)(RSAContext* context, uint32_t attempt);

/* Results of the generators. */
enum { kRsaGenDone = 0, kRsaGenStopped = 1, kRsaGenBadRequest = 2 };

/* Fills p, q and n: P and Q distinct primes, P of pBitsLo..pBitsHi bits (or
 * as near as an odd modulus length needs), n = P Q with nBitsLo..nBitsHi
 * bits. kRsaGenBadRequest when the bounds are outside 18..2048 or lo > hi.
 * The callback (if not null) is called for every candidate, which is then
 * in p (Q's in q), so that the callback can show its length. */
int32_t ZQAPI RSAGenPQN(RSAContext* context, RSAPQCallback callback);

/* From p, q and n: e the secret exponent, of eBitsLo..eBitsHi bits but never
 * shorter than half of n's length (a shorter secret exponent can be
 * recovered from the public key), coprime with (P-1)(Q-1); d its inverse
 * modulo lcm(P-1, Q-1); d is never 1 and never e. kRsaGenBadRequest when no
 * such e exists in the range (the upper end below half of n's length). */
/* The callback (if not null) is called for every candidate, which is then
 * in e. */
int32_t ZQAPI RSAGenED(RSAContext* context, RSAECallback callback);

/* Input bytes per block of RSAEncrypt and of RSADecrypt for the context's n;
 * 0 when n has fewer than 17 bits (no context loaded). */
uint32_t ZQAPI RSAEncBlk(const RSAContext* context);
uint32_t ZQAPI RSADecBlk(const RSAContext* context);

/* RSAEncrypt: the `length` input bytes as ceil(length / RSAEncBlk) blocks
 * (the last one zero-filled past `length`; nothing past `length` is read),
 * each raised to e mod n, written as RSADecBlk bytes each; returns the
 * output length. RSADecrypt: `length` must be whole blocks of RSADecBlk
 * bytes, each below n; each raised to d mod n and written as RSAEncBlk
 * bytes; returns the output length. Both return 0 and write nothing for an
 * unusable context (n below 17 bits or even, an exponent of 0), a RSADecrypt input
 * that is not whole blocks, a block not below n, or a RSADecrypt result
 * that does not fit its RSAEncBlk bytes (not made by RSAEncrypt). */
uint32_t ZQAPI RSAEncrypt(const RSAContext* context, void* output, const void* input,
                          uint32_t length);
uint32_t ZQAPI RSADecrypt(const RSAContext* context, void* output, const void* input,
                          uint32_t length);

/* The file hash: hash <- SHAKE256(hash || data), 128 bytes of output, per
 * call. The caller zeroes the 128 bytes first and calls once per chunk, in
 * order; there is no completion call. */
void ZQAPI RSAHash(uint8_t hash[128], const void* data, uint32_t length);

#ifdef __cplusplus
}
#endif
#endif
