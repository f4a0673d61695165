// Random numbers of a random length, for the Diffie-Hellman common numbers
// and secret keys.
#pragma once
#include <cstdint>

#include "zq/word_block.h"

namespace nc::dh {

inline constexpr unsigned kNumberWords = 64;
using Number = WordBlockOf<kNumberWords>;

// A bit length drawn uniformly from lo..hi (one random word, reduced modulo
// hi - lo + 1).
std::uint32_t RandomBitLength(std::uint32_t lo, std::uint32_t hi);

// X = a random number below 2^bits, bits drawn from lo..hi: (bits + 31) / 32
// random words with the surplus high bits shifted out. The top bit is not
// forced, so X may be shorter than bits. Requires 1 <= lo <= hi <= 2048.
void RandomLengthNumber(Number& x, std::uint32_t lo, std::uint32_t hi);

}  // namespace nc::dh
