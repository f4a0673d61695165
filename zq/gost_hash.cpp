// GOSHash, GOSHashComplete: GOST R 34.11-94 over consecutive chunks, with
// the running state in the context (layout and byte order in zq/gost_hash.h).
#include "zq/gost_hash.h"

#include <array>
#include <cstring>
#include <utility>

#include "zq/gost_cipher_core.h"
#include "zq/wipe.h"

namespace nc::zq::gost {
namespace {

// Offsets and flags in GOSHashContext.library.
constexpr size_t kChain = 0;
constexpr size_t kSum = 32;
constexpr size_t kLength = 64;
constexpr size_t kPendingCount = 72;
constexpr size_t kHashFlags = 73;
constexpr size_t kHashZeroFrom = 74;
constexpr uint8_t kCompleted = 1;

constexpr size_t kBlockBytes = 32;

// A 256-bit value as eight 32-bit words, least significant first.
using Words = uint32_t[8];

// The constant C3 of the key generation, least significant word first.
constexpr uint32_t kC3[8] = {0xff00ff00u, 0xff00ff00u, 0x00ff00ffu, 0x00ff00ffu,
                             0x00ffff00u, 0xff0000ffu, 0x000000ffu, 0xff00ffffu};

bool Usable(const GOSHashContext& c) {
  if (c.size != sizeof(GOSHashContext) || c.substitution.count != kGosSubstitutionWords) {
    return false;
  }
  const uint8_t* lib = c.library;
  if (lib[kPendingCount] >= kBlockBytes || (lib[kHashFlags] & ~kCompleted) != 0) return false;
  for (size_t i = kHashZeroFrom; i < sizeof c.library; ++i) {
    if (lib[i] != 0) return false;
  }
  return true;
}

// ---- the key generation: A and P ------------------------------------------------
// Y = y4 || y3 || y2 || y1 in 64-bit quarters (y1 = words 0 and 1):
//   A(Y) = (y1 ^ y2) || y4 || y3 || y2
//   P(Y): byte i + 4k of the result is byte 8i + k of Y (i < 4, k < 8).

inline void A(Words y) {
  const uint32_t t0 = y[0] ^ y[2], t1 = y[1] ^ y[3];
  y[0] = y[2];
  y[1] = y[3];
  y[2] = y[4];
  y[3] = y[5];
  y[4] = y[6];
  y[5] = y[7];
  y[6] = t0;
  y[7] = t1;
}

inline void P(const Words y, Words out) {
  for (int k = 0; k < 8; ++k) {
    const int half = k / 4, shift = 8 * (k % 4);
    out[k] = ((y[half] >> shift) & 255u) | ((y[2 + half] >> shift) & 255u) << 8 |
             ((y[4 + half] >> shift) & 255u) << 16 | ((y[6 + half] >> shift) & 255u) << 24;
  }
}

// ---- the mixing: powers of psi -------------------------------------------------------
// On sixteen 16-bit words (y[0] least significant) psi shifts every word one
// place down and puts y0 ^ y1 ^ y2 ^ y3 ^ y12 ^ y15 on top. psi^n is linear:
// word i of the result is the XOR of the input words in mask i, worked out at
// compile time and expanded into straight-line XORs.

constexpr std::array<uint16_t, 16> PsiMasks(int n) {
  std::array<uint16_t, 16> m{};
  for (int i = 0; i < 16; ++i) m[i] = static_cast<uint16_t>(1u << i);
  for (int s = 0; s < n; ++s) {
    const uint16_t top = m[0] ^ m[1] ^ m[2] ^ m[3] ^ m[12] ^ m[15];
    for (int i = 0; i < 15; ++i) m[i] = m[i + 1];
    m[15] = top;
  }
  return m;
}

template <int N>
inline constexpr std::array<uint16_t, 16> kPsi = PsiMasks(N);

template <uint16_t kMask, size_t... I>
inline uint32_t Combine(const uint32_t* y, std::index_sequence<I...>) {
  return (0u ^ ... ^ (((kMask >> I) & 1u) != 0 ? y[I] : 0u));
}

template <int N, size_t... O>
inline void PsiPower(const uint32_t* in, uint32_t* out, std::index_sequence<O...>) {
  ((out[O] = Combine<kPsi<N>[O]>(in, std::make_index_sequence<16>{})), ...);
}

template <int N>
inline void PsiPower(const uint32_t* in, uint32_t* out) {
  PsiPower<N>(in, out, std::make_index_sequence<16>{});
}

inline void Split(const Words x, uint32_t* y) {
  for (int i = 0; i < 8; ++i) {
    y[2 * i] = x[i] & 0xffffu;
    y[2 * i + 1] = x[i] >> 16;
  }
}

// ---- the step function --------------------------------------------------------------

// Temporaries derived from the message; the caller wipes them once per call.
struct Scratch {
  Words u, v, w;
  uint32_t keys[4][8];
  uint32_t n1[4], n2[4];
  uint32_t s16[16], m16[16], h16[16], t16[16], x16[16];
};

struct LaneKeys {
  const uint32_t (*keys)[8];
  uint32_t operator()(int i, int j) const { return keys[i][j]; }
};

// h = f(h, m).
void Step(const Tables& tb, Words h, const Words m, Scratch& s) {
  // Key generation.
  std::memcpy(s.u, h, sizeof s.u);
  std::memcpy(s.v, m, sizeof s.v);
  for (int j = 0; j < 4; ++j) {
    if (j > 0) {
      A(s.u);
      if (j == 2) {
        for (int i = 0; i < 8; ++i) s.u[i] ^= kC3[i];
      }
      A(s.v);
      A(s.v);
    }
    for (int i = 0; i < 8; ++i) s.w[i] = s.u[i] ^ s.v[i];
    P(s.w, s.keys[j]);
  }
  // Encryption: s_i = E_{K_i}(h_i), four independent blocks.
  for (int i = 0; i < 4; ++i) {
    s.n1[i] = h[2 * i];
    s.n2[i] = h[2 * i + 1];
  }
  for (int i = 0; i < 4; i += kLanes) {
    CryptLanes<Schedule::kEncrypt, kLanes>(tb, LaneKeys{s.keys + i}, s.n1 + i, s.n2 + i);
  }
  // Mixing: h = psi^61(h ^ psi(m ^ psi^12(S))).
  for (int i = 0; i < 4; ++i) {
    s.w[2 * i] = s.n1[i];
    s.w[2 * i + 1] = s.n2[i];
  }
  Split(s.w, s.s16);
  Split(m, s.m16);
  Split(h, s.h16);
  PsiPower<12>(s.s16, s.t16);
  for (int i = 0; i < 16; ++i) s.t16[i] ^= s.m16[i];
  for (int i = 0; i < 15; ++i) s.x16[i] = s.t16[i + 1] ^ s.h16[i];
  s.x16[15] = s.t16[0] ^ s.t16[1] ^ s.t16[2] ^ s.t16[3] ^ s.t16[12] ^ s.t16[15] ^ s.h16[15];
  PsiPower<61>(s.x16, s.t16);
  for (int i = 0; i < 8; ++i) h[i] = s.t16[2 * i] | s.t16[2 * i + 1] << 16;
}

// The running state, loaded from the context for one call.
struct State {
  Words h, sum, m;
  Scratch scratch;

