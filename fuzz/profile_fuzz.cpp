// Fuzz harness: profile files ("TavoTM.INI"). The input is the file; the
// Touch Memory library's five mapping keys and every section and key name
// the input's lines could spell are read through ReadProfileString into
// buffers of several sizes, each exactly that large (AddressSanitizer sees
// a write past it). Checks, on every platform: the copy is terminated
// within the buffer and its length is what was returned; a missing value
// gives the default without its trailing blanks. On POSIX, where the reader
// is the library's own, the value is also compared with a second reading
// of the grammar written here (platform/profile.h), and a shorter buffer
// holds the front of the whole value.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/profile.h"

namespace {

constexpr const char* kDefault = "default  ";
constexpr std::string_view kDefaultTrimmed = "default";

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

std::string Stripped(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && Blank(s[a])) ++a;
  while (b > a && Blank(s[b - 1])) --b;
  return std::string(s.substr(a, b - a));
}

[[maybe_unused]] bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (low(a[i]) != low(b[i])) return false;
  }
  return true;
}

struct Line {
  std::string text;  // without its blanks around
};

std::vector<Line> Lines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back({Stripped(text.substr(start, end - start))});
    start = end + 1;
  }
  return lines;
}

#ifndef _WIN32
// The grammar read a second way: in file order, the first "key=value" line
// of the key inside a section of that name (every "[name]" line of it opens
// the section again).
std::optional<std::string> Reference(const std::vector<Line>& lines, const std::string& section,
                                     const std::string& key) {
  const std::string wantSection = Stripped(section), wantKey = Stripped(key);
  bool inside = false;
  for (const Line& line : lines) {
    const std::string& t = line.text;
    if (t.empty() || t[0] == ';') continue;
    if (t[0] == '[') {
      std::size_t close = t.find(']');
      std::string name = close == std::string::npos ? t.substr(1) : t.substr(1, close - 1);
      inside = SameNoCase(Stripped(name), wantSection);
      continue;
    }
    if (!inside) continue;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos || !SameNoCase(Stripped(t.substr(0, eq)), wantKey)) continue;
    std::string value = Stripped(t.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::nullopt;
}
#endif

// Reads into a buffer of exactly `size` bytes; checks its form.
std::string Read(const char* path, const std::string& section, const std::string& key,
                 std::uint32_t size) {
  std::unique_ptr<char[]> buffer(new char[size]);
  std::memset(buffer.get(), '#', size);
  std::uint32_t n = nc::platform::ReadProfileString(path, section.c_str(), key.c_str(), kDefault,
                                                    buffer.get(), size);
  FUZZ_CHECK(n < size);
  FUZZ_CHECK(buffer[n] == '\0');
  return std::string(buffer.get(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile scratch("profile");
  scratch.Write(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<Line> lines = Lines(text);

  // (section, key) pairs: the library's own and those the input spells.
  std::vector<std::pair<std::string, std::string>> queries;
  for (const char* key :
       {"MappingDS1992", "MappingDS1993", "MappingDS1994", "MappingDS1995", "MappingDS1996"})
    queries.emplace_back("DeviceMemoryMapping", key);
  std::string section = "DeviceMemoryMapping";
  for (const Line& line : lines) {
    if (queries.size() >= 48) break;
    const std::string& t = line.text;
    if (!t.empty() && t[0] == '[') {
      std::size_t close = t.find(']');
      section = close == std::string::npos ? t.substr(1) : t.substr(1, close - 1);
    } else if (std::size_t eq = t.find('='); eq != std::string::npos) {
      queries.emplace_back(section, t.substr(0, eq));
    }
  }

  for (const auto& [sectionName, key] : queries) {
    // Names with a NUL byte end there for the C interface.
    const std::string s = sectionName.c_str(), k = key.c_str();
    const std::string whole = Read(scratch.path(), s, k, 65536);
#ifndef _WIN32
    std::optional<std::string> want = Reference(lines, s, k);
    FUZZ_CHECK(whole == (want ? *want : std::string(kDefaultTrimmed)));
    for (std::uint32_t room : {1u, 2u, 8u, 257u}) {
      const std::string cut = Read(scratch.path(), s, k, room);
      FUZZ_CHECK(cut == whole.substr(0, room - 1));
    }
#else
    for (std::uint32_t room : {1u, 2u, 8u, 257u}) Read(scratch.path(), s, k, room);
#endif
  }

  // A section no line names: the default, without its trailing blanks.
  if (text.find("\x01 none") == std::string_view::npos)
    FUZZ_CHECK(Read(scratch.path(), "\x01 none", "key", 64) == kDefaultTrimmed);
  return 0;
}
