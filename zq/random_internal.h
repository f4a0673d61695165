// Internals of the key generators, for the zq library and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nc::zq {

// True when the DES key (8 bytes, parity bits ignored) is one DESGenKey
// rejects: its key-schedule halves C and D are both periodic with period 4.
bool IsWeakDesKey(const std::uint8_t key[8]);

// A source of random bytes: fills `n` bytes at `out`.
using RandomBytes = void (*)(std::uint8_t* out, std::size_t n, void* context);

// DESGenKey's procedure with its random source passed in (DESGenKey passes
// libgcrypt's strong generator): draw 8 bytes, give each odd parity, and
// draw again while IsWeakDesKey holds.
void GenerateDesKey(std::uint8_t key[8], RandomBytes draw, void* context);

}  // namespace nc::zq
