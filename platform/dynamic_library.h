// Loading a library at run time and resolving its functions by name.
//
// Windows: LoadLibraryW / GetProcAddress / FreeLibrary; the name is in the
// library's text encoding (code page 1251) and is searched as Windows
// searches it. POSIX: dlopen (RTLD_NOW | RTLD_LOCAL) / dlsym / dlclose; a
// name without a slash is searched as the dynamic linker searches it
// (LD_LIBRARY_PATH, the cache, the default folders).
#pragma once
#include <cstdint>

namespace nc::platform {

using LibraryHandle = void*;

// The Windows codes set as the last error on failure.
inline constexpr std::uint32_t kErrorModuleNotFound = 126;
inline constexpr std::uint32_t kErrorProcedureNotFound = 127;

// Null with the last error set (kErrorModuleNotFound on POSIX) when the
// library cannot be loaded.
LibraryHandle LoadDynamicLibrary(const char* name);
// The address of an exported function or object; null with the last error
// kErrorProcedureNotFound when the library exports no such name.
void* ResolveLibrarySymbol(LibraryHandle library, const char* name);
// Releases one load of the library; null is ignored.
void FreeDynamicLibrary(LibraryHandle library);

}  // namespace nc::platform
