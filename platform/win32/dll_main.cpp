// Entry point of NCCORE21.DLL. Nothing to set up yet beyond remembering the
// instance handle; the resources are found through LibraryModule().
#include "platform/win32/windows_api.h"

namespace {
HINSTANCE g_instance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reason;
  (void)reserved;
  g_instance = instance;
  return TRUE;
}
