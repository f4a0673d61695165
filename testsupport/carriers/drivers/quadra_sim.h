// The NorvexQuadra client simulated over a description of the attached
// dongles (carriers/simulated_devices.h).
//
// The request packet: bytes 0..3 "NQPK" once formatted; byte 4 the state
// (1 configured, 2 initialised, 4 a dongle found); bytes 6..7 the developer
// identifier searched; bytes 8..9 the index of the dongle found. Statuses:
// a packet not formatted 2; a configuration block other than 1, 4, 2 in its
// first three 16-bit fields 16; a search before initialisation 57; no
// (further) dongle of the identifier 3; a cell read with no dongle found 3;
// a cell beyond 63 5. Injected statuses (quadra.*) come first.
#pragma once
#include "carriers/drivers/quadra_client.h"
#include "testsupport/carriers/simulated_devices.h"

namespace nc::carriers::drivers {

class QuadraSimulator final : public QuadraClient {
 public:
  explicit QuadraSimulator(SimulatedDevices& devices) : devices_(devices) {}
  std::uint16_t Format(std::uint8_t* packet) override;
  std::uint16_t Configure(std::uint8_t* packet, const std::uint8_t* config) override;
  std::uint16_t Initialize(std::uint8_t* packet) override;
  std::uint16_t FindFirst(std::uint8_t* packet, std::uint16_t developerId) override;
  std::uint16_t FindNext(std::uint8_t* packet) override;
  std::uint16_t ReadCell(std::uint8_t* packet, std::uint16_t cell, std::uint16_t* value) override;

 private:
  std::uint16_t Search(std::uint8_t* packet, std::uint32_t from);
  SimulatedDevices& devices_;
};

}  // namespace nc::carriers::drivers
