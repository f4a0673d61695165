// The Tessel token driver, as the token layer (carriers/tessel.h) sees it: a
// device opened by name and four device I/O control requests on it.
//
// System driver: on Windows the device "\\.\TESSELDRVR" through CreateFileW
// and DeviceIoControl (carriers/drivers/tessel_driver_win32.cpp); there is
// no such driver elsewhere, so opening it fails with last error 2. Another
// driver may be installed in its place (carriers/drivers/carrier_drivers.h).
//
// ---- requests ------------------------------------------------------------------
// kTesselGetVersion  in: none.  out: 4 bytes, the driver version (u32 LE).
// kTesselSelect      in/out: 48-byte TesselSelectBlock. In: the token index.
//                    Out: the token's identifier and the select result
//                    (0 selected, 6 no token at that index, 21 the token is
//                    in use by another application).
// kTesselRelease     in: 48-byte TesselSelectBlock with the identifier.
// kTesselRequest     in: the 272-byte request block (carriers/tessel.h);
//                    out: the token's response, at most 64 bytes.
// All integers little-endian.
#pragma once
#include <cstdint>

namespace nc::carriers::drivers {

inline constexpr std::uint32_t kTesselGetVersion = 0x220400;
inline constexpr std::uint32_t kTesselSelect = 0x220404;
inline constexpr std::uint32_t kTesselRelease = 0x220408;
inline constexpr std::uint32_t kTesselRequest = 0x22040C;

inline constexpr std::uint32_t kTesselSelectBlockSize = 48;
inline constexpr std::uint32_t kTesselRequestBlockSize = 272;
inline constexpr std::uint32_t kTesselMaxResponse = 64;

// Offsets in the 48-byte select block (the other bytes are zero).
inline constexpr std::uint32_t kSelectIndexOffset = 0;       // u32, in
inline constexpr std::uint32_t kSelectIdentifierOffset = 4;  // u32, out (in for release)
inline constexpr std::uint32_t kSelectResultOffset = 8;      // u32, out
inline constexpr std::uint32_t kSelectedToken = 0;
inline constexpr std::uint32_t kSelectNoToken = 6;
inline constexpr std::uint32_t kSelectTokenBusy = 21;

using TesselHandle = std::intptr_t;
inline constexpr TesselHandle kNoTessel = 0;

class TesselDriver {
 public:
  virtual ~TesselDriver() = default;
  // Opens the driver's device for reading and writing, shared reading and
  // writing, existing only; kNoTessel with the Windows error in *error
  // when it does not open.
  virtual TesselHandle Open(std::uint32_t* error) = 0;
  virtual void Close(TesselHandle device) = 0;
  // One request (DeviceIoControl). False with the Windows error in *error
  // when the call fails; *returned gets the number of output bytes.
  virtual bool Control(TesselHandle device, std::uint32_t code, const void* in,
                       std::uint32_t inSize, void* out, std::uint32_t outSize,
                       std::uint32_t* returned, std::uint32_t* error) = 0;
};

// The system's driver (see above).
TesselDriver& SystemTesselDriver();
// The driver in use: an installed one, else the system's.
TesselDriver& CurrentTesselDriver();

}  // namespace nc::carriers::drivers
