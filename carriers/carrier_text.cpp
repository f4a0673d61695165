// Status texts from the UTF-8 tables into the library's encoding.
#include "carriers/carrier_text.h"

#include <cstring>

#include "platform/text_1251.h"

namespace nc::carriers {

std::string Utf8To1251(const char* utf8) {
  // The layer's tables hold ASCII and the Russian alphabet only: anything
  // else shows as '?', never as the code page's punctuation or signs.
  std::string out = platform::Utf8To1251(utf8);
  for (char& c : out) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xC0 && byte != 0xA8 && byte != 0xB8) c = '?';
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
