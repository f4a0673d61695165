// The random generator's health check: 2560 bytes from zq_rnd must pass
// tests that a working generator fails with a probability below 2^-29 over
// the whole run, and that a stuck or badly biased one fails at once:
//   - no 16-byte block equal to the one before it (a stuck generator);
//   - no byte value six times in a row (repetition count: 2^-40 at each of
//     the 2560 places for 8 bits of entropy a byte);
//   - no byte value 20 times or more in a 512-byte window, counting the
//     window's first byte (adaptive proportion: below 2^-40 a window);
//   - the number of ones within six standard deviations of half the bits.
// The key generators' outputs are checked for their form as well.
#include <cstring>

#include "selftest/self_test.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::selftest {
namespace {

constexpr size_t kBytes = 2560;
constexpr size_t kWindow = 512;

bool Draw(uint8_t* out) {
  WordBlockOf<64> block{};
  for (size_t done = 0; done < kBytes; done += sizeof block.words) {
    block.count = 64;
    zq_rnd(block.get());
    if (block.count != 64) return false;
    std::memcpy(out + done, block.words, sizeof block.words);
  }
  SecureWipe(&block, sizeof block);
  return true;
}

bool NoStuckBlock(const uint8_t* data) {
  for (size_t i = 16; i + 16 <= kBytes; i += 16)
    if (std::memcmp(data + i - 16, data + i, 16) == 0) return false;
  return true;
}

bool NoLongRepetition(const uint8_t* data) {
  size_t run = 1;
  for (size_t i = 1; i < kBytes; ++i) {
    run = data[i] == data[i - 1] ? run + 1 : 1;
    if (run >= 6) return false;
  }
  return true;
}

bool NoCommonValue(const uint8_t* data) {
  for (size_t start = 0; start + kWindow <= kBytes; start += kWindow) {
    size_t count = 0;
    for (size_t i = start; i < start + kWindow; ++i) count += data[i] == data[start];
    if (count >= 20) return false;
  }
  return true;
}

bool BalancedBits(const uint8_t* data) {
  size_t ones = 0;
  for (size_t i = 0; i < kBytes; ++i)
    for (uint8_t b = data[i]; b != 0; b &= static_cast<uint8_t>(b - 1)) ++ones;
  const size_t half = kBytes * 4, limit = 430;  // six deviations of 20480 bits
  return ones > half - limit && ones < half + limit;
}

// DESGenKey: two words of odd-parity bytes; GOSGenKey: eight words. Two
// draws of each differ.
bool KeyForms() {
  WordBlockOf<2> des[2] = {};
  WordBlockOf<8> gost[2] = {};
  bool ok = true;
  for (int i = 0; i < 2; ++i) {
    DESGenKey(des[i].get());
    GOSGenKey(gost[i].get());
    ok = ok && des[i].count == 2 && gost[i].count == 8;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(des[i].words);
    for (int b = 0; b < 8; ++b) ok = ok && __builtin_parity(bytes[b]) == 1;
  }
  ok = ok && std::memcmp(des[0].words, des[1].words, 8) != 0 &&
       std::memcmp(gost[0].words, gost[1].words, 32) != 0;
  SecureWipe(des, sizeof des);
  SecureWipe(gost, sizeof gost);
  return ok;
}

}  // namespace

void RunRandomHealthCheck(Session& session) {
  uint8_t data[kBytes];
  const bool ok = Draw(data) && NoStuckBlock(data) && NoLongRepetition(data) &&
                  NoCommonValue(data) && BalancedBits(data) && KeyForms();
  SecureWipe(data, sizeof data);
  session.Result("random generator health check", ok);
}

}  // namespace nc::selftest
