// UTF-8 to code page 1251 against the platform's own converter (iconv on
// POSIX, the Win32 code-page functions on Windows), the strict form that
// passwords use, the UTF-8 check that tells a preset password line's
// encoding, and the sources' texts in the library's encoding.
#include "platform/text_1251.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/library_text.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <iconv.h>
#endif

namespace nc::platform {
namespace {

// The character of code page 1251 byte `byte` in UTF-8, by the platform;
// empty when the platform maps it to nothing.
std::string Utf8Of1251(unsigned char byte) {
#ifdef _WIN32
  char in = static_cast<char>(byte);
  wchar_t wide[2] = {};
  if (::MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, &in, 1, wide, 2) != 1) return {};
  char out[8] = {};
  int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, 1, out, sizeof out, nullptr, nullptr);
  return std::string(out, n > 0 ? static_cast<std::size_t>(n) : 0);
#else
  iconv_t cd = ::iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  char in = static_cast<char>(byte);
  char out[8] = {};
  char* inPtr = &in;
  char* outPtr = out;
  std::size_t inLeft = 1, outLeft = sizeof out;
  std::size_t done = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  if (done == static_cast<std::size_t>(-1)) return {};
  return std::string(out, outPtr);
#endif
}

TEST(Utf8To1251, EveryCharacterOfTheCodePageBecomesItsByte) {
  for (int byte = 0x20; byte <= 0xFF; ++byte) {
    if (byte == 0x7F || byte == 0x98) continue;  // DEL; 0x98 holds no character
    std::string utf8 = Utf8Of1251(static_cast<unsigned char>(byte));
    ASSERT_FALSE(utf8.empty()) << std::hex << byte;
    EXPECT_EQ(Utf8To1251(utf8.c_str()), std::string(1, static_cast<char>(byte)))
        << std::hex << byte << " " << utf8;
  }
}

TEST(Utf8To1251, WhatTheCodePageLacksAndBrokenSequencesBecomeQuestionMarks) {
  const struct {
    const char* utf8;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"ä", "?"},                     // Latin-1, not in the code page
      {"中文", "??"},                 // three bytes each
      {"x\xF0\x9F\x98\x80y", "x?y"},  // four bytes
      {"a\xD0", "a?"},                // cut short at the end
      {"\xD0"                         //
       "b",
       "?b"},             // lead byte without its continuation
      {"\x80z", "?z"},    // a lone continuation byte
      {"\xE2\x82", "?"},  // three-byte sequence cut short
      {"Пароль-1 ё", "\xCF\xE0\xF0\xEE\xEB\xFC-1 \xB8"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8To1251(c.utf8), c.expected) << c.utf8;
  }
  EXPECT_EQ(Utf8To1251(nullptr), "");
}

TEST(Utf8To1251, IntoABufferCutWithATerminatorAndNothingBeyond) {
  const std::string text = "пароль";  // 12 bytes of UTF-8, 6 of code page 1251
  for (std::size_t size = 0; size <= 9; ++size) {
    std::vector<char> out(size + 1, '#');
    std::size_t written = Utf8To1251(text.data(), text.size(), out.data(), size);
    EXPECT_EQ(out[size], '#') << size;
    if (size == 0) {
      EXPECT_EQ(written, 0u);
      continue;
    }
    std::size_t want = std::min<std::size_t>(size - 1, 6);
    EXPECT_EQ(written, want) << size;
    EXPECT_EQ(std::string(out.data()), std::string("\xEF\xE0\xF0\xEE\xEB\xFC", want)) << size;
  }
  // Only `length` bytes are read: no terminator needed.
  char out[8];
  EXPECT_EQ(Utf8To1251("\xD0\x9F\xD0\x9F", 2, out, sizeof out), 1u);
  EXPECT_EQ(std::string(out), "\xCF");
}

