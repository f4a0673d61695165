// The module that holds the library's code and resources: NCCORE21.DLL, or
// the executable when the same code is linked in statically (unit tests).
#pragma once
#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

HMODULE LibraryModule();

}  // namespace nc::platform::win32
