// Small helpers for texts in the library's encoding.
#pragma once
#include <cstddef>

namespace nc::frame {

// The longest prefix of `text` (length `length`) of at most `limit` bytes
// that does not end inside a multi-byte character. In code page 1251 every
// character is one byte, so this is min(length, limit) there.
std::size_t CharacterBoundary(const char* text, std::size_t length, std::size_t limit);

// The number of bytes of the first `maxCharacters` characters of `text`
// (all of it when shorter).
std::size_t CharacterPrefix(const char* text, std::size_t maxCharacters);

// Appends `text` to the zero-terminated `buffer` of `size` bytes, cut to the
// space left; returns false when it had to cut.
bool AppendText(char* buffer, std::size_t size, const char* text);

}  // namespace nc::frame
