// Fuzz harness: the settings store's file on POSIX (the registry's model in
// a text file, platform/settings.h). The input is the file, named by
// NCCORE_SETTINGS. Every key path and value name its lines could spell is
// read as a 32-bit value and as a text; then one value is written under a
// key the file cannot name, which rewrites the whole file. Checks:
// - no value reads as both a 32-bit value and a text, and a key holding a
//   value exists;
// - the rewrite keeps every value as it was read before (the store drops
//   only comments and lines that do not parse, never a value);
// - the written value reads back, and removing its key removes only it.
// The Windows build keeps its settings in the registry: no such file there.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/settings.h"

namespace {

struct Reading {
  std::string key, name;
  bool exists = false;
  std::optional<std::uint32_t> dword;
  std::optional<std::string> text;
  bool operator==(const Reading&) const = default;
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The key paths ("[...]" lines, up to the last ']') and value names (the
// text between the first two quotes of a line) the input could spell; a
// few of each (every reading loads the whole file), so that large inputs
// stay fast.
void Candidates(const std::string& text, std::vector<std::string>* keys,
                std::vector<std::string>* names) {
  std::size_t start = 0;
  while (start <= text.size() && keys->size() < 6 && names->size() < 6) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::size_t open = line.find('[');
    std::size_t close = line.rfind(']');
    if (open != std::string::npos && close != std::string::npos && close > open)
      keys->push_back(line.substr(open + 1, close - open - 1));
    std::size_t quote = line.find('"');
    if (quote != std::string::npos) {
      std::size_t second = line.find('"', quote + 1);
      if (second != std::string::npos) names->push_back(line.substr(quote + 1, second - quote - 1));
    }
  }
  keys->push_back("SYSTEM\\CurrentControlSet\\Services\\VTMD\\Parameters");
  keys->push_back("SOFTWARE\\Corvane Technologies\\NCX\\2.0");
  names->push_back("AdpType");
  names->push_back("TMEX");
  names->push_back("SSI_ACT");
}

std::vector<Reading> ReadAll(const std::vector<std::string>& keys,
                             const std::vector<std::string>& names) {
  std::vector<Reading> readings;
  for (const std::string& key : keys) {
    const bool exists = nc::platform::SettingsKeyExists(key.c_str());
    for (const std::string& name : names) {
      Reading r;
      r.key = key;
      r.name = name;
      r.exists = exists;
      std::uint32_t dword = 0;
      if (nc::platform::ReadSettingDword(key.c_str(), name.c_str(), &dword)) r.dword = dword;
      std::string value;
      if (nc::platform::ReadSettingText(key.c_str(), name.c_str(), &value)) r.text = value;
      FUZZ_CHECK(!(r.dword && r.text));
      FUZZ_CHECK(r.exists || (!r.dword && !r.text));
      readings.push_back(r);
    }
  }
  return readings;
}

// A letter that the input holds in neither case, or 0: a key path made of
// it cannot be named by any line of the input.
char AbsentLetter(const std::string& text) {
  bool seen[26] = {};
  for (char c : text) {
    char l = Lower(c);
    if (l >= 'a' && l <= 'z') seen[l - 'a'] = true;
  }
  for (int i = 0; i < 26; ++i)
    if (!seen[i]) return static_cast<char>('a' + i);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile scratch("settings");
  // The store's lock file beside it, removed at exit too.
  static const nc::fuzz::ScratchSibling lock(scratch, ".lock");
  static const bool named = ::setenv("NCCORE_SETTINGS", scratch.path(), 1) == 0;
  FUZZ_CHECK(named);
  scratch.Write(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> keys, names;
  Candidates(text, &keys, &names);
  const std::vector<Reading> before = ReadAll(keys, names);

  const char letter = AbsentLetter(text);
  if (letter == 0) return 0;
  const std::string probe = std::string(3, letter) + "\\" + std::string(2, letter);
  // A text with every character the file format escapes.
  const std::string value = "a\\b\"c\nd";
  FUZZ_CHECK(nc::platform::WriteSettingText(probe.c_str(), "v", value.c_str()));
  std::string back;
  FUZZ_CHECK(nc::platform::ReadSettingText(probe.c_str(), "v", &back) && back == value);
  FUZZ_CHECK(nc::platform::SettingsKeyExists(std::string(3, letter).c_str()));  // its parent
  FUZZ_CHECK(ReadAll(keys, names) == before);

  FUZZ_CHECK(nc::platform::DeleteSettingsKey(probe.c_str()));
  FUZZ_CHECK(!nc::platform::SettingsKeyExists(probe.c_str()));
  FUZZ_CHECK(ReadAll(keys, names) == before);
  return 0;
}
