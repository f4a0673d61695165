// Code page 1251, the encoding of the library's texts on Windows and of the
// bytes a password is made from on every platform: a password typed on a
// Linux terminal (UTF-8) must give the same key as the same password typed
// into the Windows dialog (ANSI bytes).
#pragma once
#include <cstddef>
#include <string>

namespace nc::platform {

// UTF-8 to code page 1251: every character the code page holds becomes its
// byte; any other character, and every broken sequence, becomes '?'. Null
// gives an empty string.
std::string Utf8To1251(const char* utf8);

// The same over `length` bytes of `utf8`, into `out` of `size` bytes: at
// most size - 1 bytes, then a terminator (nothing when size is 0). Stops
// when `out` is full. Returns the bytes written before the terminator.
// Holds no copy of the text (fit for passwords).
std::size_t Utf8To1251(const char* utf8, std::size_t length, char* out, std::size_t size);

// The strict form for passwords, where '?' would make different passwords
// open the same key: false when the `length` bytes hold a character the
// code page lacks or are not well-formed UTF-8 (broken, overlong, a
// surrogate), anywhere in the text, also past what fits. Then `out` is
// wiped and left empty. True otherwise, with `out` as the lenient form
// fills it (at most size - 1 bytes, terminated). Holds no copy of the text.
bool Utf8To1251Strict(const char* utf8, std::size_t length, char* out, std::size_t size);

// True when the `length` bytes of `text` are well-formed UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(const char* text, std::size_t length);

}  // namespace nc::platform
