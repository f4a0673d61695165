// Touch Memory (iButton) access: the 8-byte registration number (ROM code)
// of the device on the reader, through one of three paths chosen by the
// adapter type in the driver's registry parameters:
//   - the VTMD driver's requests (adapter types 0..7; for 2..7 the adapter's
//     COM or LPT port is held open exclusively while a session lasts);
//   - the TMEX interface of "IBFS32.DLL" (types 8..11, when the module and
//     all eight entry points are there and the "TMEX" value does not turn it
//     off);
//   - the library's own 1-Wire signalling over the COM port of a passive
//     serial adapter (types 8..11 otherwise).
// Also: the per-family memory mapping in the profile file "TavoTM.INI",
// checked at initialisation, and the texts of the error codes.
//
// Every call reports through the thread's last error (the codes below) and
// returns 0 on failure; nothing is thrown.
//
// Threads: the library's process-local mutex serialises initialisation and
// guards the shared state; sessions and ROM reads take it only to look at
// and update that state, never across a call into a driver, the TMEX module
// or a port, so a slow read does not hold up another thread and a fault
// inside a driver (caught by a caller's guard, which abandons the call)
// leaves no mutex behind held. What a session uses is never released under
// it: a new initialisation keeps the driver handle and an already loaded
// TMEX module (and with a TMEX session open, the whole TMEX state); only
// TmShutdown releases them. A thread whose call was abandoned inside a
// driver during initialisation takes the mutex over on its next call.
#pragma once
#include <cstdint>

namespace nc::carriers {

// ---- error codes (the thread's last error) ---------------------------------
inline constexpr std::uint32_t kTmSuccess = 0;
inline constexpr std::uint32_t kTmBadFunction = 0xE0040001;
inline constexpr std::uint32_t kTmAdapterBusy = 0xE0040002;
inline constexpr std::uint32_t kTmBadHandle = 0xE0040003;
// Also "no device on the reader".
inline constexpr std::uint32_t kTmExchangeError = 0xE0040004;
inline constexpr std::uint32_t kTmInvalidParameters = 0xE0040005;
inline constexpr std::uint32_t kTmInitError = 0xE0040006;
inline constexpr std::uint32_t kTmDriverNotLoaded = 0xE0040007;
inline constexpr std::uint32_t kTmUnknownDevice = 0xE0040008;
inline constexpr std::uint32_t kTmNotSupported = 0xE0040009;
inline constexpr std::uint32_t kTmNotDs1991 = 0xE004000A;
inline constexpr std::uint32_t kTmAdapterNotFound = 0xE004000B;
inline constexpr std::uint32_t kTmUnknownError = 0xFFFFFFFF;

// A session: a driver session, a TMEX session or (own serial signalling)
// the library's port handle. Never 0.
using TmSession = std::intptr_t;

// Finds the driver or adapter, loads TMEX when configured, validates the
// memory mapping. 1, or 0 with the last error. With `showErrors` set a
// failure is also shown in a message box with the library's caption.
int TmLibraryInit(int showErrors);
// Opens a session on the configured adapter into *session: 1, or 0 with
// the last error.
int TmOpenSession(TmSession* session);
// Reads the ROM code (family code, 48-bit serial number, CRC-8) of the
// device on the reader into rom[0..7]: nonzero, or 0 with the last error
// (kTmExchangeError when no device is on the reader).
int TmReadRom(TmSession session, std::uint8_t* rom);
// Ends a session: 1 with the last error cleared, or 0 with the last error.
int TmCloseSession(TmSession session);
// Closes the driver, the port, the TMEX session and module; the library is
// as before its first initialisation (mapping bitmaps all set).
void TmShutdown();

// ---- error texts ------------------------------------------------------------
// Form bits of TmErrorText.
inline constexpr std::uint32_t kTmTextOem = 0x01;      // code page 866
inline constexpr std::uint32_t kTmTextAnsi = 0x02;     // code page 1251
inline constexpr std::uint32_t kTmTextUtf8 = 0x04;     // UTF-8
inline constexpr std::uint32_t kTmTextEnglish = 0x08;  // else Russian
// Neither OEM, ANSI nor UTF-8: UTF-16 (little-endian, the platform's order).

// The text of `code` (codes not in the table get the "unknown error" row)
// in `form`, copied into `buffer` of `size` bytes: as much as fits with a
// terminator (one 0 byte, or one 0 unit in UTF-16), never splitting a
// character. Returns the whole text's size in bytes without the terminator
// (whatever was copied; a null buffer or size 0 copies nothing).
std::uint32_t TmErrorText(std::uint32_t code, void* buffer, std::uint32_t size, std::uint32_t form);

// ---- 1-Wire primitives (the memory requests and tests) ----------------------
// A 1-Wire reset on the session's line: true when a device answered.
bool TmTouchReset(TmSession session);
// Sends `byte` on the line and returns the byte read back (0xFF on failure).
std::uint8_t TmTouchByte(TmSession session, std::uint8_t byte);

// ---- memory mapping ----------------------------------------------------------
// Device families with a memory mapping, and their memory sizes in bytes.
struct TmFamilyMemory {
  std::uint8_t family;  // 0x08 DS1992, 0x06 DS1993, 0x04 DS1994, 0x0A DS1995, 0x0C DS1996
  const char* key;      // "MappingDS1992", ...
  std::uint32_t bytes;  // 128, 512, 512, 2048, 8192
};
inline constexpr TmFamilyMemory kTmFamilies[5] = {{0x08, "MappingDS1992", 128},
                                                  {0x06, "MappingDS1993", 512},
                                                  {0x04, "MappingDS1994", 512},
                                                  {0x0A, "MappingDS1995", 2048},
                                                  {0x0C, "MappingDS1996", 8192}};
// Whether byte `address` of devices of `family` is usable (not reserved by
// the mapping); false for other families and addresses beyond the memory.
bool TmByteUsable(std::uint8_t family, std::uint32_t address);
// The number of usable bytes of `family` (0 for other families).
std::uint32_t TmUsableBytes(std::uint8_t family);

// ---- CRC-8 ---------------------------------------------------------------------
// The Dallas 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, reflected 0x8C, initial 0,
// least significant bit first) of `size` bytes.
std::uint8_t TmCrc8(const std::uint8_t* data, std::uint32_t size);

}  // namespace nc::carriers
