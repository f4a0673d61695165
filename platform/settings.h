// The machine's settings, in the registry's model: keys named by a path of
// backslash-separated parts, holding named 32-bit and text values.
//
// Windows: the registry under HKEY_LOCAL_MACHINE. Elsewhere: a small text
// store in one file, $NCCORE_SETTINGS when set (tests point it at their
// own), else $XDG_CONFIG_HOME/nccore/settings.ini (~/.config/...). Writes
// replace the file atomically.
#pragma once
#include <cstdint>
#include <string>

namespace nc::platform {

// True when the key exists.
bool SettingsKeyExists(const char* key);
// Creates the key (and its parents) when missing; true when it exists after.
bool CreateSettingsKey(const char* key);
// A 32-bit value; false when the key or the value is missing (or not 32-bit).
bool ReadSettingDword(const char* key, const char* name, std::uint32_t* value);
// Writes a 32-bit value, creating the key when missing.
bool WriteSettingDword(const char* key, const char* name, std::uint32_t value);
// A text value; false when missing (or not text).
bool ReadSettingText(const char* key, const char* name, std::string* value);
bool WriteSettingText(const char* key, const char* name, const char* value);

}  // namespace nc::platform
