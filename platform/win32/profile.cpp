// Profile files on Windows: the system's profile API.
#include "platform/profile.h"

#include <cstring>
#include <string>

#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

std::uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                                const char* defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  // A null section or key would list names instead of reading a value, and
  // a null file would read WIN.INI: those get the default, as elsewhere.
  if (file == nullptr || *file == '\0' || section == nullptr || key == nullptr) {
    std::string value = defaultValue != nullptr ? defaultValue : "";
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    if (value.size() > size - 1) value.resize(size - 1);
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<std::uint32_t>(value.size());
  }
  return ::GetPrivateProfileStringA(section, key, defaultValue != nullptr ? defaultValue : "",
                                    buffer, size, file);
}

std::string ProfileDirectory() {
  wchar_t dir[MAX_PATH + 1];
  UINT length = ::GetWindowsDirectoryW(dir, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::string();
  return win32::Narrow(dir, static_cast<int>(length));
}

}  // namespace nc::platform