  void Load(const uint8_t* lib) {
    for (int i = 0; i < 8; ++i) {
      h[i] = LoadLe32(lib + kChain + 4 * i);
      sum[i] = LoadLe32(lib + kSum + 4 * i);
    }
  }
  void Store(uint8_t* lib) const {
    for (int i = 0; i < 8; ++i) {
      StoreLe32(lib + kChain + 4 * i, h[i]);
      StoreLe32(lib + kSum + 4 * i, sum[i]);
    }
  }
  // One message block: the step and the checksum.
  void Block(const Tables& tb, const uint8_t* p) {
    uint64_t carry = 0;
    for (int i = 0; i < 8; ++i) {
      m[i] = LoadLe32(p + 4 * i);
      carry += uint64_t{sum[i]} + m[i];
      sum[i] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    Step(tb, h, m, scratch);
  }
  ~State() { SecureWipe(this, sizeof *this); }
};

uint64_t LoadLe64(const uint8_t* p) { return LoadLe32(p) | uint64_t{LoadLe32(p + 4)} << 32; }

void StoreLe64(uint8_t* p, uint64_t v) {
  StoreLe32(p, static_cast<uint32_t>(v));
  StoreLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

void SubstitutionBytes(const GOSHashContext& c, uint8_t out[kSubstitutionBytes]) {
  std::memcpy(out, c.substitution.words, kSubstitutionBytes);
}

}  // namespace
}  // namespace nc::zq::gost

extern "C" void ZQAPI GOSHash(const void* buffer, uint32_t length, GOSHashContext* context) {
  using namespace nc::zq::gost;
  if (context == nullptr || !Usable(*context) || (buffer == nullptr && length != 0)) return;
  GOSHashContext& c = *context;
  uint8_t* lib = c.library;
  if ((lib[kHashFlags] & kCompleted) != 0) {
    // A new message; the completion left the running state at the start.
    lib[kHashFlags] = 0;
    nc::SecureWipe(c.hash, sizeof c.hash);
  }
  if (length == 0) return;

  uint8_t sbox[kSubstitutionBytes];
  SubstitutionBytes(c, sbox);
  const TableLease lease(sbox);
  const Tables& tb = lease.get();

  State st;
  st.Load(lib);
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  size_t n = length;
  size_t pending = lib[kPendingCount];
  if (pending != 0) {
    const size_t take = n < kBlockBytes - pending ? n : kBlockBytes - pending;
    std::memcpy(c.hash + pending, p, take);
    pending += take;
    p += take;
    n -= take;
    if (pending == kBlockBytes) {
      st.Block(tb, c.hash);
      pending = 0;
    }
  }
  for (; n >= kBlockBytes; n -= kBlockBytes, p += kBlockBytes) st.Block(tb, p);
  if (n > 0) {
    std::memcpy(c.hash, p, n);
    pending = n;
  }
  st.Store(lib);
  StoreLe64(lib + kLength, LoadLe64(lib + kLength) + length);
  lib[kPendingCount] = static_cast<uint8_t>(pending);
}

extern "C" void ZQAPI GOSHashComplete(GOSHashContext* context) {
  using namespace nc::zq::gost;
  if (context == nullptr || !Usable(*context)) return;
  GOSHashContext& c = *context;
  uint8_t* lib = c.library;
  if ((lib[kHashFlags] & kCompleted) != 0) return;

  uint8_t sbox[kSubstitutionBytes];
  SubstitutionBytes(c, sbox);
  const TableLease lease(sbox);
  const Tables& tb = lease.get();

  State st;
  st.Load(lib);
  const size_t pending = lib[kPendingCount];
  if (pending != 0) {  // the last block, padded with zero bytes
    std::memset(c.hash + pending, 0, kBlockBytes - pending);
    st.Block(tb, c.hash);
  }
  const uint64_t bytes = LoadLe64(lib + kLength);
  Words bits = {static_cast<uint32_t>(bytes << 3), static_cast<uint32_t>(bytes >> 29),
                static_cast<uint32_t>(bytes >> 61)};
  Step(tb, st.h, bits, st.scratch);
  Step(tb, st.h, st.sum, st.scratch);
  for (int i = 0; i < 8; ++i) StoreLe32(c.hash + 4 * i, st.h[i]);
  nc::SecureWipe(lib, sizeof c.library);
  lib[kHashFlags] = kCompleted;
}
