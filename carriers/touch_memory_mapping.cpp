// The memory-mapping parser (see touch_memory_mapping.h).
#include "carriers/touch_memory_mapping.h"

#include <cstring>

namespace nc::carriers {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An unsigned decimal number after optional blanks; saturates instead of
// wrapping, so an overlong number fails the range check rather than
// turning into a small one.
bool ReadNumber(const char*& p, std::uint32_t* value) {
  while (IsBlank(*p)) ++p;
  if (!IsDigit(*p)) return false;
  std::uint32_t n = 0;
  while (IsDigit(*p)) {
    std::uint32_t digit = static_cast<std::uint32_t>(*p - '0');
    n = n > (0xFFFFFFFFu - digit) / 10 ? 0xFFFFFFFFu : n * 10 + digit;
    ++p;
  }
  *value = n;
  return true;
}

// Passes blanks and digits; true when it stops at one of `ends` (a 0 in
// `ends` stands for the end of the text).
bool SkipTo(const char*& p, char end1, char end2) {
  while (IsBlank(*p) || IsDigit(*p)) ++p;
  return *p == end1 || *p == end2;
}

}  // namespace

bool TmParseMapping(const char* text, std::uint32_t lastAddress, std::uint8_t* bitmap) {
  if (text == nullptr || bitmap == nullptr || lastAddress >= kTmMappingBitmapBytes * 8) {
    return false;
  }
  std::uint8_t work[kTmMappingBitmapBytes];
  std::memset(work, 0xFF, sizeof work);
  const char* p = text;
  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    std::uint32_t first = 0, last = 0;
    if (!ReadNumber(p, &first) || !SkipTo(p, '-', '-')) return false;
    ++p;  // the '-'
    if (!ReadNumber(p, &last) || !SkipTo(p, ',', '\0')) return false;
    if (*p == ',') ++p;
    if (first > last || last > lastAddress) return false;
    for (std::uint32_t a = first; a <= last; ++a) {
      work[a / 8] = static_cast<std::uint8_t>(work[a / 8] & ~(1u << (a % 8)));
    }
  }
  std::memcpy(bitmap, work, (lastAddress + 1) / 8);
  return true;
}

}  // namespace nc::carriers
