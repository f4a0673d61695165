// The settings on Windows: the registry under HKEY_LOCAL_MACHINE. Key paths
// and value names are ASCII; text values are in the library's code page
// (1251), converted to and from UTF-16 at the registry's wide calls so that
// the system's ANSI code page does not matter.
//
// Every key is opened with the least rights its call needs: reads and the
// "create when missing" of a key that is then only read ask for query
// rights alone, since a normal user may read HKEY_LOCAL_MACHINE but not
// write it (asking for full access there fails even for an existing key);
// only the calls that write a value ask for the right to set values.
#include <string>

#include "platform/last_error.h"
#include "platform/settings.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

// Opens an existing key; null when missing (the last error tells why).
HKEY OpenKey(const char* key, REGSAM access) {
  if (key == nullptr) return nullptr;
  HKEY handle = nullptr;
  std::wstring path = win32::Widen(key);
  LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &handle);
  if (status != ERROR_SUCCESS) {
    SetLastErrorCode(static_cast<std::uint32_t>(status));
    return nullptr;
  }
  return handle;
}

// Opens the key, creating it when missing, with `access` (creating needs
// the right to add a subkey to its parent, which the system checks apart).
HKEY CreateKey(const char* key, REGSAM access) {
  if (key == nullptr) return nullptr;
  HKEY handle = nullptr;
  std::wstring path = win32::Widen(key);
  LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, access, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) {
    SetLastErrorCode(static_cast<std::uint32_t>(status));
    return nullptr;
  }
  return handle;
}

bool SetValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  if (name == nullptr) return false;
  HKEY handle = CreateKey(key, KEY_SET_VALUE);
  if (handle == nullptr) return false;
  std::wstring wideName = win32::Widen(name);
  LONG status =
      ::RegSetValueExW(handle, wideName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(handle);
  if (status != ERROR_SUCCESS) {
    SetLastErrorCode(static_cast<std::uint32_t>(status));
    return false;
  }
  return true;
}

}  // namespace

bool SettingsKeyExists(const char* key) {
  HKEY handle = OpenKey(key, KEY_QUERY_VALUE);
  if (handle == nullptr) return false;
  ::RegCloseKey(handle);
  return true;
}

bool CreateSettingsKey(const char* key) {
  HKEY handle = CreateKey(key, KEY_QUERY_VALUE);
  if (handle == nullptr) return false;
  ::RegCloseKey(handle);
  return true;
}

bool ReadSettingDword(const char* key, const char* name, std::uint32_t* value) {
  if (name == nullptr) return false;
  HKEY handle = OpenKey(key, KEY_QUERY_VALUE);
  if (handle == nullptr) return false;
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  std::wstring wideName = win32::Widen(name);
  LONG status = ::RegQueryValueExW(handle, wideName.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data), &size);
  ::RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
  if (value != nullptr) *value = data;
  return true;
}

bool WriteSettingDword(const char* key, const char* name, std::uint32_t value) {
  DWORD data = value;
  return SetValue(key, name, REG_DWORD, &data, sizeof data);
}

bool ReadSettingText(const char* key, const char* name, std::string* value) {
  if (name == nullptr) return false;
  HKEY handle = OpenKey(key, KEY_QUERY_VALUE);
  if (handle == nullptr) return false;
  std::wstring wideName = win32::Widen(name);
  DWORD type = 0;
  DWORD size = 0;
  LONG status = ::RegQueryValueExW(handle, wideName.c_str(), nullptr, &type, nullptr, &size);
  std::wstring text;
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    text.resize(size / sizeof(wchar_t) + 1);
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(handle, wideName.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(text.data()), &got);
    text.resize(got / sizeof(wchar_t));
  }
  ::RegCloseKey(handle);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  if (value != nullptr) *value = win32::Narrow(text.c_str(), static_cast<int>(text.size()));
  return true;
}

bool WriteSettingText(const char* key, const char* name, const char* value) {
  if (value == nullptr) return false;
  std::wstring text = win32::Widen(value);
  return SetValue(key, name, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool DeleteSettingValue(const char* key, const char* name) {
  if (name == nullptr) return false;
  HKEY handle = OpenKey(key, KEY_SET_VALUE);
  if (handle == nullptr) return !SettingsKeyExists(key);
  std::wstring wideName = win32::Widen(name);
  LONG status = ::RegDeleteValueW(handle, wideName.c_str());
  ::RegCloseKey(handle);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool DeleteSettingsKey(const char* key) {
  if (key == nullptr || *key == '\0') return false;
  std::wstring path = win32::Widen(key);
  // Given a subkey path, RegDeleteTreeW removes that key with everything
  // below it.
  LONG status = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace nc::platform
