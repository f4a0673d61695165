// The settings store on POSIX: the registry's key/value model in one text
// file (format in platform/settings.h). Every change reads the file, edits
// it in memory and writes a new file that is renamed over the old one, all
// under an flock() on a lock file beside it, so concurrent writers in other
// processes neither lose each other's changes nor leave a half-written file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/settings.h"

namespace nc::platform {

namespace {

struct Value {
  std::string name;
  bool isDword = false;
  std::uint32_t dword = 0;
  std::string text;
};

struct Key {
  std::string path;
  std::vector<Value> values;
};

using Store = std::vector<Key>;

// ---- names -------------------------------------------------------------------

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// "A\\B\\" and "\\A\\B" name the key A\B; empty parts are dropped.
std::string NormaliseKey(const char* key) {
  std::string out;
  std::string part;
  auto flush = [&] {
    if (part.empty()) return;
    if (!out.empty()) out += '\\';
    out += part;
    part.clear();
  };
  for (const char* p = key; *p != '\0'; ++p) {
    if (*p == '\\') {
      flush();
    } else {
      part += *p;
    }
  }
  flush();
  return out;
}

// True when `path` lies inside `parent` (or is it, when `orSelf`).
bool IsBelow(const std::string& path, const std::string& parent, bool orSelf) {
  if (path.size() == parent.size()) return orSelf && SameName(path, parent);
  if (path.size() < parent.size() + 1 || path[parent.size()] != '\\') return false;
  return SameName(path.substr(0, parent.size()), parent);
}

// ---- the file ------------------------------------------------------------------

std::string StorePath() {
  if (const char* path = std::getenv("NCCORE_SETTINGS"); path != nullptr && *path != '\0') {
    return path;
  }
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  return base + "/nccore/settings.ini";
}

// Creates the folders above `path` (mode 0700 for new ones).
void MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + '"';
}

// Reads a quoted text at line[*at] (the opening quote); false when the text
// is not closed.
bool Unquote(const std::string& line, std::size_t* at, std::string* text) {
  if (*at >= line.size() || line[*at] != '"') return false;
  text->clear();
  for (std::size_t i = *at + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *at = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < line.size()) {
      char next = line[++i];
      *text += next == 'n' ? '\n' : next;
    } else {
      *text += c;
    }
  }
  return false;
}

bool ParseDword(const std::string& digits, std::uint32_t* value) {
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
      d = LowerAscii(c) - 'a' + 10;
    } else {
      return false;
    }
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *value = v;
  return true;
}

// Lines that do not parse are skipped: a damaged line costs that value only.
Store Load(const std::string& path) {
  Store store;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  Key* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == ';' || line[start] == '#') continue;
    if (line[start] == '[') {
      std::size_t end = line.rfind(']');
      if (end == std::string::npos || end <= start) {
        current = nullptr;
        continue;
      }
      std::string keyPath = NormaliseKey(line.substr(start + 1, end - start - 1).c_str());
      current = nullptr;
      for (Key& key : store) {
        if (SameName(key.path, keyPath)) current = &key;
      }
      if (current == nullptr) {
        store.push_back(Key{keyPath, {}});
        current = &store.back();
      }
      continue;
    }
    if (current == nullptr) continue;
    Value value;
    std::size_t at = start;
    if (!Unquote(line, &at, &value.name) || at >= line.size() || line[at] != '=') continue;
    ++at;
    if (line.compare(at, 6, "dword:") == 0) {
      value.isDword = true;
      if (!ParseDword(line.substr(at + 6), &value.dword)) continue;
    } else if (!Unquote(line, &at, &value.text)) {
      continue;
    }
    bool replaced = false;
    for (Value& old : current->values) {
      if (SameName(old.name, value.name)) {
        old = value;
        replaced = true;
      }
    }
    if (!replaced) current->values.push_back(value);
  }
  return store;
}

bool Save(const std::string& path, const Store& store) {
  std::ostringstream out;
  for (const Key& key : store) {
    out << '[' << key.path << "]\n";
    for (const Value& value : key.values) {
      out << Quote(value.name) << '=';
      if (value.isDword) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(value.dword));
        out << digits << '\n';
      } else {
        out << Quote(value.text) << '\n';
      }
    }
    out << '\n';
  }
  std::string text = out.str();
  std::string temporary = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bool ok = done == text.size() && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

// Holds the store's lock file for one read-modify-write.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) {
    MakeParentFolders(path);
    std::string lockPath = path + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      int r;
      do {
        r = ::flock(fd_, LOCK_EX);
      } while (r != 0 && errno == EINTR);
    }
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

