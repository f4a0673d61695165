// GOSExec: GOST 28147-89 simple replacement, gamma, gamma with feedback and
// the imitation insert over consecutive chunks, with the running state in
// the context (layout and conventions in zq/gost_cipher.h).
#include <cstring>

#include "zq/gost_cipher.h"
#include "zq/gost_cipher_core.h"
#include "zq/wipe.h"

namespace nc::zq::gost {
namespace {

// Offsets and flags in GOSCipherContext.library.
constexpr size_t kState = 0;    // N3 N4 / feedback block / MAC state
constexpr size_t kPending = 8;  // gamma block / unfinished MAC block
constexpr size_t kPosition = 16;
constexpr size_t kFlags = 17;
constexpr size_t kFirstOperation = 18;
constexpr size_t kFirstMode = 19;
constexpr size_t kZeroFrom = 20;
constexpr uint8_t kStarted = 1, kFinished = 2, kMacOneBlock = 4, kMacBlocks = 8;
constexpr uint8_t kKnownFlags = kStarted | kFinished | kMacOneBlock | kMacBlocks;

constexpr uint32_t kC1 = 0x01010104u;
constexpr uint32_t kC2 = 0x01010101u;

// ---- validation ---------------------------------------------------------------

bool Usable(const GOSCipherContext& c) {
  if (c.size != sizeof(GOSCipherContext) || c.key.count != kGosKeyWords ||
      c.substitution.count != kGosSubstitutionWords) {
    return false;
  }
  switch (c.operation) {
    case kGosEncipher:
    case kGosDecipher:
      if (c.mode < kGosSimpleReplacement || c.mode > kGosFeedbackGamma) return false;
      break;
    case kGosImitation:
      if (c.mode != kGosNoMode) return false;
      break;
    default:
      return false;
  }
  const uint8_t* lib = c.library;
  const uint8_t flags = lib[kFlags];
  if ((flags & ~kKnownFlags) != 0 || lib[kPosition] >= 8) return false;
  for (size_t i = kZeroFrom; i < sizeof c.library; ++i) {
    if (lib[i] != 0) return false;
  }
  if ((flags & kStarted) != 0) {
    if (lib[kFirstOperation] != c.operation || lib[kFirstMode] != c.mode) return false;
  } else if (flags != 0 || lib[kPosition] != 0) {
    return false;
  }
  return true;
}

// ---- one block ------------------------------------------------------------------

void EncryptBlock(const Tables& tb, const uint32_t* k, uint32_t& n1, uint32_t& n2) {
  CryptLanes<Schedule::kEncrypt, 1>(tb, SharedKey{k}, &n1, &n2);
}

// ---- simple replacement -----------------------------------------------------------

template <Schedule kSchedule>
void Simple(const Tables& tb, const uint32_t* k, uint8_t* p, size_t blocks) {
  const SharedKey key{k};
  uint32_t n1[kLanes], n2[kLanes];
  for (; blocks >= kLanes; blocks -= kLanes, p += 8 * kLanes) {
    for (int i = 0; i < kLanes; ++i) {
      n1[i] = LoadLe32(p + 8 * i);
      n2[i] = LoadLe32(p + 8 * i + 4);
    }
    CryptLanes<kSchedule, kLanes>(tb, key, n1, n2);
    for (int i = 0; i < kLanes; ++i) {
      StoreLe32(p + 8 * i, n1[i]);
      StoreLe32(p + 8 * i + 4, n2[i]);
    }
  }
  for (; blocks > 0; --blocks, p += 8) {
    n1[0] = LoadLe32(p);
    n2[0] = LoadLe32(p + 4);
    CryptLanes<kSchedule, 1>(tb, key, n1, n2);
    StoreLe32(p, n1[0]);
    StoreLe32(p + 4, n2[0]);
  }
  SecureWipe(n1, sizeof n1);
  SecureWipe(n2, sizeof n2);
}

// ---- gamma ------------------------------------------------------------------------

inline void NextCounter(uint32_t& n3, uint32_t& n4) {
  n3 += kC2;
  n4 += kC1;
  if (n4 < kC1) ++n4;  // wrapped past 2^32: addition mod 2^32 - 1
}

void XorBlock(uint8_t* p, uint32_t g1, uint32_t g2) {
  StoreLe32(p, LoadLe32(p) ^ g1);
  StoreLe32(p + 4, LoadLe32(p + 4) ^ g2);
}

void Gamma(const Tables& tb, const uint32_t* k, uint8_t* lib, uint8_t* p, size_t n) {
  uint8_t* gamma = lib + kPending;
  size_t pos = lib[kPosition];
  if (pos != 0) {  // the rest of a gamma block begun in an earlier call
    for (; pos < 8 && n > 0; --n) *p++ ^= gamma[pos++];
    if (pos == 8) pos = 0;
  }
  uint32_t n3 = LoadLe32(lib + kState), n4 = LoadLe32(lib + kState + 4);
  const SharedKey key{k};
  uint32_t g1[kLanes], g2[kLanes];
  for (; n >= 8 * kLanes; n -= 8 * kLanes, p += 8 * kLanes) {
    for (int i = 0; i < kLanes; ++i) {
      NextCounter(n3, n4);
      g1[i] = n3;
      g2[i] = n4;
    }
    CryptLanes<Schedule::kEncrypt, kLanes>(tb, key, g1, g2);
    for (int i = 0; i < kLanes; ++i) XorBlock(p + 8 * i, g1[i], g2[i]);
  }
  for (; n >= 8; n -= 8, p += 8) {
    NextCounter(n3, n4);
    g1[0] = n3;
    g2[0] = n4;
    EncryptBlock(tb, k, g1[0], g2[0]);
    XorBlock(p, g1[0], g2[0]);
  }
  if (n > 0) {  // a gamma block that the next call finishes
    NextCounter(n3, n4);
    g1[0] = n3;
    g2[0] = n4;
    EncryptBlock(tb, k, g1[0], g2[0]);
    StoreLe32(gamma, g1[0]);
    StoreLe32(gamma + 4, g2[0]);
    for (pos = 0; pos < n; ++pos) p[pos] ^= gamma[pos];
  }
  StoreLe32(lib + kState, n3);
  StoreLe32(lib + kState + 4, n4);
  lib[kPosition] = static_cast<uint8_t>(pos);
  SecureWipe(g1, sizeof g1);
  SecureWipe(g2, sizeof g2);
}

// ---- gamma with feedback (64-bit CFB) ---------------------------------------------
// The state block B: with p = 0 the register (the last ciphertext block, at
// first the synchro); with p = 1..7 the gamma of the current block, its
// first p bytes replaced by their ciphertext. Either way, when a block is
// complete B holds its ciphertext, the next register.

void Feedback(const Tables& tb, const uint32_t* k, bool decrypt, uint8_t* lib, uint8_t* p,
              size_t n) {
  uint8_t* block = lib + kState;
  size_t pos = lib[kPosition];
  if (pos != 0) {
    for (; pos < 8 && n > 0; --n, ++p, ++pos) {
      const uint8_t c = decrypt ? *p : static_cast<uint8_t>(*p ^ block[pos]);
      *p ^= block[pos];
      block[pos] = c;
    }
    if (pos == 8) pos = 0;
  }
  uint32_t r1 = LoadLe32(block), r2 = LoadLe32(block + 4);
  if (pos == 0 && n >= 8) {
    if (!decrypt) {
      for (; n >= 8; n -= 8, p += 8) {
        EncryptBlock(tb, k, r1, r2);
        r1 ^= LoadLe32(p);
        r2 ^= LoadLe32(p + 4);
        StoreLe32(p, r1);
        StoreLe32(p + 4, r2);
      }
    } else {
      // Every register is ciphertext the call already has: blocks in parallel.
      const SharedKey key{k};
      uint32_t g1[kLanes], g2[kLanes];
      for (; n >= 8 * kLanes; n -= 8 * kLanes, p += 8 * kLanes) {
        g1[0] = r1;
        g2[0] = r2;
        for (int i = 1; i < kLanes; ++i) {
          g1[i] = LoadLe32(p + 8 * (i - 1));
          g2[i] = LoadLe32(p + 8 * (i - 1) + 4);
        }
        r1 = LoadLe32(p + 8 * (kLanes - 1));
        r2 = LoadLe32(p + 8 * (kLanes - 1) + 4);
        CryptLanes<Schedule::kEncrypt, kLanes>(tb, key, g1, g2);
        for (int i = 0; i < kLanes; ++i) XorBlock(p + 8 * i, g1[i], g2[i]);
      }
      for (; n >= 8; n -= 8, p += 8) {
        g1[0] = r1;
        g2[0] = r2;
        r1 = LoadLe32(p);
        r2 = LoadLe32(p + 4);
        EncryptBlock(tb, k, g1[0], g2[0]);
        XorBlock(p, g1[0], g2[0]);
      }
      SecureWipe(g1, sizeof g1);
      SecureWipe(g2, sizeof g2);
    }
  }
  StoreLe32(block, r1);
  StoreLe32(block + 4, r2);
  if (n > 0) {  // start a block that a later call finishes
    EncryptBlock(tb, k, r1, r2);
    StoreLe32(block, r1);
    StoreLe32(block + 4, r2);
    for (pos = 0; pos < n; ++pos, ++p) {
      const uint8_t c = decrypt ? *p : static_cast<uint8_t>(*p ^ block[pos]);
      *p ^= block[pos];
      block[pos] = c;
    }
  }
  lib[kPosition] = static_cast<uint8_t>(pos);
}

// ---- the imitation insert -----------------------------------------------------------

void MacBlock(const Tables& tb, const uint32_t* k, uint32_t& s1, uint32_t& s2, const uint8_t* b) {
  s1 ^= LoadLe32(b);
  s2 ^= LoadLe32(b + 4);
  CryptLanes<Schedule::kImitation, 1>(tb, SharedKey{k}, &s1, &s2);
}

void Imitation(const Tables& tb, const uint32_t* k, GOSCipherContext& c, const uint8_t* p,
               size_t n) {
  uint8_t* lib = c.library;
  uint8_t* pending = lib + kPending;
  size_t pos = lib[kPosition];
  uint8_t flags = lib[kFlags];
  uint32_t s1 = LoadLe32(lib + kState), s2 = LoadLe32(lib + kState + 4);
  const auto count_block = [&flags] {
    flags |= (flags & (kMacOneBlock | kMacBlocks)) != 0 ? kMacBlocks : kMacOneBlock;
    if ((flags & kMacBlocks) != 0) flags &= static_cast<uint8_t>(~kMacOneBlock);
  };
  if (pos != 0) {
    for (; pos < 8 && n > 0; --n) pending[pos++] = *p++;
    if (pos == 8) {
      MacBlock(tb, k, s1, s2, pending);
      count_block();
      pos = 0;
    }
  }
  for (; n >= 8; n -= 8, p += 8) {
    MacBlock(tb, k, s1, s2, p);
    count_block();
  }
  for (; n > 0; --n) pending[pos++] = *p++;
  std::memset(pending + pos, 0, 8 - pos);
  StoreLe32(lib + kState, s1);
  StoreLe32(lib + kState + 4, s2);
  lib[kPosition] = static_cast<uint8_t>(pos);
  lib[kFlags] = flags;

  // The value for the data so far: the unfinished block zero-padded, and a
  // zero block after a message of one block.
  if (pos != 0) {
    MacBlock(tb, k, s1, s2, pending);
    count_block();
  }
  if ((flags & kMacOneBlock) != 0) {
    static const uint8_t kZero[8] = {};
    MacBlock(tb, k, s1, s2, kZero);
  }
  StoreLe32(c.mac, s1);
  StoreLe32(c.mac + 4, s2);
}

}  // namespace
}  // namespace nc::zq::gost

