// Small helpers for texts in the library's encoding.
#pragma once
#include <cstddef>

#include "platform/library_text.h"

namespace nc::frame {

// Cutting texts without splitting a character (platform/library_text.h).
using platform::CharacterBoundary;
using platform::CharacterPrefix;

// Appends `text` to the zero-terminated `buffer` of `size` bytes, cut to the
// space left; returns false when it had to cut.
bool AppendText(char* buffer, std::size_t size, const char* text);

}  // namespace nc::frame
