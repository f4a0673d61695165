// The Activator/M dongle client, as the dongle layer (carriers/activator.h)
// sees it: the parallel-port protocol with an adjustable port timing, a
// presence probe and word access to the dongle's memory.
//
// There is no Activator/M client on these systems: unless one is installed
// (carriers/drivers/carrier_drivers.h) the probe never finds a dongle and
// every access fails.
#pragma once
#include <cstdint>

namespace nc::carriers::drivers {

class ActivatorClient {
 public:
  virtual ~ActivatorClient() = default;
  // The port timing; the layer passes its one value three times.
  virtual void SetTiming(std::uint32_t first, std::uint32_t second, std::uint32_t third) = 0;
  // 0 when a dongle answers (the layer passes 11 and 17).
  virtual int Probe(int first, int second) = 0;
  // One 16-bit word at a word address; false when the access fails.
  virtual bool ReadWord(std::uint32_t address, std::uint16_t* value) = 0;
  // Stores `length` bytes of text at a word address, and reads them back.
  virtual bool StoreText(std::uint32_t address, const char* text, std::uint32_t length) = 0;
  virtual bool ReadText(std::uint32_t address, char* text, std::uint32_t length) = 0;
};

// The client in use: an installed one, else the one that finds no dongle.
ActivatorClient& CurrentActivatorClient();

}  // namespace nc::carriers::drivers
