// What the library sets up once per process on Windows: the common control
// classes its dialogs use, and the four texts of the generators' progress
// windows, loaded when the DLL is attached.
#pragma once
#include <string>

#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

// Process attach of NCCORE21.DLL. Runs under the loader lock, so it loads
// no library: the texts are read from the module's own resources with the
// kernel's resource calls, and the common controls (comctl32 is imported,
// hence initialised before this module) only register their classes.
void StartUpLibrary(HINSTANCE instance);

// Registers the animation and progress-bar classes; the first call does it,
// later calls return at once. Called before a dialog is created, which
// covers programs that link the library's code without the DLL.
void InitCommonControlsOnce();

// One of the texts loaded at start-up (ids 10003 to 10006), in code page
// 1251; false when `id` is not one of them or the start-up did not run.
bool StartUpText(int id, std::string* text);

}  // namespace nc::platform::win32
