#include "platform/win32/module.h"

namespace nc::platform::win32 {

HMODULE LibraryModule() {
  // The module containing this very function; no reference is taken, the
  // module cannot go away while its code runs.
  static const HMODULE module = [] {
    HMODULE found = nullptr;
    DWORD error = ::GetLastError();
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&LibraryModule), &found))
      found = nullptr;
    ::SetLastError(error);
    return found;
  }();
  return module;
}

}  // namespace nc::platform::win32
