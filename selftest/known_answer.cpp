#include "selftest/known_answer.h"

#include <cstring>

namespace nc::selftest {
namespace {

unsigned Digit(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

}  // namespace

std::vector<uint8_t> Bytes(const char* hex) {
  std::vector<uint8_t> out(std::strlen(hex) / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint8_t>(Digit(hex[2 * i]) << 4 | Digit(hex[2 * i + 1]));
  return out;
}

void NumberInto(WordBlock* block, unsigned capacity, const char* hex) {
  std::memset(block->words, 0, capacity * sizeof(uint32_t));
  size_t digits = std::strlen(hex);
  for (size_t i = 0; i < digits && i / 8 < capacity; ++i)  // the last digit first
    block->words[i / 8] |= Digit(hex[digits - 1 - i]) << (4 * (i % 8));
  unsigned count = capacity;
  while (count > 1 && block->words[count - 1] == 0) --count;
  block->count = count;
}

std::vector<uint8_t> WordBytes(const WordBlock* block) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(block);
  return std::vector<uint8_t>(p, p + 4 * (size_t{block->count} + 1));
}

}  // namespace nc::selftest
