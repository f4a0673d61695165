// DES core: the FIPS 46-3 tables, the combined lookup tables derived from
// them at compile time, and the key schedule.
#include "zq/des_core.h"

#include <cstring>

#include "zq/des.h"
#include "zq/wipe.h"

namespace nc::zq::des {
namespace {

// ---- FIPS 46-3 tables (bit numbers count from 1 at the most significant) ---

// The eight S-boxes, row by row (row = outer bits b1 b6, column = b2..b5).
constexpr uint8_t kSbox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// The permutation P applied to the S-box outputs.
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// Permuted choice 1: key bits into C (first 28) and D (last 28).
constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                              10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                              63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                              14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

// Permuted choice 2: C D into the 48-bit round key.
constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

// Left rotations of C and D before each round.
constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// ---- derived tables ----------------------------------------------------------

constexpr uint32_t PermuteP(uint32_t s) {
  uint32_t out = 0;
  for (int i = 0; i < 32; ++i) out |= ((s >> (32 - kP[i])) & 1u) << (31 - i);
  return out;
}

constexpr SpTables MakeSpTables() {
  SpTables sp{};
  for (int j = 0; j < 8; ++j) {
    for (uint32_t x = 0; x < 64; ++x) {
      const uint32_t row = ((x >> 4) & 2u) | (x & 1u);
      const uint32_t col = (x >> 1) & 15u;
      const uint32_t s = uint32_t{kSbox[j][row * 16 + col]} << (28 - 4 * j);
      const uint32_t f = PermuteP(s);
      sp.t[j][x] = (f >> 3) | (f << 29);
    }
  }
  return sp;
}

// Spot checks against FIPS 46-3 S1: S1(0) = 14, S1(63) = 13 (row 3, col 15).
static_assert(kSbox[0][0] == 14 && kSbox[0][63] == 13 && kSbox[7][63] == 11);
static_assert(PermuteP(0x80000000u) == 1u << (32 - 9), "P moves bit 1 to position 9");

}  // namespace

constinit const SpTables kSp = MakeSpTables();

// ---- key schedule -------------------------------------------------------------
// Runs once per key, so it follows the standard's bit-by-bit description.

void ExpandKey(const uint8_t key[8], uint32_t ks[kScheduleWords]) {
  auto key_bit = [key](int n) -> uint32_t {  // n = 1..64
    return (key[(n - 1) / 8] >> (7 - (n - 1) % 8)) & 1u;
  };
  uint32_t c = 0, d = 0;  // 28 bits each, bit 1 at the top (bit 27)
  for (int i = 0; i < 28; ++i) c = (c << 1) | key_bit(kPc1[i]);
  for (int i = 28; i < 56; ++i) d = (d << 1) | key_bit(kPc1[i]);

  for (int round = 0; round < 16; ++round) {
    const unsigned s = kShifts[round];
    c = ((c << s) | (c >> (28 - s))) & 0x0fffffffu;
    d = ((d << s) | (d >> (28 - s))) & 0x0fffffffu;
    auto cd_bit = [c, d](int n) -> uint32_t {  // n = 1..56
      return n <= 28 ? (c >> (28 - n)) & 1u : (d >> (56 - n)) & 1u;
    };
    uint32_t group[8] = {};
    for (int i = 0; i < 48; ++i) group[i / 6] = (group[i / 6] << 1) | cd_bit(kPc2[i]);
    ks[2 * round] = group[0] << 24 | group[2] << 16 | group[4] << 8 | group[6];
    ks[2 * round + 1] = group[1] << 24 | group[3] << 16 | group[5] << 8 | group[7];
    SecureWipe(group, sizeof group);
  }
  SecureWipe(&c, sizeof c);
  SecureWipe(&d, sizeof d);
}

void StoreSchedule(const uint32_t ks[kScheduleWords], uint8_t out[kScheduleBytes]) {
  for (size_t i = 0; i < kScheduleWords; ++i) {
    for (size_t b = 0; b < 4; ++b) out[4 * i + b] = static_cast<uint8_t>(ks[i] >> (8 * b));
  }
}

void LoadSchedule(const uint8_t in[kScheduleBytes], uint32_t ks[kScheduleWords]) {
  for (size_t i = 0; i < kScheduleWords; ++i) {
    ks[i] = uint32_t{in[4 * i]} | uint32_t{in[4 * i + 1]} << 8 | uint32_t{in[4 * i + 2]} << 16 |
            uint32_t{in[4 * i + 3]} << 24;
  }
}

}  // namespace nc::zq::des

// ---- DESEdk ------------------------------------------------------------------

extern "C" void ZQAPI DESEdk(DesKeyContext* key) {
  using namespace nc::zq::des;
  if (key == nullptr) return;
  uint8_t bytes[8];
  uint32_t ks[kScheduleWords];
  std::memcpy(bytes, key->key, sizeof bytes);
  ExpandKey(bytes, ks);
  StoreSchedule(ks, key->schedule);
  nc::SecureWipe(bytes, sizeof bytes);
  nc::SecureWipe(ks, sizeof ks);
}
