// The texts come from the STRINGTABLE of the module holding this code
// (generated from res/strings.txt) and are handed out in code page 1251.
#include "platform/string_table.h"

#include <cstring>

#include "platform/library_text.h"
#include "platform/win32/module.h"
#include "platform/win32/startup.h"
#include "platform/win32/text_convert.h"

namespace nc::platform {

std::string LoadText(int id) {
  std::string loaded;
  if (platform::win32::StartUpText(id, &loaded)) return loaded;
  // With a zero buffer size LoadStringW hands out a pointer to the resource
  // text itself, which is not terminated; the return value is its length.
  const wchar_t* text = nullptr;
  DWORD error = ::GetLastError();
  int length = ::LoadStringW(platform::win32::LibraryModule(), static_cast<UINT>(id),
                             reinterpret_cast<LPWSTR>(&text), 0);
  ::SetLastError(error);  // a missing text is not an error of the operation
  if (length <= 0 || text == nullptr) return std::string();
  return platform::win32::Narrow(text, length);
}

std::size_t LoadText(int id, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string text = LoadText(id);
  std::size_t n = platform::CharacterBoundary(text.data(), text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

}  // namespace nc::platform
