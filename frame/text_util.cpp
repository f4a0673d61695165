#include "frame/text_util.h"

#include <cstring>

namespace nc::frame {

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
