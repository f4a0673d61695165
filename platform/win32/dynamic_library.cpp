// LoadLibrary-based run-time libraries.
#include "platform/dynamic_library.h"

#include "platform/last_error.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

LibraryHandle LoadDynamicLibrary(const char* name) {
  if (name == nullptr || *name == '\0') {
    ::SetLastError(kErrorModuleNotFound);
    return nullptr;
  }
  // No "insert the disk" box for a library on a missing drive.
  UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryW(win32::Widen(name).c_str());
  DWORD error = ::GetLastError();
  ::SetErrorMode(previous);
  if (module == nullptr) ::SetLastError(error != 0 ? error : kErrorModuleNotFound);
  return reinterpret_cast<LibraryHandle>(module);
}

void* ResolveLibrarySymbol(LibraryHandle library, const char* name) {
  if (library == nullptr || name == nullptr) {
    ::SetLastError(kErrorProcedureNotFound);
    return nullptr;
  }
  FARPROC proc = ::GetProcAddress(static_cast<HMODULE>(library), name);
  return reinterpret_cast<void*>(proc);
}

void FreeDynamicLibrary(LibraryHandle library) {
  if (library != nullptr) ::FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace nc::platform