Key* FindKey(Store& store, const std::string& path) {
  for (Key& key : store) {
    if (SameName(key.path, path)) return &key;
  }
  return nullptr;
}

// Adds the key and every missing parent, parents first.
Key& AddKey(Store& store, const std::string& path) {
  for (std::size_t slash = path.find('\\'); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    std::string parent = path.substr(0, slash);
    if (FindKey(store, parent) == nullptr) store.push_back(Key{parent, {}});
  }
  if (Key* key = FindKey(store, path)) return *key;
  store.push_back(Key{path, {}});
  return store.back();
}

std::optional<Value> FindValue(const char* key, const char* name) {
  if (key == nullptr || name == nullptr) return std::nullopt;
  Store store = Load(StorePath());
  Key* found = FindKey(store, NormaliseKey(key));
  if (found == nullptr) return std::nullopt;
  for (const Value& value : found->values) {
    if (SameName(value.name, name)) return value;
  }
  return std::nullopt;
}

// Runs `edit` on the loaded store under the lock and saves the result when
// `edit` says it changed something.
template <typename Edit>
bool Modify(Edit edit) {
  std::string path = StorePath();
  StoreLock lock(path);
  if (!lock.held()) {
    SetLastErrorCode(kErrorAccessDenied);
    return false;
  }
  Store store = Load(path);
  bool changed = false;
  if (!edit(store, &changed)) return false;
  if (changed && !Save(path, store)) {
    SetLastErrorCode(kErrorAccessDenied);
    return false;
  }
  return true;
}

bool WriteValue(const char* key, const Value& value) {
  if (key == nullptr) return false;
  std::string path = NormaliseKey(key);
  if (path.empty()) return false;
  return Modify([&](Store& store, bool* changed) {
    Key& target = AddKey(store, path);
    for (Value& old : target.values) {
      if (SameName(old.name, value.name)) {
        std::string spelling = old.name;
        old = value;
        old.name = spelling;
        *changed = true;
        return true;
      }
    }
    target.values.push_back(value);
    *changed = true;
    return true;
  });
}

}  // namespace

bool SettingsKeyExists(const char* key) {
  if (key == nullptr) return false;
  Store store = Load(StorePath());
  return FindKey(store, NormaliseKey(key)) != nullptr;
}

bool CreateSettingsKey(const char* key) {
  if (key == nullptr) return false;
  std::string path = NormaliseKey(key);
  if (path.empty()) return false;
  return Modify([&](Store& store, bool* changed) {
    if (FindKey(store, path) == nullptr) {
      AddKey(store, path);
      *changed = true;
    }
    return true;
  });
}

bool ReadSettingDword(const char* key, const char* name, std::uint32_t* value) {
  std::optional<Value> found = FindValue(key, name);
  if (!found || !found->isDword) return false;
  if (value != nullptr) *value = found->dword;
  return true;
}

bool WriteSettingDword(const char* key, const char* name, std::uint32_t value) {
  if (name == nullptr) return false;
  Value v;
  v.name = name;
  v.isDword = true;
  v.dword = value;
  return WriteValue(key, v);
}

bool ReadSettingText(const char* key, const char* name, std::string* value) {
  std::optional<Value> found = FindValue(key, name);
  if (!found || found->isDword) return false;
  if (value != nullptr) *value = found->text;
  return true;
}

bool WriteSettingText(const char* key, const char* name, const char* value) {
  if (name == nullptr || value == nullptr) return false;
  Value v;
  v.name = name;
  v.text = value;
  return WriteValue(key, v);
}

bool DeleteSettingValue(const char* key, const char* name) {
  if (key == nullptr || name == nullptr) return false;
  std::string path = NormaliseKey(key);
  return Modify([&](Store& store, bool* changed) {
    Key* target = FindKey(store, path);
    if (target == nullptr) return true;
    for (auto it = target->values.begin(); it != target->values.end(); ++it) {
      if (SameName(it->name, name)) {
        target->values.erase(it);
        *changed = true;
        break;
      }
    }
    return true;
  });
}

bool DeleteSettingsKey(const char* key) {
  if (key == nullptr) return false;
  std::string path = NormaliseKey(key);
  if (path.empty()) return false;
  return Modify([&](Store& store, bool* changed) {
    for (auto it = store.begin(); it != store.end();) {
      if (IsBelow(it->path, path, true)) {
        it = store.erase(it);
        *changed = true;
      } else {
        ++it;
      }
    }
    return true;
  });
}

}  // namespace nc::platform
