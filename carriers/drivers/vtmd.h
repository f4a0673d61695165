// The VTMD Touch Memory driver, as the Touch Memory library sees it: a
// device opened by name and three device I/O control requests on it.
//
// System driver: on Windows the device "\\.\VTMD.VXD" through CreateFileW
// and DeviceIoControl; there is no such driver elsewhere, so opening it fails
// (last error 2) and the adapter types served by the driver report "driver
// not loaded" on POSIX. A simulator stands in for it in tests and
// demonstrations (installed through carriers/drivers/carrier_drivers.h).
#pragma once
#include <cstdint>

namespace nc::carriers::drivers {

// Requests (control codes) on the driver's device.
// In: 4 bytes (0). Out: 4 bytes, the session handle; 0 is a failure.
inline constexpr std::uint32_t kVtmdOpenSession = 0xC350E008;
// In: 4 bytes, the session handle. Out: none.
inline constexpr std::uint32_t kVtmdCloseSession = 0xC350E00C;
// In: 4 bytes, the session handle. Out: 8 bytes, the ROM code of the device
// on the reader.
inline constexpr std::uint32_t kVtmdReadRom = 0xC350E010;

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kNoDevice = 0;

// Registry keys (under HKEY_LOCAL_MACHINE) of the driver's parameters.
inline constexpr char kVtmdParametersKeyNt[] =
    "SYSTEM\\CurrentControlSet\\Services\\VTMD\\Parameters";
inline constexpr char kVtmdParametersKey9x[] =
    "SYSTEM\\CurrentControlSet\\Services\\VXD\\VTMD\\Parameters";

class VtmdDriver {
 public:
  virtual ~VtmdDriver() = default;
  // The key of the driver's parameters on this platform: the NT key on the
  // NT platform (and on POSIX, in the settings store), the VXD key otherwise.
  virtual const char* ParametersKey() = 0;
  // Opens the driver's device for reading and writing, shared, existing
  // only; kNoDevice with the last error set when it does not open.
  virtual DeviceHandle Open() = 0;
  virtual void Close(DeviceHandle device) = 0;
  // One request. False with the last error the driver set when it fails;
  // *returned gets the number of output bytes written.
  virtual bool Request(DeviceHandle device, std::uint32_t code, const void* in,
                       std::uint32_t inSize, void* out, std::uint32_t outSize,
                       std::uint32_t* returned) = 0;
};

// The platform's driver (see above).
VtmdDriver& SystemVtmdDriver();

}  // namespace nc::carriers::drivers
