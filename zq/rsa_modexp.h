// The one modular exponentiation for secret exponents: r = b^x mod n,
// constant-time in b and x.
//
// Preconditions: n is odd (Montgomery reduction needs an inverse of n modulo
// 2^32), 1 <= nWords <= 64, xWords <= 64, and b < n. Numbers are uint32
// arrays, least significant word first; n may carry leading zero words.
//
// What the running time and the memory accesses depend on: nWords and xWords
// only. Montgomery products over exactly nWords words; a fixed 4-bit window
// that processes all 32 * xWords bits of x (leading zero bits included) with
// a multiplication per window whatever its value; table entries read by
// scanning the whole table with masks; no branch on b, x or an intermediate
// value. Callers that want to hide an exponent's length pad it to a fixed
// word count.
#pragma once

#include <cstdint>

namespace nc::zq {

constexpr uint32_t kModExpMaxWords = 64;

// r (nWords words) = b^x mod n. Returns false, leaving r untouched, when n is
// even or a count is out of range. r may alias b or x.
bool ModExpConstTime(uint32_t* r, const uint32_t* b, const uint32_t* x, uint32_t xWords,
                     const uint32_t* n, uint32_t nWords);

}  // namespace nc::zq
