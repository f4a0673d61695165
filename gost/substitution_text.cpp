#include "gost/substitution_text.h"

namespace nc::gost {

bool LinePieceReader::Peek(char* c) {
  if (start_ == end_) {
    if (failed_) return false;
    std::uint32_t got = 0;
    if (!platform::ReadFile(file_, buffer_, sizeof buffer_, &got)) failed_ = true;
    start_ = 0;
    end_ = got;
    if (got == 0) return false;
  }
  *c = static_cast<char>(buffer_[start_]);
  return true;
}

bool LinePieceReader::Next(char* piece) {
  std::size_t n = 0;
  char c;
  while (n < kPieceLength && Peek(&c)) {
    ++start_;
    if (c == '\r') {
      // CR LF is one line end; a lone CR is an ordinary character.
      char next;
      if (Peek(&next) && next == '\n') {
        ++start_;
        c = '\n';
      }
    }
    piece[n++] = c;
    if (c == '\n') break;
  }
  piece[n] = '\0';
  return n > 0 && !failed_;
}

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One "%x" conversion at *p: true with the value (saturated above 32 bits,
// which `tooLarge` reports) and *p moved past it.
bool ReadHex(const char** p, std::uint32_t* value, bool* tooLarge) {
  const char* s = *p;
  while (IsSpace(*s)) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && HexDigit(s[2]) >= 0) s += 2;
  if (HexDigit(*s) < 0) return false;
  std::uint64_t v = 0;
  *tooLarge = false;
  for (; HexDigit(*s) >= 0; ++s) {
    v = (v << 4) | static_cast<std::uint64_t>(HexDigit(*s));
    if (v > 0xFFFFFFFFull) {
      *tooLarge = true;
      v = 0xFFFFFFFFull;
    }
  }
  std::uint32_t u = static_cast<std::uint32_t>(v);
  *value = negative ? 0u - u : u;
  *p = s;
  return true;
}

}  // namespace

bool ParseSubstitutionRow(const char* piece, std::uint8_t row[8]) {
  const char* p = piece;
  for (int c = 0; c < 8; ++c) {
    std::uint32_t value = 0;
    bool tooLarge = false;
    if (!ReadHex(&p, &value, &tooLarge)) return false;
    if (tooLarge || value > 0xFF) return false;
    row[c] = static_cast<std::uint8_t>(value);
  }
  return true;
}

SubstitutionTextResult ReadSubstitutionText(platform::FileHandle file,
                                            std::uint8_t block[kSubstitutionBlockSize]) {
  LinePieceReader reader(file);
  char piece[LinePieceReader::kPieceLength + 1];
  for (int r = 0; r < 8; ++r) {
    if (!reader.Next(piece)) return SubstitutionTextResult::TooShort;
    if (!ParseSubstitutionRow(piece, block + r * 8)) return SubstitutionTextResult::BadFormat;
  }
  return SubstitutionTextResult::Ok;
}

}  // namespace nc::gost
