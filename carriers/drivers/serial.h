// Ports as the Touch Memory library uses them: a serial port for a passive
// 1-Wire adapter, and any adapter's port (COM or LPT) held open exclusively
// while a session lasts.
//
// System ports: platform/serial_port.h (the comm API on Windows, termios on
// POSIX, where "COMn" maps to a device path through the settings store). An
// in-process simulator with passive adapters stands in for them in tests
// and demonstrations (installed through carriers/drivers/carrier_drivers.h).
#pragma once
#include <cstdint>

namespace nc::carriers::drivers {

using PortHandle = std::intptr_t;
inline constexpr PortHandle kNoPort = 0;

class SerialDriver {
 public:
  virtual ~SerialDriver() = default;
  // Opens "COMn" or "LPTn" for reading and writing, not shared, existing
  // only. kNoPort with the last error set: 5 (access denied) when someone
  // holds the port.
  virtual PortHandle Open(const char* name) = 0;
  virtual void Close(PortHandle port) = 0;
  // The adapter's line and queues (platform/serial_port.h), purged.
  virtual bool Configure(PortHandle port) = 0;
  virtual bool SetBaud(PortHandle port, std::uint32_t baud) = 0;
  virtual bool Purge(PortHandle port) = 0;
  // Both wait at most 500 ms per byte and return true with *done short on a
  // time-out; false on an error.
  virtual bool Write(PortHandle port, const void* data, std::uint32_t size,
                     std::uint32_t* done) = 0;
  virtual bool Read(PortHandle port, void* data, std::uint32_t size, std::uint32_t* done) = 0;
  // The comm error bits since the last call and the bytes waiting.
  virtual bool ClearErrors(PortHandle port, std::uint32_t* errors, std::uint32_t* queued) = 0;
};

SerialDriver& SystemSerialDriver();

}  // namespace nc::carriers::drivers
