// DESExec: the DES modes and the keyed hash over consecutive chunks, with
// the running state in the job record (layout in zq/des.h).
#include <cstring>

#include "zq/des.h"
#include "zq/des_core.h"
#include "zq/wipe.h"

namespace nc::zq::des {
namespace {

// Offsets and flags in DesJobContext.library.
constexpr size_t kUnitBuffer = 0;   // CFB/OFB E(register) / hash: MAC value
constexpr size_t kHashPending = 8;  // hash: unfinished block
constexpr size_t kPosition = 16;    // bytes done in the unit / unfinished bytes
constexpr size_t kFlags = 17;
constexpr uint8_t kScheduled = 1, kStarted = 2, kFinished = 4, kHashHasData = 8;

// ---- validation ---------------------------------------------------------------

bool Usable(const DesJobContext& job) {
  if (job.size != sizeof(DesJobContext)) return false;
  const uint8_t position = job.library[kPosition];
  switch (job.operation) {
    case kDesEncipher:
    case kDesDecipher:
      switch (job.mode) {
        case kDesEcb:
        case kDesCbc:
          return job.unitSize == 8;
        case kDesCfb:
        case kDesOfb:
          return job.unitSize >= 1 && job.unitSize <= 8 && position < job.unitSize;
        default:
          return false;
      }
    case kDesHash:
      return job.mode == 0 && job.unitSize == 0 && position < 8;
    default:
      return false;
  }
}

// ---- ECB ------------------------------------------------------------------------

template <bool kDecrypt>
void Ecb(const uint32_t* ks, uint8_t* p, size_t blocks) {
  size_t i = 0;
  for (; i + 2 <= blocks; i += 2, p += 16) {
    uint32_t l0 = LoadBe32(p), r0 = LoadBe32(p + 4);
    uint32_t l1 = LoadBe32(p + 8), r1 = LoadBe32(p + 12);
    CryptBlock2<kDecrypt>(ks, l0, r0, l1, r1);
    StoreBe32(p, l0);
    StoreBe32(p + 4, r0);
    StoreBe32(p + 8, l1);
    StoreBe32(p + 12, r1);
  }
  if (i < blocks) {
    uint32_t l = LoadBe32(p), r = LoadBe32(p + 4);
    CryptBlock<kDecrypt>(ks, l, r);
    StoreBe32(p, l);
    StoreBe32(p + 4, r);
  }
}

// ---- 64-bit CFB and OFB over whole blocks at a unit boundary ----------------------
// (il, ir) is the shift register, updated for the next call.

void CfbEncrypt64(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& il, uint32_t& ir) {
  uint32_t l = il, r = ir;
  for (size_t i = 0; i < blocks; ++i, p += 8) {
    CryptBlock<false>(ks, l, r);
    l ^= LoadBe32(p);
    r ^= LoadBe32(p + 4);
    StoreBe32(p, l);
    StoreBe32(p + 4, r);
  }
  il = l;
  ir = r;
}

// Deciphering knows every register value in advance (they are ciphertext).
void CfbDecrypt64(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& il, uint32_t& ir) {
  uint32_t pl = il, pr = ir;
  size_t i = 0;
  for (; i + 2 <= blocks; i += 2, p += 16) {
    const uint32_t c0l = LoadBe32(p), c0r = LoadBe32(p + 4);
    const uint32_t c1l = LoadBe32(p + 8), c1r = LoadBe32(p + 12);
    uint32_t l0 = pl, r0 = pr, l1 = c0l, r1 = c0r;
    CryptBlock2<false>(ks, l0, r0, l1, r1);
    StoreBe32(p, l0 ^ c0l);
    StoreBe32(p + 4, r0 ^ c0r);
    StoreBe32(p + 8, l1 ^ c1l);
    StoreBe32(p + 12, r1 ^ c1r);
    pl = c1l;
    pr = c1r;
  }
  if (i < blocks) {
    const uint32_t cl = LoadBe32(p), cr = LoadBe32(p + 4);
    uint32_t l = pl, r = pr;
    CryptBlock<false>(ks, l, r);
    StoreBe32(p, l ^ cl);
    StoreBe32(p + 4, r ^ cr);
    pl = cl;
    pr = cr;
  }
  il = pl;
  ir = pr;
}

void Ofb64(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& il, uint32_t& ir) {
  uint32_t l = il, r = ir;
  for (size_t i = 0; i < blocks; ++i, p += 8) {
    CryptBlock<false>(ks, l, r);
    StoreBe32(p, LoadBe32(p) ^ l);
    StoreBe32(p + 4, LoadBe32(p + 4) ^ r);
  }
  il = l;
  ir = r;
}

// ---- k-bit CFB and OFB, any unit, any split --------------------------------------
// FIPS 81: O = E(I); the unit's k bits are XORed with the top k bits of O;
// then I = (I << k) | feedback, the feedback being the unit's ciphertext
// (CFB) or the top k bits of O (OFB). A unit may straddle two calls: O and
// the bytes done are kept in the library area.

uint64_t LoadBeN(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void StoreBeN(uint8_t* p, size_t n, uint64_t v) {
  for (size_t i = n; i-- > 0; v >>= 8) p[i] = static_cast<uint8_t>(v);
}

uint64_t EncryptRegister(const uint32_t* ks, uint64_t reg) {
  uint32_t l = static_cast<uint32_t>(reg >> 32), r = static_cast<uint32_t>(reg);
  CryptBlock<false>(ks, l, r);
  return uint64_t{l} << 32 | r;
}

// Whole units of fewer than 8 bytes, from a unit boundary; returns the
// register (as a big-endian number) for the next unit.
uint64_t SmallUnits(const uint32_t* ks, bool cfb, bool encrypt, size_t unit, uint8_t* p,
                    size_t units, uint64_t reg) {
  const unsigned bits = static_cast<unsigned>(8 * unit);
  const unsigned drop = 64 - bits;
  size_t u = 0;
  if (cfb && !encrypt) {
    // Deciphering CFB knows the next register from the ciphertext: two units
    // go through the rounds side by side.
    for (; u + 2 <= units; u += 2, p += 2 * unit) {
      const uint64_t c0 = LoadBeN(p, unit), c1 = LoadBeN(p + unit, unit);
      const uint64_t next = reg << bits | c0;
      uint32_t l0 = static_cast<uint32_t>(reg >> 32), r0 = static_cast<uint32_t>(reg);
      uint32_t l1 = static_cast<uint32_t>(next >> 32), r1 = static_cast<uint32_t>(next);
      CryptBlock2<false>(ks, l0, r0, l1, r1);
      StoreBeN(p, unit, c0 ^ (uint64_t{l0} << 32 | r0) >> drop);
      StoreBeN(p + unit, unit, c1 ^ (uint64_t{l1} << 32 | r1) >> drop);
      reg = next << bits | c1;
    }
  }
  for (; u < units; ++u, p += unit) {
    const uint64_t o = EncryptRegister(ks, reg) >> drop;
    const uint64_t in = LoadBeN(p, unit);
    const uint64_t out = in ^ o;
    StoreBeN(p, unit, out);
    reg = reg << bits | (!cfb ? o : encrypt ? out : in);
  }
  return reg;
}

void UnitStream(const uint32_t* ks, DesJobContext& job, uint8_t* p, size_t n) {
  const bool cfb = job.mode == kDesCfb;
  const bool encrypt = job.operation == kDesEncipher;
  const size_t unit = job.unitSize;
  uint8_t reg[8], out[8];
  std::memcpy(reg, job.chaining, 8);
  std::memcpy(out, job.library + kUnitBuffer, 8);
  size_t pos = job.library[kPosition];

  size_t i = 0;
  while (i < n) {
    if (pos == 0 && n - i >= unit) {
      // Whole units: the word-wide loops.
      const size_t units = (n - i) / unit;
      uint32_t l = LoadBe32(reg), r = LoadBe32(reg + 4);
      if (unit < 8) {
        const uint64_t next =
            SmallUnits(ks, cfb, encrypt, unit, p + i, units, uint64_t{l} << 32 | r);
        l = static_cast<uint32_t>(next >> 32);
        r = static_cast<uint32_t>(next);
      } else if (!cfb) {
        Ofb64(ks, p + i, units, l, r);
      } else if (encrypt) {
        CfbEncrypt64(ks, p + i, units, l, r);
      } else {
        CfbDecrypt64(ks, p + i, units, l, r);
      }
      StoreBe32(reg, l);
      StoreBe32(reg + 4, r);
      i += unit * units;
      continue;
    }
    // A unit this call cannot finish, or the rest of one begun before.
    if (pos == 0) {
      uint32_t l = LoadBe32(reg), r = LoadBe32(reg + 4);
      CryptBlock<false>(ks, l, r);
      StoreBe32(out, l);
      StoreBe32(out + 4, r);
    }
    for (; pos < unit && i < n; ++pos, ++i) {
      const uint8_t in = p[i];
      p[i] = static_cast<uint8_t>(in ^ out[pos]);
      if (cfb) out[pos] = encrypt ? p[i] : in;  // the ciphertext is fed back
    }
    if (pos == unit) {
      std::memmove(reg, reg + unit, 8 - unit);
      std::memcpy(reg + 8 - unit, out, unit);
      pos = 0;
    }
  }

  std::memcpy(job.chaining, reg, 8);
  // Between units nothing of O is needed again; do not leave keystream behind.
  if (pos == 0) std::memset(out, 0, 8);
  std::memcpy(job.library + kUnitBuffer, out, 8);
  job.library[kPosition] = static_cast<uint8_t>(pos);
  SecureWipe(reg, sizeof reg);
  SecureWipe(out, sizeof out);
}

// ---- ECB and CBC ----------------------------------------------------------------------

void BlockModes(const uint32_t* ks, DesJobContext& job, uint8_t* p, size_t n) {
  const bool encrypt = job.operation == kDesEncipher;
  uint32_t cl = LoadBe32(job.chaining), cr = LoadBe32(job.chaining + 4);
  const size_t blocks = n / 8;
  if (job.mode == kDesCbc) {
    if (encrypt) {
      CbcEncrypt(ks, p, blocks, cl, cr);
    } else {
      CbcDecrypt(ks, p, blocks, cl, cr);
    }
  } else if (blocks > 0) {
    // The last whole ciphertext block is kept only for the partial-block rule.
    uint8_t* last = p + 8 * (blocks - 1);
    if (encrypt) {
      Ecb<false>(ks, p, blocks);
      cl = LoadBe32(last);
      cr = LoadBe32(last + 4);
    } else {
      cl = LoadBe32(last);
      cr = LoadBe32(last + 4);
      Ecb<true>(ks, p, blocks);
    }
  }
  if (n % 8 != 0) {
    ResidualTail(ks, p + 8 * blocks, n % 8, cl, cr);
    job.library[kFlags] |= kFinished;
  }
  StoreBe32(job.chaining, cl);
  StoreBe32(job.chaining + 4, cr);
}

// ---- keyed hash -------------------------------------------------------------------------
// CBC-MAC with padding method 2 (zq/des.h). The MAC value over the whole
// blocks and the unfinished block live in the library area; after the call
// the chaining field gets the hash of everything so far.

void Hash(const uint32_t* ks, DesJobContext& job, const uint8_t* p, size_t n) {
  uint8_t* lib = job.library;
  uint32_t xl = LoadBe32(lib + kUnitBuffer), xr = LoadBe32(lib + kUnitBuffer + 4);
  uint8_t pending[8];
  std::memcpy(pending, lib + kHashPending, 8);
  size_t count = lib[kPosition];
  if (n > 0) lib[kFlags] |= kHashHasData;

  size_t i = 0;
  if (count > 0) {
    for (; count < 8 && i < n; ++count, ++i) pending[count] = p[i];
    if (count == 8) {
      xl ^= LoadBe32(pending);
      xr ^= LoadBe32(pending + 4);
      CryptBlock<false>(ks, xl, xr);
      count = 0;
    }
  }
  for (; n - i >= 8; i += 8) {
    xl ^= LoadBe32(p + i);
    xr ^= LoadBe32(p + i + 4);
    CryptBlock<false>(ks, xl, xr);
  }
  for (; i < n; ++i) pending[count++] = p[i];
  for (size_t j = count; j < 8; ++j) pending[j] = 0;

  StoreBe32(lib + kUnitBuffer, xl);
  StoreBe32(lib + kUnitBuffer + 4, xr);
  std::memcpy(lib + kHashPending, pending, 8);
  lib[kPosition] = static_cast<uint8_t>(count);

  if (lib[kFlags] & kHashHasData) {
    pending[count] = 0x80;  // the rest is already zero
    xl ^= LoadBe32(pending);
    xr ^= LoadBe32(pending + 4);
    CryptBlock<false>(ks, xl, xr);
    StoreBe32(job.chaining, xl);
    StoreBe32(job.chaining + 4, xr);
  }
  SecureWipe(pending, sizeof pending);
}

}  // namespace
}  // namespace nc::zq::des

// ---- DESExec ----------------------------------------------------------------------------

extern "C" int32_t ZQAPI DESExec(void* buffer, uint32_t length, DesJobContext* job) {
  using namespace nc::zq::des;
  if (job == nullptr || !Usable(*job)) return kDesExecBadContext;
  if (length != 0 && buffer == nullptr) return kDesExecBadContext;
  uint8_t& flags = job->library[kFlags];
  const bool block_mode =
      job->operation != kDesHash && (job->mode == kDesEcb || job->mode == kDesCbc);
  if (block_mode && (flags & kFinished) && length != 0) return kDesExecFinished;

  if (!(flags & kScheduled)) {
    DESEdk(&job->key);
    flags |= kScheduled;
  }
  if (!(flags & kStarted)) {
    // The vector starts the MAC value (hash) or the chaining block / register.
    std::memcpy(job->operation == kDesHash ? job->library + kUnitBuffer : job->chaining, job->iv,
                8);
    flags |= kStarted;
  }

  uint32_t ks[kScheduleWords];
  LoadSchedule(job->key.schedule, ks);
  uint8_t* p = static_cast<uint8_t*>(buffer);
  if (job->operation == kDesHash) {
    Hash(ks, *job, p, length);
  } else if (block_mode) {
    BlockModes(ks, *job, p, length);
  } else {
    UnitStream(ks, *job, p, length);
  }
  nc::SecureWipe(ks, sizeof ks);
  return kDesExecOk;
}
