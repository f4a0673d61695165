// The DES block function and key schedule shared by the DES modes.
// Internal to the zq library; the C interface is zq/des.h.
//
// Not constant-time: table lookups indexed by key and data (see zq/des.h).
//
// Representation. A block is two 32-bit halves, bytes 0..3 and 4..7 read
// big-endian, so DES bit 1 is the top bit of the first half. Inside the
// rounds both halves are kept rotated right by 3 bits: then the eight 6-bit
// inputs of the expansion E are the low six bits of the bytes of
//   R' xor k0           (S1, S3, S5, S7)  and
//   rotl(R', 4) xor k1  (S2, S4, S6, S8),
// and the tables fold the S-box, the permutation P and the same rotation
// into one lookup, so a round is two XORs, one rotation and eight lookups.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nc::zq::des {

// S-box-and-permutation tables:
//   kSp.t[j][x] = rotr(P(S_{j+1}(x) placed in nibble j from the top), 3).
struct SpTables {
  alignas(64) uint32_t t[8][64];
};
extern const SpTables kSp;

// 16 rounds x (k0, k1), in round order; see zq/des.h for the byte layout.
constexpr size_t kScheduleWords = 32;
constexpr size_t kScheduleBytes = 128;

inline uint32_t Rotl(uint32_t x, unsigned n) { return (x << n) | (x >> ((32 - n) & 31)); }
inline uint32_t Rotr(uint32_t x, unsigned n) { return (x >> n) | (x << ((32 - n) & 31)); }

inline uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
inline void StoreBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Swaps the bits of a selected by m << n with the bits of b selected by m.
inline void SwapBits(uint32_t& a, uint32_t& b, unsigned n, uint32_t m) {
  uint32_t t = ((a >> n) ^ b) & m;
  b ^= t;
  a ^= t << n;
}

// The initial permutation as five bit-group swaps, then the rotation into
// the round representation.
inline void InitialPermutation(uint32_t& l, uint32_t& r) {
  SwapBits(l, r, 4, 0x0f0f0f0fu);
  SwapBits(l, r, 16, 0x0000ffffu);
  SwapBits(r, l, 2, 0x33333333u);
  SwapBits(r, l, 8, 0x00ff00ffu);
  SwapBits(l, r, 1, 0x55555555u);
  l = Rotr(l, 3);
  r = Rotr(r, 3);
}

// The inverse of InitialPermutation (each swap is its own inverse).
inline void FinalPermutation(uint32_t& l, uint32_t& r) {
  l = Rotl(l, 3);
  r = Rotl(r, 3);
  SwapBits(l, r, 1, 0x55555555u);
  SwapBits(r, l, 8, 0x00ff00ffu);
  SwapBits(r, l, 2, 0x33333333u);
  SwapBits(l, r, 16, 0x0000ffffu);
  SwapBits(l, r, 4, 0x0f0f0f0fu);
}

// Hides a value's origin from the optimiser. GCC re-associates a XOR of
// eight terms into a chain eight steps long; the pairs and halves below stay
// a tree three steps deep, which shortens every round. No code is emitted.
inline uint32_t Opaque(uint32_t x) {
#if defined(__GNUC__) || defined(__clang__)
  __asm__("" : "+r"(x));
#endif
  return x;
}

// The cipher function f(R, K) in the rotated representation.
inline uint32_t Feistel(uint32_t r, uint32_t k0, uint32_t k1) {
  const uint32_t u = r ^ k0;
  const uint32_t t = Rotl(r, 4) ^ k1;
  const uint32_t s13 = Opaque(kSp.t[0][(u >> 24) & 63] ^ kSp.t[2][(u >> 16) & 63]);
  const uint32_t s57 = Opaque(kSp.t[4][(u >> 8) & 63] ^ kSp.t[6][u & 63]);
  const uint32_t s24 = Opaque(kSp.t[1][(t >> 24) & 63] ^ kSp.t[3][(t >> 16) & 63]);
  const uint32_t s68 = Opaque(kSp.t[5][(t >> 8) & 63] ^ kSp.t[7][t & 63]);
  return Opaque(s13 ^ s57) ^ Opaque(s24 ^ s68);
}

// One block in place: l, r are the big-endian halves. Decryption uses the
// same schedule backwards.
template <bool kDecrypt>
inline void CryptBlock(const uint32_t* ks, uint32_t& l, uint32_t& r) {
  InitialPermutation(l, r);
  uint32_t a = l, b = r;
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC unroll 8
#endif
  for (int i = 0; i < 16; i += 2) {
    const int k = kDecrypt ? 15 - i : i;
    const int k2 = kDecrypt ? k - 1 : k + 1;
    a ^= Feistel(b, ks[2 * k], ks[2 * k + 1]);
    b ^= Feistel(a, ks[2 * k2], ks[2 * k2 + 1]);
  }
  // The output of the last round is R16 L16.
  l = b;
  r = a;
  FinalPermutation(l, r);
}

// Two independent blocks interleaved, for modes whose blocks do not depend
// on each other (ECB, CBC and CFB deciphering): the processor overlaps the
// two chains of lookups.
template <bool kDecrypt>
inline void CryptBlock2(const uint32_t* ks, uint32_t& l0, uint32_t& r0, uint32_t& l1,
                        uint32_t& r1) {
  InitialPermutation(l0, r0);
  InitialPermutation(l1, r1);
  uint32_t a0 = l0, b0 = r0, a1 = l1, b1 = r1;
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC unroll 8
#endif
  for (int i = 0; i < 16; i += 2) {
    const int k = kDecrypt ? 15 - i : i;
    const int k2 = kDecrypt ? k - 1 : k + 1;
    a0 ^= Feistel(b0, ks[2 * k], ks[2 * k + 1]);
    a1 ^= Feistel(b1, ks[2 * k], ks[2 * k + 1]);
    b0 ^= Feistel(a0, ks[2 * k2], ks[2 * k2 + 1]);
    b1 ^= Feistel(a1, ks[2 * k2], ks[2 * k2 + 1]);
  }
  l0 = b0;
  r0 = a0;
  l1 = b1;
  r1 = a1;
  FinalPermutation(l0, r0);
  FinalPermutation(l1, r1);
}

// The schedule of an 8-byte key (parity bits ignored).
void ExpandKey(const uint8_t key[8], uint32_t ks[kScheduleWords]);

// The schedule between its record form (128 little-endian bytes) and words.
void StoreSchedule(const uint32_t ks[kScheduleWords], uint8_t out[kScheduleBytes]);
void LoadSchedule(const uint8_t in[kScheduleBytes], uint32_t ks[kScheduleWords]);

// ---- CBC over whole blocks and the partial-block rule (des_cbc.cpp) -------
// (cl, cr) is the chaining block (the vector, then the last ciphertext
// block); it is updated for the next call.
void CbcEncrypt(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& cl, uint32_t& cr);
void CbcDecrypt(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& cl, uint32_t& cr);
// XORs the n < 8 bytes at p with the first n bytes of E(cl, cr).
void ResidualTail(const uint32_t* ks, uint8_t* p, size_t n, uint32_t cl, uint32_t cr);

}  // namespace nc::zq::des
