// Passwords given in advance, for the carrier dialog without a user at the
// keyboard: a host (`nccore --password-file/--password-fd`) sets
// NCCORE_PASSWORD_FD to an open descriptor (POSIX: a file descriptor
// number; Windows: a handle value, in decimal), and every carrier dialog
// that asks for a password reads the next line from it. The lines'
// encoding is NCCORE_PASSWORD_ENCODING: "utf-8" or "cp1251"; unset, the
// platform's own (POSIX: UTF-8, the terminal's and the editors' encoding;
// Windows: code page 1251, the ANSI code page the library works in).
#pragma once
#include <cstddef>

#include "platform/carrier_ui.h"
#include "platform/password_box.h"

namespace nc::platform {

// The most bytes read for one line; the rest of a longer line is read as
// the next line.
inline constexpr std::size_t kPresetLineLimit = 4096;

// True when NCCORE_PASSWORD_FD names an open descriptor. On POSIX a
// descriptor that is a terminal does not count: the dialog then asks on
// the terminal as usual (a view reading keys from the terminal and a
// preset reader on the same terminal would split the keystrokes).
bool PresetPasswordGiven();

// The encoding NCCORE_PASSWORD_ENCODING names (its default when unset);
// false for any other text, and then no line is taken as a password.
bool PresetEncoding(LineEncoding* encoding);

// Reads the next line (up to '\n', which is taken but not kept; a trailing
// '\r' dropped) into `box`, in the preset encoding. False, with the box
// cleared, at the end of the input, on a read error, for an empty line, a
// line holding a NUL byte (never cut there: a password file with a NUL
// inside is no text, and its first part is not the password), and when the
// encoding named is unknown.
bool ReadPresetPassword(PasswordBox& box);

// The dialog without a window: when OK and the password box are both
// enabled it "types" the next preset line and presses OK. It presses
// Cancel instead, since an unattended run must neither beep nor poll for
// ever: at the end of the input or on an empty line; when the dialog
// refuses the line (empty once converted, or holding a character the code
// page lacks); and when a polling round ends with a carrier missing (the
// first simple beep). A dialog that asks for nothing is accepted at once.
// Returns the dialog's result.
int RunPresetPasswordDialog(CarrierDialogHandler& handler);

// The descriptor itself (platform/posix, platform/win32): reads one byte;
// 1 when read, 0 at the end of the input, -1 on an error or when no open
// descriptor is named.
int ReadPresetByte(unsigned char* byte);
bool PresetDescriptorOpen();

}  // namespace nc::platform
