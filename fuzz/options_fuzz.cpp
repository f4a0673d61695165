// Fuzz harness: option strings. The input, cut at its first zero byte, is
// scanned with a realistic option table (flags, options followed by a file
// name, options with a numeric suffix, an option with a "lo-hi" range) by
// ScanOptions with large and tiny name buffers; every name is copied with
// CopyNameToken into a buffer of exactly that size and split with
// ParseProtectionSpec, and every range is read with ReadDecimalRange. Each step is checked
// against a plain restatement of the grammar, so the harness finds wrong
// scans as well as out-of-bounds reads and writes.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/options.h"
#include "fuzz/fuzz_support.h"

namespace {

using nc::frame::OptionArg;
using nc::frame::OptionHit;
using nc::frame::OptionSpec;

constexpr OptionSpec kTable[] = {
    {"/NOLOGO", OptionArg::None}, {"/Y", OptionArg::None},     {"/KEY:", OptionArg::Name},
    {"/BLK:", OptionArg::Name},   {"/CFB", OptionArg::Number}, {"/OFB", OptionArg::Number},
    {"/CBC", OptionArg::None},    {"/E", OptionArg::None},     {"/D", OptionArg::None},
    {"/A:", OptionArg::ToBlank},
};
constexpr std::size_t kTableSize = sizeof kTable / sizeof kTable[0];
constexpr int kMaxPositional = 2;  // a third positional name is refused

struct Event {
  int index;
  std::string name;  // name options and positional names; "lo-hi" or "-" for a range
  int number;        // numeric options
  bool operator==(const Event& o) const {
    return index == o.index && name == o.name && number == o.number;
  }
};

// ---- the grammar, restated plainly --------------------------------------------

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The name token at s[at] as copied into `size` bytes, and where scanning
// resumes (start + copied length + 2, never past the end).
std::string ModelName(const std::string& s, std::size_t at, std::size_t size, std::size_t* resume) {
  bool quoted = at < s.size() && s[at] == '"';
  std::size_t from = at + (quoted ? 1 : 0);
  std::string name;
  while (from + name.size() < s.size() && name.size() + 1 < size &&
         !(quoted && s[from + name.size()] == '"'))
    name.push_back(s[from + name.size()]);
  *resume = std::min(at + name.size() + 2, s.size());
  return name;
}

// A decimal number as "%u" reads it: white space, an optional sign, digits;
// beyond 32 bits it saturates at 0xFFFFFFFF, and a negative number wraps
// around. False when there is none.
bool ModelDecimal(const char** text, std::uint32_t* value) {
  const char* p = *text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long magnitude = std::strtoull(p, &end, 10);
  if (errno == ERANGE || magnitude > 0xFFFFFFFFull) magnitude = 0xFFFFFFFFull;
  std::uint32_t u = static_cast<std::uint32_t>(magnitude);
  *value = negative ? 0u - u : u;
  *text = end;
  return true;
}

// ":" then a number: clamped to INT_MAX.
int ModelNumber(const char* text) {
  std::uint32_t value = 0;
  if (!ModelDecimal(&text, &value)) return nc::frame::kBadNumber;
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// "lo-hi" as "%u-%u" reads it.
std::string ModelRange(const char* text) {
  std::uint32_t lo = 0, hi = 0;
  if (!ModelDecimal(&text, &lo) || *text != '-') return "-";
  ++text;
  if (!ModelDecimal(&text, &hi)) return "-";
  return std::to_string(lo) + "-" + std::to_string(hi);
}

bool ModelScan(const std::string& s, std::size_t size, std::vector<Event>* events) {
  std::size_t p = 0;
  int positional = 0;
  for (;;) {
    while (p < s.size() && s[p] == ' ') ++p;
    if (p == s.size()) return true;
    int index = -1;
    std::size_t length = 0;
    for (std::size_t i = 0; i < kTableSize && index < 0; ++i) {
      length = std::strlen(kTable[i].text);
      bool match = p + length <= s.size();
      for (std::size_t k = 0; match && k < length; ++k) match = Fold(s[p + k]) == kTable[i].text[k];
      if (match) index = static_cast<int>(i);
    }
    if (index < 0) {
      std::size_t resume;
      events->push_back({-1, ModelName(s, p, size, &resume), -1});
      if (++positional > kMaxPositional) return false;
      p = resume;
      continue;
    }
    p += length;
    Event event{index, "", -1};
    if (kTable[index].arg == OptionArg::Name) {
      std::size_t resume;
      event.name = ModelName(s, p, size, &resume);
      p = resume;
    } else if (kTable[index].arg == OptionArg::Number && p < s.size() && s[p] == ':') {
      event.number = ModelNumber(s.c_str() + p + 1);
      p += p + 1 < s.size() ? 2 : 1;
    } else if (kTable[index].arg == OptionArg::ToBlank) {
      event.name = ModelRange(s.c_str() + p);
      std::size_t blank = s.find(' ', p);
      p = blank == std::string::npos ? s.size() : blank + 1;
    }
    events->push_back(event);
  }
}

// ParseProtectionSpec: up to five keywords, each followed by ':' or ','.
struct Spec {
  std::uint32_t code = 0;
  std::string name;
};

Spec ModelSpec(const std::string& s, std::size_t nameSize) {
  static const struct {
    const char* word;
    std::uint32_t bit;
  } kKeywords[] = {{"PWD", 1}, {"TM", 2}, {"QUADRA", 4}, {"ACTIVATOR", 8}, {"TESSEL", 16}};
  Spec spec;
  std::size_t p = 0, start = 0;
  for (int round = 0; round < 5; ++round) {
    std::size_t length = 0;
    while (length < 9 && p + length < s.size() && s[p + length] != ':' && s[p + length] != ',')
      ++length;
    if (length == 0) break;
    std::string word;
    for (std::size_t k = 0; k < length; ++k) word.push_back(Fold(s[p + k]));
    std::uint32_t bit = 0;
    for (const auto& k : kKeywords)
      if (word == k.word) bit = k.bit;
    if (bit == 0) break;
    spec.code |= bit;
    p += length;
    if (p < s.size() && (s[p] == ':' || s[p] == ',')) ++p;
    start = p;
  }
  spec.name = s.substr(start);
  if (spec.name.size() > nameSize - 1) {
    // Cut to nameSize - 1 bytes, never inside a UTF-8 character.
    std::size_t cut = nameSize - 1;
    while (cut > 0 && (static_cast<unsigned char>(spec.name[cut]) & 0xC0) == 0x80) --cut;
    spec.name.resize(cut);
  }
  return spec;
}

// ---- the library ------------------------------------------------------------------

// A heap copy of exactly the text and its terminator, so that AddressSanitizer
// reports any read past the terminator.
std::unique_ptr<char[]> Exact(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

void CheckSpec(const std::string& text, std::size_t nameSize) {
  std::unique_ptr<char[]> spec = Exact(text);
  std::unique_ptr<char[]> name(new char[nameSize]);
  std::uint32_t code = 0xFFFFFFFF;
  std::uint32_t returned = nc::frame::ParseProtectionSpec(spec.get(), &code, name.get(), nameSize);
  Spec want = ModelSpec(text, nameSize);
  FUZZ_CHECK(returned == code);
  FUZZ_CHECK(code == want.code);
  FUZZ_CHECK(std::string(name.get()) == want.name);
}

struct Scan {
  const char* begin;
  const char* end;
  std::size_t size;
  int positional = 0;
  std::vector<Event> events;
};

bool Take(void* context, const OptionHit& hit) {
  auto& scan = *static_cast<Scan*>(context);
  FUZZ_CHECK(hit.index >= -1 && hit.index < static_cast<int>(kTableSize));
  Event event{hit.index, "", hit.number};
  bool named = hit.index < 0 || kTable[hit.index].arg == OptionArg::Name;
  if (named) {
    FUZZ_CHECK(hit.nameStart >= scan.begin && hit.nameStart <= scan.end);
    std::unique_ptr<char[]> buffer(new char[scan.size]);  // exactly the buffer's size
    FUZZ_CHECK(nc::frame::CopyNameToken(hit.nameStart, buffer.get(), scan.size) == buffer.get());
    event.name = buffer.get();
    FUZZ_CHECK(event.name.size() < scan.size);
  }
  if (hit.index >= 0 && kTable[hit.index].arg == OptionArg::ToBlank) {
    FUZZ_CHECK(hit.nameStart >= scan.begin && hit.nameStart <= scan.end);
    std::uint32_t lo = 0, hi = 0;
    event.name = nc::frame::ReadDecimalRange(hit.nameStart, &lo, &hi)
                     ? std::to_string(lo) + "-" + std::to_string(hi)
                     : "-";
  }
  scan.events.push_back(event);
  if (named) CheckSpec(event.name, scan.size);
  return hit.index >= 0 || ++scan.positional <= kMaxPositional;
}

void CheckScan(const std::string& text, std::size_t size) {
  std::unique_ptr<char[]> options = Exact(text);
  Scan scan{options.get(), options.get() + text.size(), size, 0, {}};
  bool finished = nc::frame::ScanOptions(options.get(), kTable, kTableSize, size, Take, &scan);
  std::vector<Event> want;
  bool wantFinished = ModelScan(text, size, &want);
  FUZZ_CHECK(finished == wantFinished);
  FUZZ_CHECK(scan.events == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The option string: the input up to its first zero byte.
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));

  CheckScan(text, 4096);  // the POSIX name buffer
  CheckScan(text, 261);   // the Windows name buffer
  CheckScan(text, 8);     // tiny: long names are cut and rescanned
  CheckSpec(text, 311);
  CheckSpec(text, 1);

  char one[1] = {'x'};
  nc::frame::CopyNameToken(Exact(text).get(), one, 1);
  FUZZ_CHECK(one[0] == '\0');
  return 0;
}
