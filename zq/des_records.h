/* The DES records of ZQDES32: the key with its schedule and the running
 * state of a file job, plain little-endian layouts with their sizes and
 * offsets asserted here. Shared by zq/des.h and zq/zq.h. */
#ifndef NCCORE_ZQ_DES_RECORDS_H
#define NCCORE_ZQ_DES_RECORDS_H
#include <stddef.h>
#include <stdint.h>

#include "zq/api.h"

#ifdef __cplusplus
extern "C" {
#endif

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

ZQ_STATIC_ASSERT(sizeof(DesKeyContext) == 140, "DesKeyContext size");
ZQ_STATIC_ASSERT(offsetof(DesKeyContext, schedule) == 12, "DesKeyContext schedule");
ZQ_STATIC_ASSERT(sizeof(DesJobContext) == 200, "DesJobContext size");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, operation) == 8, "DesJobContext operation");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, unitSize) == 16, "DesJobContext unitSize");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, key) == 20, "DesJobContext key");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, iv) == 160, "DesJobContext iv");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, chaining) == 168, "DesJobContext chaining");
ZQ_STATIC_ASSERT(offsetof(DesJobContext, library) == 176, "DesJobContext library");

#ifdef __cplusplus
}
#endif
#endif
