// The protection prefix of a key-file name: up to five keywords, each
// followed by ':' or ',', then the name ("TM,PWD:C:\keys\k.dek").
#include <cstring>

#include "frame/options.h"
#include "frame/text_util.h"

namespace nc::frame {

namespace {

struct Keyword {
  const char* word;
  std::uint32_t bit;
};

constexpr Keyword kKeywords[] = {
    {"PWD", kProtectPassword},         {"TM", kProtectTouchMemory},
    {"QUADRA", kProtectQuadra},        {"ACTIVATOR", kProtectActivator},
    {"TESSEL", kProtectTessel},
};

constexpr std::size_t kMaxWord = 9;
constexpr int kMaxKeywords = 5;

bool SameWord(const char* word, std::size_t length, const char* keyword) {
  if (std::strlen(keyword) != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != keyword[i]) return false;
  }
  return true;
}

}  // namespace

std::uint32_t ParseProtectionSpec(const char* spec, std::uint32_t* code, char* name,
                                  std::size_t nameSize) {
  std::uint32_t bits = 0;
  const char* start = spec;
  const char* p = spec;
  for (int round = 0; round < kMaxKeywords; ++round) {
    std::size_t length = 0;
    while (length < kMaxWord && p[length] != '\0' && p[length] != ':' && p[length] != ',')
      ++length;
    if (length == 0) break;
    const Keyword* match = nullptr;
    for (const Keyword& k : kKeywords)
      if (SameWord(p, length, k.word)) match = &k;
    if (match == nullptr) break;
    bits |= match->bit;
    p += length;
    if (*p == ':' || *p == ',') ++p;
    start = p;
  }
  if (name != nullptr && nameSize > 0) {
    std::size_t n = CharacterBoundary(start, std::strlen(start), nameSize - 1);
    std::memcpy(name, start, n);
    name[n] = '\0';
  }
  if (code != nullptr) *code = bits;
  return bits;
}

}  // namespace nc::frame
