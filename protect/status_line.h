// The carrier dialog's status lines as the factor readers write them: in
// the library's text encoding, cut to the line buffer, and only while a
// dialog window exists.
#pragma once
#include <cstdint>

#include "protect/carrier_auth_state.h"

namespace nc::protect {

// The line buffer: longer texts are cut (never inside a character).
inline constexpr std::uint32_t kStatusLineSize = 1024;

// Puts `text` (already in the library's encoding) into the status line
// `control` when a window exists.
void WriteStatusLine(CarrierAuthState& state, int control, const char* text);

// Puts a UTF-8 text, converted to the library's encoding, into the line.
void ShowStatusText(CarrierAuthState& state, int control, const char* utf8);

// Starts an error line in `line`: the prefix "Ошибка: " in the library's
// encoding. Returns its length; the caller appends the error's text in
// the room left (kStatusLineSize minus that length).
std::uint32_t BeginErrorLine(char (&line)[kStatusLineSize]);

}  // namespace nc::protect
