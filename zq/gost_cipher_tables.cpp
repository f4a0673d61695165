// GOST 28147-89 lookup tables from a substitution block, and the small
// process-wide cache that keeps them between calls (design in
// zq/gost_cipher.h).
#include <cstring>
#include <mutex>

#include "zq/gost_cipher_core.h"

namespace nc::zq::gost {

namespace {

// Entry v of node n (0-based: node 0 is K1), mapping in zq/gost_cipher.h.
uint32_t Entry(const uint8_t sbox[kSubstitutionBytes], unsigned node, unsigned v) {
  const uint8_t pair = sbox[node * 8 + v / 2];
  return (v & 1) != 0 ? pair & 15u : pair >> 4;
}

// ---- the cache ----------------------------------------------------------------
// A handful of slots: a process normally works with one or two substitution
// blocks at a time. A slot being used by a call (users > 0) is never rebuilt;
// a new block replaces the least recently used idle slot.

constexpr int kSlots = 8;

struct Slot {
  uint8_t sbox[kSubstitutionBytes];
  Tables tables;
  unsigned users;
  unsigned long long lastUse;  // 0: empty
};

struct Cache {
  std::mutex mutex;
  unsigned long long clock = 0;
  Slot slots[kSlots];
};

Cache& TheCache() {
  static Cache cache;  // zero-initialised slots
  return cache;
}

}  // namespace

void BuildTables(const uint8_t sbox[kSubstitutionBytes], Tables& out) {
  for (unsigned j = 0; j < 4; ++j) {
    for (unsigned b = 0; b < 256; ++b) {
      const uint32_t pair = Entry(sbox, 2 * j, b & 15) | Entry(sbox, 2 * j + 1, b >> 4) << 4;
      const uint32_t placed = pair << (8 * j);
      out.t[j][b] = (placed << 11) | (placed >> 21);
    }
  }
}

TableLease::TableLease(const uint8_t sbox[kSubstitutionBytes]) {
  Cache& cache = TheCache();
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    int idle = -1;
    for (int i = 0; i < kSlots; ++i) {
      Slot& s = cache.slots[i];
      if (s.lastUse != 0 && std::memcmp(s.sbox, sbox, kSubstitutionBytes) == 0) {
        slot_ = i;
        break;
      }
      if (s.users == 0 && (idle < 0 || s.lastUse < cache.slots[idle].lastUse)) idle = i;
    }
    if (slot_ < 0 && idle >= 0) {
      Slot& s = cache.slots[idle];
      std::memcpy(s.sbox, sbox, kSubstitutionBytes);
      BuildTables(sbox, s.tables);
      slot_ = idle;
    }
    if (slot_ >= 0) {
      Slot& s = cache.slots[slot_];
      ++s.users;
      s.lastUse = ++cache.clock;
      tables_ = &s.tables;
    }
  }
  if (tables_ == nullptr) {
    BuildTables(sbox, local_);
    tables_ = &local_;
  }
}

TableLease::~TableLease() {
  if (slot_ < 0) return;
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  --cache.slots[slot_].users;
}

}  // namespace nc::zq::gost
