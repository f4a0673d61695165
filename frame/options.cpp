// The option scanner shared by the operations.
#include "frame/options.h"

#include <cstring>

namespace nc::frame {

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `text` starts with `option`, ASCII letters folded. Stops at the
// end of `text`, so it never reads past the string.
bool MatchesPrefix(const char* text, const char* option, std::size_t* length) {
  std::size_t i = 0;
  for (; option[i] != '\0'; ++i)
    if (text[i] == '\0' || Fold(text[i]) != Fold(option[i])) return false;
  *length = i;
  return true;
}

// The number after "/CFB:" and the like, clamped to INT_MAX; kBadNumber
// when there is none.
int ReadSuffixNumber(const char* p) {
  std::uint32_t value = 0;
  if (!ReadDecimal(&p, &value)) return kBadNumber;
  return value > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(value);
}

}  // namespace

bool ReadDecimal(const char** text, std::uint32_t* value) {
  const char* p = *text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  std::uint64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull + 1;  // saturate, stays out of range
  }
  std::uint32_t u = v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
  *value = negative ? 0u - u : u;
  *text = p;
  return true;
}

bool ReadDecimalRange(const char* text, std::uint32_t* lo, std::uint32_t* hi) {
  const char* p = text;
  if (!ReadDecimal(&p, lo) || *p != '-') return false;
  ++p;
  return ReadDecimal(&p, hi);
}

bool ReadBoundedRange(const char* text, std::uint32_t min, std::uint32_t max, std::uint32_t* lo,
                      std::uint32_t* hi) {
  std::uint32_t l = 0, h = 0;
  if (!ReadDecimalRange(text, &l, &h) || l > h || l < min || h > max) return false;
  *lo = l;
  *hi = h;
  return true;
}

char* CopyNameToken(const char* source, char* destination, std::size_t size) {
  if (size == 0) return destination;
  const char* p = source;
  char end = '\0';
  if (*p == '"') {
    ++p;
    end = '"';
  }
  std::size_t n = 0;
  while (n + 1 < size && p[n] != '\0' && p[n] != end) {
    destination[n] = p[n];
    ++n;
  }
  destination[n] = '\0';
  return destination;
}

const char* SkipNameToken(const char* source, std::size_t size) {
  // The token's characters as CopyNameToken takes them, then two more for
  // the quotes; never beyond the end of the string (an unquoted token, or a
  // quoted one without its closing quote, ends the scan).
  std::size_t length = std::strlen(source);
  std::size_t copied = 0;
  const char* p = source + (*source == '"' ? 1 : 0);
  char end = *source == '"' ? '"' : '\0';
  while (copied + 1 < size && p[copied] != '\0' && p[copied] != end) ++copied;
  std::size_t resume = copied + 2;
  return source + (resume < length ? resume : length);
}

bool ScanOptions(const char* options, const OptionSpec* table, std::size_t tableSize,
                 std::size_t nameBufferSize, OptionHandler handler, void* context) {
  const char* p = options != nullptr ? options : "";
  for (;;) {
    while (*p == ' ') ++p;
    if (*p == '\0') return true;
    OptionHit hit{-1, nullptr, -1};
    std::size_t length = 0;
    for (std::size_t i = 0; i < tableSize; ++i) {
      if (MatchesPrefix(p, table[i].text, &length)) {
        hit.index = static_cast<int>(i);
        break;
      }
    }
    if (hit.index < 0) {
      hit.nameStart = p;
      if (!handler(context, hit)) return false;
      p = SkipNameToken(p, nameBufferSize);
      continue;
    }
    p += length;
    switch (table[hit.index].arg) {
      case OptionArg::None:
        break;
      case OptionArg::Name:
      case OptionArg::ToBlank:
        hit.nameStart = p;
        break;
      case OptionArg::Number:
        // A colon and a number read as "%u"; the scanner moves on by two
        // characters whatever the number's length (but not past the end).
        if (p[0] == ':') {
          hit.number = ReadSuffixNumber(p + 1);
          p += p[1] != '\0' ? 2 : 1;
        }
        break;
    }
    if (!handler(context, hit)) return false;
    if (table[hit.index].arg == OptionArg::Name) p = SkipNameToken(p, nameBufferSize);
    if (table[hit.index].arg == OptionArg::ToBlank) {
      const char* blank = std::strchr(p, ' ');
      p = blank != nullptr ? blank + 1 : p + std::strlen(p);
    }
  }
}

}  // namespace nc::frame
