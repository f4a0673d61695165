// The VTMD driver simulated over a 1-Wire line (serial_onewire_sim.h).
//
// The device opens unless the driver is "not installed". Requests:
//   open session   a new session number (1, 2, ...);
//   read ROM       a reset, Read ROM and 64 read slots on the line, the ROM
//                  code checked (family not 0, CRC-8) as the driver does:
//                  no presence or a bad code fails with 0xE0040004; an
//                  unknown session with 0xE0040003;
//   close session  an unknown session fails with 0xE0040003.
// Any other code fails with 0xE0040001. Switches (SimSwitches), each
// result the Windows error the call fails with: "vtmd.open" (the device does
// not open), "vtmd.open_session", "vtmd.read_rom", "vtmd.close_session";
// "vtmd.zero_session" (nonzero: the open-session request succeeds with
// session 0). Each of these names can also be the fault's.
#pragma once
#include <set>
#include <string>

#include "testsupport/carriers/drivers/serial_onewire_sim.h"
#include "carriers/drivers/vtmd.h"

namespace nc::carriers::drivers {

class SimulatedVtmdDriver final : public VtmdDriver {
 public:
  SimulatedVtmdDriver(OneWireLine& line, SimSwitches& switches)
      : line_(line), switches_(switches) {}

  void SetInstalled(bool installed);
  // The Windows 9x platform: the parameters live under the VXD key.
  void SetWindows9x(bool windows9x);

  const char* ParametersKey() override;
  DeviceHandle Open() override;
  void Close(DeviceHandle device) override;
  bool Request(DeviceHandle device, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t* returned) override;

  int openDevices() const;
  int openSessions() const;

 private:
  OneWireLine& line_;
  SimSwitches& switches_;
  mutable std::mutex mutex_;
  bool installed_ = true;
  bool windows9x_ = false;
  int devices_ = 0;
  std::uint32_t nextSession_ = 1;
  std::set<std::uint32_t> sessions_;
};

}  // namespace nc::carriers::drivers
