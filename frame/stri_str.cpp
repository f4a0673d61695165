// intSTRIStr: case-insensitive (ASCII letters) search of a pattern.
#include <cstring>

#include "nccore21.h"

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

extern "C" NCEXPORT char* NCAPI intSTRIStr(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::size_t textLength = std::strlen(text);
  std::size_t patternLength = std::strlen(pattern);
  if (patternLength > textLength) return nullptr;
  for (std::size_t at = 0; at + patternLength <= textLength; ++at) {
    std::size_t i = 0;
    while (i < patternLength && Fold(text[at + i]) == Fold(pattern[i])) ++i;
    if (i == patternLength) return const_cast<char*>(text + at);
  }
  return nullptr;
}
