// UTF-8 to code page 1251 by the code page's table.
#include "platform/text_1251.h"

#include <cstdint>

#include "zq/wipe.h"

namespace nc::platform {

namespace {

// The characters of bytes 0x80..0xBF (0 where the code page has none);
// 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::uint16_t kHighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};

constexpr std::uint32_t kBroken = 0xFFFFFFFF;

// Decodes the character at `p` (`left` > 0 bytes remain): its code, or
// kBroken for a broken sequence, which then counts as one character made of
// its lead byte and the continuation bytes that follow it. Returns the bytes
// taken.
std::size_t Decode(const unsigned char* p, std::size_t left, std::uint32_t* code) {
  unsigned char c = p[0];
  if (c < 0x80) {
    *code = c;
    return 1;
  }
  std::size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
  std::uint32_t value = length == 2 ? c & 0x1Fu : length == 3 ? c & 0x0Fu : c & 0x07u;
  std::size_t got = 1;
  while (got < length && got < left && (p[got] & 0xC0) == 0x80) {
    value = (value << 6) | (p[got] & 0x3Fu);
    ++got;
  }
  *code = got != length || length == 1 ? kBroken : value;
  return got;
}

bool WellFormed(std::uint32_t code, std::size_t length) {
  static constexpr std::uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
  return code != kBroken && code >= kLeast[length] && code <= 0x10FFFF &&
         (code < 0xD800 || code > 0xDFFF);
}

// The code page's byte for `code`; false when the code page has none.
bool FindByte(std::uint32_t code, char* byte) {
  if (code < 0x80) {
    *byte = static_cast<char>(code);
    return true;
  }
  if (code >= 0x410 && code <= 0x44F) {
    *byte = static_cast<char>(0xC0 + (code - 0x410));
    return true;
  }
  for (int i = 0; i < 64; ++i) {
    if (kHighHalf[i] != 0 && kHighHalf[i] == code) {
      *byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

char ByteOf(std::uint32_t code) {
  char byte = '?';
  return FindByte(code, &byte) ? byte : '?';
}

}  // namespace

std::size_t Utf8To1251(const char* utf8, std::size_t length, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  std::size_t written = 0;
  std::size_t at = 0;
  while (p != nullptr && at < length && written + 1 < size) {
    std::uint32_t code;
    at += Decode(p + at, length - at, &code);
    out[written++] = code == kBroken ? '?' : ByteOf(code);
  }
  out[written] = '\0';
  return written;
}

bool Utf8To1251Strict(const char* utf8, std::size_t length, char* out, std::size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  std::size_t written = 0;
  bool sound = p != nullptr || length == 0;
  std::uint32_t code = 0;
  char byte = 0;
  for (std::size_t at = 0; sound && at < length;) {
    std::size_t taken = Decode(p + at, length - at, &code);
    sound = WellFormed(code, taken) && FindByte(code, &byte);
    if (sound && out != nullptr && written + 1 < size) out[written++] = byte;
    at += taken;
  }
  SecureWipe(&code, sizeof code);
  SecureWipe(&byte, sizeof byte);
  if (out != nullptr && size > 0) {
    if (!sound) {
      SecureWipe(out, written);
      written = 0;
    }
    out[written] = '\0';
  }
  return sound;
}

std::string Utf8To1251(const char* utf8) {
  std::string out;
  if (utf8 == nullptr) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  std::size_t length = 0;
  while (p[length] != 0) ++length;
  for (std::size_t at = 0; at < length;) {
    std::uint32_t code;
    at += Decode(p + at, length - at, &code);
    out += code == kBroken ? '?' : ByteOf(code);
  }
  return out;
}

bool IsUtf8(const char* text, std::size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t at = 0; at < length;) {
    std::uint32_t code;
    std::size_t taken = Decode(p + at, length - at, &code);
    if (!WellFormed(code, taken)) return false;
    at += taken;
  }
  return true;
}

}  // namespace nc::platform
