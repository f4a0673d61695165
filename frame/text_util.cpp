#include "frame/text_util.h"

#include <cstring>

namespace nc::frame {

std::size_t CharacterBoundary(const char* text, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
#ifdef _WIN32
  (void)text;
  return limit;  // code page 1251: one byte per character
#else
  // Step back over UTF-8 continuation bytes so the cut falls between
  // characters.
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
#endif
}

std::size_t CharacterPrefix(const char* text, std::size_t maxCharacters) {
  std::size_t length = std::strlen(text);
#ifdef _WIN32
  return length < maxCharacters ? length : maxCharacters;
#else
  std::size_t bytes = 0;
  for (std::size_t characters = 0; bytes < length && characters < maxCharacters; ++characters) {
    ++bytes;
    while (bytes < length && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) ++bytes;
  }
  return bytes;
#endif
}

bool AppendText(char* buffer, std::size_t size, const char* text) {
  std::size_t used = std::strlen(buffer);
  std::size_t length = std::strlen(text);
  if (used + 1 >= size) return length == 0;
  std::size_t n = CharacterBoundary(text, length, size - 1 - used);
  std::memcpy(buffer + used, text, n);
  buffer[used + n] = '\0';
  return n == length;
}

}  // namespace nc::frame
