// The library's text encoding: UTF-8 on Linux, code page 1251 on Windows
// (whatever the system's ANSI code page is). Texts written in the sources
// are UTF-8; they reach callers and windows in this encoding through
// LibraryText and CopyLibraryText, the one place that converts them.
#pragma once
#include <cstddef>
#include <string>

namespace nc::platform {

// `utf8` in the library's encoding: unchanged on Linux; on Windows by
// Utf8To1251 (platform/text_1251.h), so characters the code page lacks
// become '?'. Null gives an empty string.
std::string LibraryText(const char* utf8);

// LibraryText(utf8) copied into `buffer` of `size` bytes, cut to size - 1
// bytes without splitting a character, and terminated (nothing is written
// when `buffer` is null or `size` is 0). Returns the bytes copied.
std::size_t CopyLibraryText(char* buffer, std::size_t size, const char* utf8);

// For texts already in the library's encoding:
// whether `c` continues a character begun by an earlier byte (UTF-8's
// continuation bytes; never in code page 1251);
bool IsContinuationByte(char c);
// the longest prefix of `text` (length `length`) of at most `limit` bytes
// that does not end inside a multi-byte character. In code page 1251 every
// character is one byte, so this is min(length, limit) there.
std::size_t CharacterBoundary(const char* text, std::size_t length, std::size_t limit);

// The number of bytes of the first `maxCharacters` characters of `text`
// (all of it when shorter).
std::size_t CharacterPrefix(const char* text, std::size_t maxCharacters);

}  // namespace nc::platform
