/* ZQDES32: DES (FIPS 46-3) and its modes of operation (FIPS 81).
 *
 * Not constant-time. The implementation is table-driven (eight 64-entry
 * S-box/permutation tables indexed by key-dependent values), so its memory
 * access pattern depends on the key and the data; a process sharing the
 * cache can learn about both. That is the price of speed on the 32-bit
 * machines this library targets, and acceptable for DES, whose 56-bit key
 * is the weaker link anyway.
 *
 * The functions allocate nothing: all state lives in the caller's records.
 * Secret temporaries are wiped before return; the records themselves hold
 * the schedule and running state, and the caller wipes them when done.
 *
 * ---- key schedule (DesKeyContext.schedule, 128 bytes) ----------------------
 * The 8 key bytes are key[0..1] in memory order (parity bits ignored).
 * The schedule is 16 rounds x two 32-bit little-endian words (round 1
 * first), each word holding four 6-bit subkey groups, one per byte (low six
 * bits, top two bits zero), most significant byte first:
 *   first word  S1, S3, S5, S7 groups
 *   second word S2, S4, S6, S8 groups
 * The same schedule serves both directions (decryption reads it backwards).
 *
 * ---- a final partial block in CBC (and ECB) --------------------------------
 * Lengths need not be multiples of 8. Whole blocks are processed as usual;
 * the trailing r = length % 8 bytes (1 to 7) are XORed with the first r bytes
 * of E(Z), where Z is the last whole ciphertext block of the message (the
 * previous block of output when enciphering, of input when deciphering), or
 * the initialisation vector when the message has no whole block ("residual
 * block termination"). Enciphering and deciphering apply the same XOR, so
 * the length is kept and deciphering with the same key, vector and length
 * restores the input exactly. Like any stream-style tail it is malleable
 * bit by bit and gives no protection beyond confidentiality.
 *
 * ---- the keyed hash (DESExec operation 4) ----------------------------------
 * CBC-MAC under the job's key with the job's vector as the starting value
 * (ISO/IEC 9797-1 MAC algorithm 1, padding method 2): the message gets a
 * byte 0x80 and then zero bytes up to a multiple of 8 (always at least one
 * byte, so a message of whole blocks gains one block); X = iv; for every
 * block B: X = E(X xor B); the hash is the final X (8 bytes).
 * The empty message hashes to eight zero bytes, the value the chaining field
 * starts with, so a job that makes no call and one that passes 0 bytes agree.
 * There is no completion call: after every call the chaining field holds the
 * hash of all the data passed so far. Chunks may be split anywhere (the
 * unfinished block is carried in the library area); the same data in one
 * call or in any number of chunks gives the same hash. Plain CBC-MAC is not a
 * secure MAC over messages of different lengths (extension forgeries); use
 * it to detect changes, not to authenticate against an adversary.
 *
 * ---- DesJobContext.library (24 bytes) --------------------------------------
 *   [0..7]   CFB/OFB: E(shift register) for the current unit (in CFB the
 *            bytes already used are replaced by that unit's ciphertext);
 *            hash: the CBC-MAC value X over the whole blocks so far
 *   [8..15]  hash: the bytes of the unfinished block
 *   [16]     CFB/OFB: bytes of the current unit done; hash: unfinished bytes
 *   [17]     flags: 1 schedule expanded, 2 started, 4 finished (ECB/CBC
 *            partial block processed), 8 hash has data
 *   [18..23] zero
 * DesJobContext.chaining: ECB/CBC the last whole ciphertext block, CFB/OFB
 * the shift register (both start as the vector); hash: the hash so far.
 */
#ifndef NCCORE_ZQ_DES_H
#define NCCORE_ZQ_DES_H
#include <stdint.h>

#include "zq/api.h"
#include "zq/des_records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Expands key->key (8 bytes) into key->schedule. */
void ZQAPI DESEdk(DesKeyContext* key);

/* CBC over `length` bytes of `data` in place, any length (the tail rule is
 * above), with the schedule DESEdk made and the 8-byte vector iv8.
 * direction 1 enciphers, 2 deciphers; any other value leaves data untouched. */
void ZQAPI DESCbc(void* data, uint32_t length, DesKeyContext* key, const void* iv8,
                  uint32_t direction);

/* DESExec return values. */
enum {
  kDesExecOk = 0,
  kDesExecBadContext = -1, /* size not 200, unknown operation or mode, a unit size
                              that does not fit the mode, null buffer with data */
  kDesExecFinished = -2    /* ECB/CBC data after a chunk that was not a multiple of 8 */
};

/* Processes `length` bytes of `buffer` in place as the job says, keeping
 * the running state in the job, so that consecutive calls over the chunks
 * of one message give the same bytes as one call over the whole:
 *   operation 1 encipher, 2 decipher:
 *     mode 1 ECB, 2 CBC: unit size 8; every chunk but the last a multiple
 *       of 8; the last may have a partial block (rule above);
 *     mode 3 CFB, 4 OFB: unit size 1..8, k-bit CFB and OFB of FIPS 81 with
 *       k = 8 x unit; chunks of any length (a unit may span two calls);
 *   operation 4 keyed hash: mode 0, unit size 0; chunks of any length.
 * The schedule is expanded from job->key's leading block on the first call.
 * Returns kDesExecOk, or a negative value leaving buffer and job untouched. */
int32_t ZQAPI DESExec(void* buffer, uint32_t length, DesJobContext* job);

#ifdef __cplusplus
}
#endif
#endif
