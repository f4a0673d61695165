// The library's text encoding (see library_text.h).
#include "platform/library_text.h"

#include <cstring>

#include "platform/text_1251.h"

namespace nc::platform {

std::string LibraryText(const char* utf8) {
#ifdef _WIN32
  return Utf8To1251(utf8);
#else
  return utf8 != nullptr ? std::string(utf8) : std::string();
#endif
}

std::size_t CopyLibraryText(char* buffer, std::size_t size, const char* utf8) {
  if (buffer == nullptr || size == 0) return 0;
  std::string text = LibraryText(utf8);
  std::size_t length = CharacterBoundary(text.data(), text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return length;
}

bool IsContinuationByte(char c) {
#ifdef _WIN32
  (void)c;
  return false;  // code page 1251: one byte per character
#else
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
#endif
}

std::size_t CharacterBoundary(const char* text, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
  // Step back over continuation bytes so the cut falls between characters.
  std::size_t cut = limit;
  while (cut > 0 && IsContinuationByte(text[cut])) --cut;
  return cut;
}

std::size_t CharacterPrefix(const char* text, std::size_t maxCharacters) {
  std::size_t length = std::strlen(text);
  std::size_t bytes = 0;
  for (std::size_t characters = 0; bytes < length && characters < maxCharacters; ++characters) {
    ++bytes;
    while (bytes < length && IsContinuationByte(text[bytes])) ++bytes;
  }
  return bytes;
}

}  // namespace nc::platform
