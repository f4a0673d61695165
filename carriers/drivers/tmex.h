// The TMEX programming interface of the iButton maker, as the Touch Memory
// library uses it: a module loaded by name and eight entry points resolved
// by name from it. Only the entry points and behaviours the library relies
// on are described here.
//
// The module's name: on Windows "IBFS32.DLL", searched as LoadLibrary
// searches. Elsewhere a shared object with the same eight entry points (C
// linkage, the types below): the path or name in $NCCORE_TMEX_LIBRARY when
// that is set, else the text value "TmexLibrary" of the settings key
// "SOFTWARE\NCCORE\TouchMemory", else "libibfs32.so" (searched as dlopen
// searches: LD_LIBRARY_PATH, the linker cache, the default folders). When no
// module loads, or it lacks one of the eight entry points, the library does
// its own serial signalling instead.
//
// A simulator stands in for the module in tests and demonstrations
// (installed through carriers/drivers/carrier_drivers.h).
#pragma once
#include <cstdint>
#include <string>

// The entry points' calling convention: the Windows API's on 32-bit Windows.
#if defined(_WIN32) && defined(__i386__)
#define NC_TMEX_CALL __stdcall
#else
#define NC_TMEX_CALL
#endif

namespace nc::carriers::drivers {

// A positive session handle, 0 when the port is in use by someone else, a
// negative value for other failures (no driver for the port type).
using TmexExtendedStartSession = std::int32_t(NC_TMEX_CALL*)(std::int16_t portNumber,
                                                             std::int16_t portType, void* options);
using TmexEndSession = std::int16_t(NC_TMEX_CALL*)(std::int32_t session);
// 1 or 2 when the 1-Wire line is ready.
using TmexSetup = std::int16_t(NC_TMEX_CALL*)(std::int32_t session);
using TmexClose = std::int16_t(NC_TMEX_CALL*)(std::int32_t session);
// 1 when a first device was found on the line; the state buffer holds it.
using TmexFirst = std::int16_t(NC_TMEX_CALL*)(std::int32_t session, void* state);
// 1 when the ROM code of the device found last was put into rom[0..7], one
// byte in the low byte of each value.
using TmexRom = std::int16_t(NC_TMEX_CALL*)(std::int32_t session, void* state, std::int16_t* rom);
// 1 or 2 when a device answered the reset.
using TmexTouchReset = std::int16_t(NC_TMEX_CALL*)(std::int32_t session);
// The byte read back while sending `byte`.
using TmexTouchByte = std::int16_t(NC_TMEX_CALL*)(std::int32_t session, std::int16_t byte);

// The state buffer the session calls take (as large as the interface asks).
inline constexpr std::uint32_t kTmexStateBufferSize = 15360;
// The port type the library asks for.
inline constexpr std::int16_t kTmexPortType = 1;

// The entry points' names, in the order the library resolves them.
inline constexpr const char* kTmexEntryNames[8] = {
    "TMExtendedStartSession", "TMEndSession", "TMSetup", "TMClose", "TMFirst", "TMRom",
    "TMTouchReset",           "TMTouchByte"};

// Loads the module and resolves names in it.
class TmexModuleLoader {
 public:
  virtual ~TmexModuleLoader() = default;
  // Null with the last error set when the module does not load.
  virtual void* Load() = 0;
  // Null when the module has no such entry point.
  virtual void* Resolve(void* module, const char* name) = 0;
  virtual void Free(void* module) = 0;
};

// The platform's module (see above), through platform/dynamic_library.h.
TmexModuleLoader& SystemTmexModuleLoader();
// The name the system loader loads.
std::string TmexModuleName();

}  // namespace nc::carriers::drivers
