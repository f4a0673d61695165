// The Tessel driver and tokens simulated over a description of the attached
// tokens (carriers/simulated_devices.h).
//
// Requests the token answers (data as the layer sends it: the first two
// 16-bit parameters, then the further bytes; see carriers/tessel.h):
//   3    begin (1) or end (2) an exchange          -> status
//   258  serial number                             -> 8 bytes
//   260  directory entry (directory, index)        -> 8 bytes: identifier
//        (u16), size (u32), type (u8), 0; the root directory is 0, an index
//        past the last entry gives type 0
//   261  select file (directory, index)            -> status
//   263  read the selected file (word offset, length <= 64) -> length bytes
//   273  keyed hash of one 80-byte block with the selected key file -> 16 bytes
// Requests other than 3 need a begun exchange (else status 1, access
// denied). Errors answer one status byte, 0x80 | the raw status: 3 unknown
// request, 4 directory not found, 5 file not found, 11 bad parameter, 12 bad
// file type (a keyed hash on anything but a key file, a read of a key file).
#pragma once
#include <map>

#include "carriers/drivers/tessel_driver.h"
#include "testsupport/carriers/simulated_devices.h"

namespace nc::carriers::drivers {

class TesselSimulator final : public TesselDriver {
 public:
  explicit TesselSimulator(SimulatedDevices& devices) : devices_(devices) {}
  TesselHandle Open(std::uint32_t* error) override;
  void Close(TesselHandle device) override;
  bool Control(TesselHandle device, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t* returned,
               std::uint32_t* error) override;

 private:
  struct Selection {
    std::array<std::uint8_t, 8> serial{};  // the token, found again by serial
    bool exchange = false;
    bool file = false;  // a file is selected: entry fileIndex of fileDirectory
    std::uint16_t fileDirectory = 0;
    std::uint16_t fileIndex = 0;
  };
  struct Open_ {
    std::map<std::uint32_t, Selection> selected;  // by identifier
  };
  SimTesselToken* TokenOf(const Selection& selection);
  bool Request(Selection& selection, const std::uint8_t* block, std::uint8_t* out,
               std::uint32_t outSize, std::uint32_t* returned);

  SimulatedDevices& devices_;
  std::map<TesselHandle, Open_> open_;
  TesselHandle nextHandle_ = 0x100;
  std::uint32_t nextIdentifier_ = 0x5E550001;
};

}  // namespace nc::carriers::drivers
