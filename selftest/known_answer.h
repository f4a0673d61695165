// Known answers as the self-test holds them: hexadecimal text, decoded into
// bytes or into a WordBlock at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zq/word_block.h"

namespace nc::selftest {

// The bytes of an even-length hexadecimal text.
std::vector<uint8_t> Bytes(const char* hex);

// A number written most significant digit first, as a WordBlock with room
// for `capacity` words (its minimal count, at least 1).
void NumberInto(WordBlock* block, unsigned capacity, const char* hex);
template <unsigned N>
WordBlockOf<N> Number(const char* hex) {
  WordBlockOf<N> n{};
  NumberInto(n.get(), N, hex);
  return n;
}

// The words of a WordBlock (count and words) as bytes, for comparison.
std::vector<uint8_t> WordBytes(const WordBlock* block);

}  // namespace nc::selftest

// The known answers themselves.
namespace nc::selftest::answers {
#include "selftest/known_answers.inc"
}  // namespace nc::selftest::answers
