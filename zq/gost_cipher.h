/* ZQGOS32, part one: GOST 28147-89 (RFC 5830) over the caller's context:
 * simple replacement, gamma, gamma with feedback and the imitation insert.
 *
 * Not constant-time. Every round looks up four tables indexed by bytes of
 * (data + key), so the memory access pattern depends on the key and the
 * data; a process sharing the cache can learn about both. That is the price
 * of speed on the 32-bit machines this library targets.
 *
 * The function allocates nothing on the heap. Secret temporaries are wiped
 * before return; the context itself holds the key and the running state,
 * and the caller wipes it when done.
 *
 * ---- the substitution block (64 bytes, 8 nodes of 16 four-bit entries) -----
 * The block is the first 16 words of the context's substitution WordBlock,
 * taken as 64 bytes in memory order: byte r * 8 + c is the c-th number of
 * line r of the text a .GTB file is imported from. Line r (r = 0..7) is node
 * K(r+1), the node that substitutes bits 4r..4r+3 of the 32-bit round value
 * (K1 takes the least significant four bits). Each byte holds two
 * consecutive entries, the even one in its HIGH nibble:
 *     K(r+1)[2c]     = byte[r * 8 + c] >> 4
 *     K(r+1)[2c + 1] = byte[r * 8 + c] & 0x0F
 * so each line, read as hexadecimal digits from left to right, lists its
 * node's sixteen entries in order. The first node of the GOST R 34.11-94
 * test parameter set, 4 A 9 2 D 8 0 E 6 B 1 C 7 F 5 3, is the line
 *     4a 92 d8 0e 6b 1c 7f 53
 * (res/gost/ holds sample files in this form). Any 64 bytes are accepted;
 * nodes that are not permutations make a weak cipher, not an error.
 *
 * ---- words and bytes ---------------------------------------------------------
 * Key: the 8 words of the key WordBlock are the key words K0..K7 of the
 * standard, as stored (little-endian in files, as .GEK files hold them);
 * key byte string k[0..31] is K_i = k[4i] | k[4i+1] << 8 | ... (libgcrypt's
 * and OpenSSL's convention). A block of 8 bytes b[0..7] is N1 = b[0..3] and
 * N2 = b[4..7], each little-endian; the output block is written the same way.
 * Rounds run K0..K7 three times and K7..K0 once to encipher (the reverse to
 * decipher), as in the standard.
 *
 * ---- the synchro -------------------------------------------------------------
 * synchro[12]: the four leading bytes (blanks, as the file processor writes
 * them) are ignored; the LAST EIGHT bytes (synchro[4..11], "KLBNVRzz") are the
 * 64-bit synchro S, read as a block (N1 = bytes 4..7, N2 = bytes 8..11).
 *
 * ---- modes (operation 1 encipher, 2 decipher) --------------------------------
 * mode 1, simple replacement: the length should be a multiple of 8 (the
 *   caller zero-pads). A chunk that is not gets its whole blocks processed,
 *   its last 1 to 7 bytes left as they were, GOSExec returns
 *   kGosExecPartialBlock and the job ends: later calls return
 *   kGosExecFinished and touch nothing (only a damaged ciphertext does that).
 * mode 2, gamma (the standard's counter mode): (N3, N4) = E(S); for every
 *   block N3 = N3 + C2 mod 2^32 (C2 = 0x01010101), N4 = N4 + C1 mod 2^32 - 1
 *   (C1 = 0x01010104; an addition that wraps past 2^32 adds one more), and
 *   the gamma block is E(N3, N4) (N3 as N1). Data = data XOR gamma, both
 *   directions.
 * mode 3, gamma with feedback (64-bit CFB): gamma = E(previous ciphertext
 *   block), starting with E(S); ciphertext = plaintext XOR gamma.
 * Both gamma modes take any length and any split into chunks: a gamma block
 *   may straddle two calls, its unused bytes are kept in the context.
 *
 * ---- the imitation insert (operation 3, mode 0) ------------------------------
 * 16-round MAC of the standard: state (N1, N2) = 0; for every 8-byte block B,
 * state = E16(state XOR B), where E16 is 16 rounds with K0..K7 twice and no
 * final swap. The message is zero-padded to a multiple of 8; a message of
 * exactly one block is followed by a zero block (the standard asks for at
 * least two; libgcrypt and CryptoPro do the same). The empty message leaves
 * zero.
 * Chunks may have any length (an unfinished block is carried in the
 * context), and after EVERY call mac[8] holds the 64-bit final state for the
 * data passed so far, as if it were the whole message: N1 little-endian in
 * mac[0..3], N2 in mac[4..7]. The 32-bit imitation insert of the standard
 * (and libgcrypt's GOST28147_IMIT 4-byte value) is mac[0..3]; the whole 8
 * bytes equal libgcrypt's value read with length 8.
 *
 * ---- GOSCipherContext.library (24 bytes) -------------------------------------
 *   [0..7]   gamma: N3, N4 (little-endian) of the last gamma block made;
 *            feedback: the current block, its first p bytes already replaced
 *            by ciphertext and the rest still gamma (p = 0: the register
 *            for the next block, at first S);
 *            MAC: the state after the whole blocks so far
 *   [8..15]  gamma: the last gamma block; MAC: the unfinished block
 *   [16]     p: bytes of the current block done (gamma, feedback, MAC), 0..7
 *   [17]     flags: 1 started, 2 finished (simple replacement after a
 *            partial block), 4 MAC has one whole block, 8 MAC has two or more
 *   [18]     operation and [19] mode at the first call (a context changed in
 *            the middle of a job is refused)
 *   [20..23] zero
 *
 * ---- the lookup tables -------------------------------------------------------
 * Each call needs four 256-entry tables (4 KiB) combining the substitution
 * and the 11-bit rotation; they do not fit in the context, which holds no
 * pointer. They live in a process-wide cache of a few slots keyed by the 64
 * substitution bytes, guarded by a mutex: a call leases the slot of its
 * block (building it, in place of the least recently used free slot, when
 * there is none) and releases it on return, so a slot in use is never
 * rebuilt. The tables are public (derived from the substitution block
 * only). When every slot is leased by other threads the call builds the
 * tables on its own stack. No heap allocation either way; the cost of a
 * call is one compare of 64 bytes under the mutex.
 */
