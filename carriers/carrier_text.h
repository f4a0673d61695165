// The dongle and token layer's status texts at the boundary: the tables in
// carriers/quadra.cpp and carriers/tessel.cpp are UTF-8 in the source, and
// the texts leave the layer in the library's text encoding (UTF-8 on POSIX,
// code page 1251 on Windows: the one table serves both builds, and the
// conversion is checked natively by the tests).
#pragma once
#include <cstdint>
#include <string>

namespace nc::carriers {

// UTF-8 (ASCII and the Russian alphabet, as the tables hold) to code page
// 1251 (platform/text_1251.h); any other character becomes '?'.
std::string Utf8To1251(const char* utf8);

// Copies `utf8` into `buffer` of `size` bytes in the library's encoding, cut
// to size - 1 bytes without splitting a character, and zero-terminated
// (nothing is written when size is 0). Returns the bytes copied.
std::uint32_t CopyCarrierText(char* buffer, std::uint32_t size, const char* utf8);

}  // namespace nc::carriers
