// Entry point of NCCORE21.DLL: the start-up work of platform/win32/startup.h
// when a process attaches. Threads attaching and detaching need nothing.
#include "platform/win32/startup.h"
#include "platform/win32/windows_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    nc::platform::win32::StartUpLibrary(instance);
  }
  return TRUE;
}
