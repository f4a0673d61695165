// The texts compiled in from res/strings.txt (UTF-8).
#include "platform/string_table.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/library_text.h"

namespace nc::platform {

namespace {

struct Entry {
  int id;
  const char* text;
};

constexpr Entry kTable[] = {
#include "string_table.inc"
};

const char* Find(int id) {
  for (const Entry& e : kTable)
    if (e.id == id) return e.text;
  return nullptr;
}

}  // namespace

std::string LoadText(int id) {
  const char* text = Find(id);
  return text != nullptr ? std::string(text) : std::string();
}

std::size_t LoadText(int id, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const char* text = Find(id);
  if (text == nullptr) text = "";
  std::size_t n = platform::CharacterBoundary(text, std::strlen(text), size - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return n;
}

}  // namespace nc::platform