TEST(Utf8To1251Strict, FailsWhereTheLenientFormWouldGuessAndLeavesNothing) {
  const struct {
    std::string utf8;
    const char* expected;  // nullptr: the conversion fails
  } cases[] = {
      {"", ""},
      {"???????", "???????"},
      {"Пароль-1 ё€", "\xCF\xE0\xF0\xEE\xEB\xFC-1 \xB8\x88"},
      {std::string("\0abc", 4), ""},  // a character, but the text ends at once
      {"κωδικός", nullptr},           // Greek: not in the code page
      {"ξένοςφί", nullptr},
      {"пароль ä", nullptr},
      {"x\xF0\x9F\x98\x80", nullptr},  // four bytes
      {"\xC0\200abc", nullptr},        // overlong NUL
      {"\xE0\x80\xAF", nullptr},       // overlong '/'
      {"\xED\xA0\x80", nullptr},       // surrogate
      {"abc\xD0", nullptr},            // cut short
      {"\x80z", nullptr},              // lone continuation byte
      {"\xEF\xE0\xF0", nullptr},       // code page 1251 bytes are not UTF-8
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(Utf8To1251Strict(c.utf8.data(), c.utf8.size(), out, sizeof out),
              c.expected != nullptr);
    EXPECT_STREQ(out, c.expected != nullptr ? c.expected : "");
  }
  // Past what fits still counts: a long password with a bad character at
  // its end is refused, and the bytes already written are wiped.
  const std::string tail = std::string(40, 'a') + "ä";
  char out[33];
  std::memset(out, '#', sizeof out);
  EXPECT_FALSE(Utf8To1251Strict(tail.data(), tail.size(), out, sizeof out));
  EXPECT_EQ(std::string(out, 32), std::string(32, '\0'));
  EXPECT_TRUE(Utf8To1251Strict(tail.data(), 40, out, sizeof out));
  EXPECT_EQ(std::string(out), std::string(32, 'a'));
}

TEST(IsUtf8, WellFormedOnly) {
  const struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"password", true},
      {"пароль ё №", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xEF\xE0\xF0\xEE\xEB\xFC", false},  // "пароль" in code page 1251
      {"\xC0\x80", false},                  // overlong
      {"\xE0\x80\xAF", false},              // overlong
      {"\xED\xA0\x80", false},              // surrogate
      {"\xF4\x90\x80\x80", false},          // above U+10FFFF
      {"abc\xD0", false},                   // cut short
      {"\x80", false},
      {std::string("a\0b", 3), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsUtf8(c.text.data(), c.text.size()), c.utf8) << c.text;
  }
}

TEST(LibraryText, SourceTextsInTheLibrarysEncoding) {
  const struct {
    const char* utf8;
    const char* windows;  // code page 1251; Linux keeps the UTF-8 text
  } cases[] = {
      {"OK", "OK"},
      {"Ошибка", "\xCE\xF8\xE8\xE1\xEA\xE0"},
      {"АЯаяЁё", "\xC0\xDF\xE0\xFF\xA8\xB8"},
      {"ПЭВМ, PIN-код.", "\xCF\xDD\xC2\xCC, PIN-\xEA\xEE\xE4."},
  };
  for (const auto& c : cases) {
#ifdef _WIN32
    EXPECT_EQ(LibraryText(c.utf8), c.windows) << c.utf8;
#else
    EXPECT_EQ(LibraryText(c.utf8), c.utf8);
#endif
  }
  EXPECT_EQ(LibraryText(nullptr), "");
}

TEST(LibraryText, CopiesAreCutWithinTheBufferBetweenCharacters) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(CopyLibraryText(buffer, 1, "Порт"), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');
#ifdef _WIN32
  EXPECT_EQ(CopyLibraryText(buffer, 4, "Порт"), 3u);
  EXPECT_EQ(std::string(buffer), "\xCF\xEE\xF0");
#else
  // Three bytes would split the second letter: two are copied.
  EXPECT_EQ(CopyLibraryText(buffer, 4, "Порт"), 2u);
  EXPECT_EQ(std::string(buffer), "П");
  EXPECT_EQ(CopyLibraryText(buffer, 6, "Порт"), 4u);
  EXPECT_EQ(std::string(buffer), "По");
#endif
  EXPECT_EQ(CopyLibraryText(nullptr, 8, "x"), 0u);
}

}  // namespace
}  // namespace nc::platform