#ifndef NCCORE_ZQ_GOST_CIPHER_H
#define NCCORE_ZQ_GOST_CIPHER_H
#include <stddef.h>
#include <stdint.h>

#include "zq/api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The key WordBlock: count 8 and the 8 key words. */
typedef struct GOSKeyBlock {
  uint32_t count;
  uint32_t words[8];
} GOSKeyBlock;

/* The substitution WordBlock as read from a .GTB file: count 16 and 16
 * words (64 bytes, mapping above), with room for 256 words. */
typedef struct GOSSubstitutionBlock {
  uint32_t count;
  uint32_t words[256];
} GOSSubstitutionBlock;

enum { kGosSubstitutionWords = 16, kGosKeyWords = 8 };
enum { kGosEncipher = 1, kGosDecipher = 2, kGosImitation = 3 };
enum { kGosNoMode = 0, kGosSimpleReplacement = 1, kGosGamma = 2, kGosFeedbackGamma = 3 };

/* The running state of one GOST 28147-89 job. Zeroed by the caller, then
 * size, key, substitution block, synchro, operation and mode set. */
typedef struct GOSCipherContext {
  uint32_t size; /* 1124 */
  GOSKeyBlock key;
  GOSSubstitutionBlock substitution;
  uint8_t synchro[12]; /* four blanks, then the 8 synchro bytes */
  uint32_t operation;  /* kGosEncipher, kGosDecipher, kGosImitation */
  uint32_t mode;       /* kGosSimpleReplacement..kGosFeedbackGamma; kGosNoMode for MAC */
  uint32_t reserved;
  uint8_t mac[8];      /* the imitation insert so far, after every MAC call */
  uint8_t library[24]; /* the primitives' own running state */
} GOSCipherContext;

#ifdef __cplusplus
#define ZQ_GOST_STATIC_ASSERT static_assert
#else
#define ZQ_GOST_STATIC_ASSERT _Static_assert
#endif
ZQ_GOST_STATIC_ASSERT(sizeof(GOSKeyBlock) == 36, "GOSKeyBlock size");
ZQ_GOST_STATIC_ASSERT(sizeof(GOSSubstitutionBlock) == 1028, "GOSSubstitutionBlock size");
ZQ_GOST_STATIC_ASSERT(sizeof(GOSCipherContext) == 1124, "GOSCipherContext size");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, key) == 4, "GOSCipherContext key");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, substitution) == 40,
                      "GOSCipherContext substitution");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, synchro) == 1068, "GOSCipherContext synchro");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, operation) == 1080, "GOSCipherContext operation");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, mode) == 1084, "GOSCipherContext mode");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, reserved) == 1088, "GOSCipherContext reserved");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, mac) == 1092, "GOSCipherContext mac");
ZQ_GOST_STATIC_ASSERT(offsetof(GOSCipherContext, library) == 1100, "GOSCipherContext library");

/* GOSExec return values. */
enum {
  kGosExecOk = 0,
  kGosExecBadContext = -1,   /* null context, size not 1124, key count not 8,
                                substitution count not 16, unknown operation or
                                a mode that does not fit it, operation or mode
                                changed since the first call, a library area
                                this function did not write, or a null buffer
                                with data: nothing is touched */
  kGosExecPartialBlock = -2, /* simple replacement given a length that is not a
                                multiple of 8: whole blocks done, the tail left
                                as it was, the job ended */
  kGosExecFinished = -3      /* a call after kGosExecPartialBlock: nothing touched */
};

/* Processes `length` bytes of `buffer` in place as the context says, keeping
 * the running state in the context, so that consecutive calls over the
 * chunks of one message give the same bytes (and the same imitation insert)
 * as one call over the whole. Returns kGosExecOk or a code above. */
int32_t ZQAPI GOSExec(void* buffer, uint32_t length, GOSCipherContext* context);

#ifdef __cplusplus
}
#endif
#endif
