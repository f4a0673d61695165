// <windows.h> for the Win32 platform layer, and nothing above it. The
// Windows headers turn some API names into macros (DeleteFile, ReplaceFile)
// that would rename the platform functions of the same names; those macros
// are removed here, and the Win32 calls are spelled with their W suffix.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef ReplaceFile
