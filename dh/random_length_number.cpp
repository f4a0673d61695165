#include "dh/random_length_number.h"

#include "zq/zq.h"

namespace nc::dh {

std::uint32_t RandomBitLength(std::uint32_t lo, std::uint32_t hi) {
  WordBlockOf<1> r{1, {0}};
  WordBlockOf<1> m{1, {hi - lo + 1}};
  zq_rnd(r.get());
  zq_mod(m.get(), r.get(), m.get());
  return lo + m.words[0];
}

void RandomLengthNumber(Number& x, std::uint32_t lo, std::uint32_t hi) {
  std::uint32_t bits = RandomBitLength(lo, hi);
  x.count = (bits + 31) / 32;
  zq_rnd(x.get());
  zq_shr(x.get(), (32 - bits % 32) % 32);
}

}  // namespace nc::dh
