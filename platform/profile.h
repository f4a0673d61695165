// Profile (INI) files, read as the Windows profile API reads them.
//
// Windows: GetPrivateProfileStringA; a file name without a path is looked up
// in the Windows folder.
//
// POSIX: the same semantics over a small INI reader. A file name without a
// path is looked up in $NCCORE_PROFILE_DIR when that is set, else in
// $XDG_CONFIG_HOME/nccore (~/.config/nccore when XDG_CONFIG_HOME is unset
// or not absolute); a name with a slash is used as it is. When no file of
// that exact name exists in the folder, a name differing only in ASCII case
// is taken, as on Windows.
//
// The file's grammar (both platforms): "[section]" lines open sections,
// "key=value" lines in them hold values; section and key names compare
// without regard to ASCII case and without their surrounding blanks; a
// value loses its surrounding blanks and then one pair of matching quotes
// ('...' or "...") around it; the first of several equal keys counts; lines
// starting with ';' are comments (a ';' later in a line is part of the
// value); a line without '=' holds no value. A UTF-8 byte-order mark at the
// start of the file is skipped.
#pragma once
#include <cstdint>
#include <string>

namespace nc::platform {

// Copies the value of `key` in `section` of the profile file `file`, or
// `defaultValue` (without its trailing blanks; null reads as "") when the
// file, the section or the key is missing, into `buffer` of `size` bytes,
// always terminated. A value longer than size - 1 bytes is cut there.
// Returns the number of bytes copied, terminator excluded.
std::uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                                const char* defaultValue, char* buffer, std::uint32_t size);

// Where a file name without a path is looked up (without a final separator).
std::string ProfileDirectory();

}  // namespace nc::platform
