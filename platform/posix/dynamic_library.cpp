// dlopen-based run-time libraries.
#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include "platform/last_error.h"

namespace nc::platform {

LibraryHandle LoadDynamicLibrary(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastErrorCode(kErrorModuleNotFound);
    return nullptr;
  }
  void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) SetLastErrorCode(kErrorModuleNotFound);
  return library;
}

void* ResolveLibrarySymbol(LibraryHandle library, const char* name) {
  if (library == nullptr || name == nullptr) {
    SetLastErrorCode(kErrorProcedureNotFound);
    return nullptr;
  }
  ::dlerror();  // a symbol's value may be null: tell that case by dlerror()
  void* symbol = ::dlsym(library, name);
  if (symbol == nullptr) SetLastErrorCode(kErrorProcedureNotFound);
  return symbol;
}

void FreeDynamicLibrary(LibraryHandle library) {
  if (library != nullptr) ::dlclose(library);
}

}  // namespace nc::platform
