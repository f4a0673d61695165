// The machine's settings, in the registry's model: keys named by a path of
// backslash-separated parts, holding named 32-bit and text values.
//
// Windows: the registry under HKEY_LOCAL_MACHINE. Elsewhere: a small text
// store in one file, $NCCORE_SETTINGS when set (tests point it at their
// own), else $XDG_CONFIG_HOME/nccore/settings.ini (~/.config/...). Writes
// replace the file atomically.
//
// The file, UTF-8, in the manner of a registry export (written by the store,
// readable and editable by hand):
//
//   [SOFTWARE\Corvane Technologies\NCX\2.0]
//   "SSI_ACT"=dword:0000000a
//   "Port"="/dev/ttyUSB0"
//
// One "[key path]" line per key (parents get lines of their own), then its
// values: a quoted name, '=', and either dword:<8 hex digits> or a quoted
// text; inside quotes \\ \" and \n stand for a backslash, a quote and a new
// line. Key paths and value names compare without regard to ASCII case, as
// in the registry. Lines starting with ';' or '#' and blank lines are
// ignored (and not kept when the store rewrites the file).
#pragma once
#include <cstdint>
#include <string>

namespace nc::platform {

// True when the key exists.
bool SettingsKeyExists(const char* key);
// Creates the key (and its parents) when missing; true when it exists after.
// An existing key is only opened for reading, so this works for a user who
// may read the settings but not change them.
bool CreateSettingsKey(const char* key);
// A 32-bit value; false when the key or the value is missing (or not 32-bit).
bool ReadSettingDword(const char* key, const char* name, std::uint32_t* value);
// Writes a 32-bit value, creating the key when missing.
bool WriteSettingDword(const char* key, const char* name, std::uint32_t value);
// A text value; false when missing (or not text).
bool ReadSettingText(const char* key, const char* name, std::string* value);
bool WriteSettingText(const char* key, const char* name, const char* value);
// Removes one value; true when it is gone afterwards (also when it was never
// there).
bool DeleteSettingValue(const char* key, const char* name);
// Removes the key with its values and subkeys; true when it is gone
// afterwards (also when it was never there).
bool DeleteSettingsKey(const char* key);

}  // namespace nc::platform