extern "C" int32_t ZQAPI GOSExec(void* buffer, uint32_t length, GOSCipherContext* context) {
  using namespace nc::zq::gost;
  if (context == nullptr || !Usable(*context) || (buffer == nullptr && length != 0)) {
    return kGosExecBadContext;
  }
  GOSCipherContext& c = *context;
  uint8_t* lib = c.library;
  if ((lib[kFlags] & kFinished) != 0) return kGosExecFinished;

  uint8_t sbox[kSubstitutionBytes];
  std::memcpy(sbox, c.substitution.words, sizeof sbox);
  const TableLease lease(sbox);
  const Tables& tb = lease.get();
  uint32_t k[kGosKeyWords];
  std::memcpy(k, c.key.words, sizeof k);

  if ((lib[kFlags] & kStarted) == 0) {
    lib[kFlags] = kStarted;
    lib[kFirstOperation] = static_cast<uint8_t>(c.operation);
    lib[kFirstMode] = static_cast<uint8_t>(c.mode);
    if (c.operation != kGosImitation && c.mode == kGosGamma) {
      uint32_t n3 = LoadLe32(c.synchro + 4), n4 = LoadLe32(c.synchro + 8);
      EncryptBlock(tb, k, n3, n4);
      StoreLe32(lib + kState, n3);
      StoreLe32(lib + kState + 4, n4);
    } else if (c.operation != kGosImitation && c.mode == kGosFeedbackGamma) {
      std::memcpy(lib + kState, c.synchro + 4, 8);
    }
  }

  uint8_t* p = static_cast<uint8_t*>(buffer);
  int32_t result = kGosExecOk;
  if (c.operation == kGosImitation) {
    Imitation(tb, k, c, p, length);
  } else {
    const bool decrypt = c.operation == kGosDecipher;
    switch (c.mode) {
      case kGosSimpleReplacement:
        if (decrypt) {
          Simple<Schedule::kDecrypt>(tb, k, p, length / 8);
        } else {
          Simple<Schedule::kEncrypt>(tb, k, p, length / 8);
        }
        if (length % 8 != 0) {
          lib[kFlags] |= kFinished;
          result = kGosExecPartialBlock;
        }
        break;
      case kGosGamma:
        Gamma(tb, k, lib, p, length);
        break;
      default:
        Feedback(tb, k, decrypt, lib, p, length);
        break;
    }
  }
  nc::SecureWipe(k, sizeof k);
  return result;
}
