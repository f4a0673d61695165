// Profile files on POSIX: a small INI reader with the semantics of
// GetPrivateProfileStringA (see platform/profile.h).
#include "platform/profile.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace nc::platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The file a name stands for: a name with a slash as it is, else the name in
// the profile folder, matched without regard to ASCII case when no file has
// exactly that name.
std::string ResolveProfilePath(const char* file) {
  if (std::strchr(file, '/') != nullptr) return file;
  std::string dir = ProfileDirectory();
  std::string exact = dir + "/" + file;
  if (std::ifstream(exact).good()) return exact;
  std::string found = exact;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(d)) {
      if (::strcasecmp(entry->d_name, file) == 0) {
        found = dir + "/" + entry->d_name;
        break;
      }
    }
    ::closedir(d);
  }
  return found;
}

// The value of key in section, or false.
bool FindValue(const std::string& text, std::string_view section, std::string_view key,
               std::string* value) {
  std::string_view rest(text);
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  bool inSection = false;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.find(']');
      std::string_view name =
          line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
      inSection = EqualNoCase(Trim(name), section);
      continue;
    }
    if (!inSection) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (!EqualNoCase(Trim(line.substr(0, eq)), key)) continue;
    std::string_view found = Trim(line.substr(eq + 1));
    if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') &&
        found.back() == found.front()) {
      found = found.substr(1, found.size() - 2);
    }
    value->assign(found);
    return true;
  }
  return false;
}

}  // namespace

std::string ProfileDirectory() {
  const char* dir = std::getenv("NCCORE_PROFILE_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/nccore";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/nccore";
}

std::uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                                const char* defaultValue, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string value;
  bool found = false;
  if (file != nullptr && *file != '\0' && section != nullptr && key != nullptr) {
    std::ifstream in(ResolveProfilePath(file), std::ios::binary);
    if (in) {
      std::ostringstream text;
      text << in.rdbuf();
      found = FindValue(text.str(), Trim(section), Trim(key), &value);
    }
  }
  if (!found) {
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && IsBlank(fallback.back())) fallback.remove_suffix(1);
    value.assign(fallback);
  }
  std::size_t copied = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(buffer, value.data(), copied);
  buffer[copied] = '\0';
  return static_cast<std::uint32_t>(copied);
}

}  // namespace nc::platform
