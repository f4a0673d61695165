// Status texts from the UTF-8 tables into the library's encoding.
#include "carriers/carrier_text.h"

#include <cstring>

namespace nc::carriers {

std::string Utf8To1251(const char* utf8) {
  std::string out;
  if (utf8 == nullptr) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p != 0) {
    unsigned char c = *p;
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++p;
      continue;
    }
    // The length of the sequence from its lead byte; a broken sequence
    // counts as one unknown character per byte.
    int length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    unsigned code = length == 2 ? c & 0x1Fu : length == 3 ? c & 0x0Fu : c & 0x07u;
    int got = 1;
    while (got < length && (p[got] & 0xC0) == 0x80) {
      code = (code << 6) | (p[got] & 0x3Fu);
      ++got;
    }
    p += got;
    if (got != length || length == 1) {
      out += '?';
    } else if (code >= 0x410 && code <= 0x44F) {
      out += static_cast<char>(0xC0 + (code - 0x410));
    } else if (code == 0x401) {
      out += static_cast<char>(0xA8);
    } else if (code == 0x451) {
      out += static_cast<char>(0xB8);
    } else {
      out += '?';
    }
  }
  return out;
}

std::uint32_t CopyCarrierText(char* buffer, std::uint32_t size, const char* utf8) {
  if (buffer == nullptr || size == 0) return 0;
#ifdef _WIN32
  std::string text = Utf8To1251(utf8);
  std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
#else
  std::string text = utf8 != nullptr ? utf8 : "";
  std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  // Back off to the start of a character.
  while (length > 0 && length < text.size() &&
         (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
    --length;
  }
#endif
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<std::uint32_t>(length);
}

}  // namespace nc::carriers
