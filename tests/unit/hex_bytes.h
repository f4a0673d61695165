// Byte strings written as hexadecimal in the primitives' tests.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace nc::test {

// The bytes of `text`'s hexadecimal digits, two per byte; any other
// character (blanks grouping the blocks) is skipped.
inline std::vector<std::uint8_t> Hex(std::string_view text) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char ch : text) {
    int v;
    if (ch >= '0' && ch <= '9') {
      v = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
      v = ch - 'a' + 10;
    } else if (ch >= 'A' && ch <= 'F') {
      v = ch - 'A' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

}  // namespace nc::test
