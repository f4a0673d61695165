// The GOST 28147-89 block function and its lookup tables, shared by GOSExec
// and the GOST R 34.11-94 step function. Internal to the zq library; the C
// interface is zq/gost_cipher.h (which documents the conventions used here).
//
// Not constant-time: table lookups indexed by key- and data-dependent bytes.
//
// A round computes f(x) = rotl11(S(x)), S substituting each nibble of x by
// its node. Tables fold a pair of nodes and the rotation into one lookup:
//   t[j][b] = rotl11((K(2j+1)[b & 15] | K(2j+2)[b >> 4] << 4) << 8j)
// so f(x) = t[0][byte 0 of x] ^ t[1][byte 1] ^ t[2][byte 2] ^ t[3][byte 3].
#pragma once

#include <cstddef>
#include <cstdint>

namespace nc::zq::gost {

constexpr size_t kSubstitutionBytes = 64;

struct Tables {
  alignas(64) uint32_t t[4][256];
};

// Fills `out` from the 64 substitution bytes (mapping in zq/gost_cipher.h).
void BuildTables(const uint8_t sbox[kSubstitutionBytes], Tables& out);

// The tables of one substitution block for the length of one call, from the
// process-wide cache (or built here when every cache slot is busy).
class TableLease {
 public:
  explicit TableLease(const uint8_t sbox[kSubstitutionBytes]);
  ~TableLease();
  TableLease(const TableLease&) = delete;
  TableLease& operator=(const TableLease&) = delete;
  const Tables& get() const { return *tables_; }

 private:
  int slot_ = -1;
  const Tables* tables_ = nullptr;
  Tables local_;  // only used when the cache is full
};

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t F(const Tables& tb, uint32_t x) {
  return (tb.t[0][x & 255] ^ tb.t[1][(x >> 8) & 255]) ^
         (tb.t[2][(x >> 16) & 255] ^ tb.t[3][x >> 24]);
}

// Which key word round r (0-based) uses.
enum class Schedule { kEncrypt, kDecrypt, kImitation };
constexpr int KeyIndex(Schedule s, int r) {
  switch (s) {
    case Schedule::kEncrypt:
      return r < 24 ? r % 8 : 7 - r % 8;
    case Schedule::kDecrypt:
      return r < 8 ? r : 7 - r % 8;
    case Schedule::kImitation:
      return r % 8;
  }
  return 0;
}

// L independent blocks at once, so that the processor overlaps their chains
// of lookups. (n1[i], n2[i]) is block i; key(i, j) is key word j of block i.
// The full cipher (32 rounds) ends with the halves exchanged, as the
// standard's last round does not swap; the imitation schedule (16 rounds)
// leaves them as they are.
template <Schedule kSchedule, int L, typename Key>
inline void CryptLanes(const Tables& tb, const Key& key, uint32_t* n1, uint32_t* n2) {
  constexpr int kRounds = kSchedule == Schedule::kImitation ? 16 : 32;
  uint32_t a[L], b[L];
  for (int i = 0; i < L; ++i) {
    a[i] = n1[i];
    b[i] = n2[i];
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 16
#elif defined(__clang__)
#pragma unroll
#endif
  for (int r = 0; r < kRounds; r += 2) {
    for (int i = 0; i < L; ++i) b[i] ^= F(tb, a[i] + key(i, KeyIndex(kSchedule, r)));
    for (int i = 0; i < L; ++i) a[i] ^= F(tb, b[i] + key(i, KeyIndex(kSchedule, r + 1)));
  }
  for (int i = 0; i < L; ++i) {
    if constexpr (kSchedule == Schedule::kImitation) {
      n1[i] = a[i];
      n2[i] = b[i];
    } else {
      n1[i] = b[i];
      n2[i] = a[i];
    }
  }
}

// One key for every block.
struct SharedKey {
  const uint32_t* k;
  uint32_t operator()(int, int j) const { return k[j]; }
};

// How many blocks the modes interleave: four independent chains keep the
// load units busy. On 32-bit x86 the lanes do not all fit in registers, but
// the spills hit the first-level cache and four lanes are still about 1.8
// times as fast as two there (measured under Wine with gost_bench).
constexpr int kLanes = 4;

}  // namespace nc::zq::gost
