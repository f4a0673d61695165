// The Activator/M client simulated over a description of the attached
// dongle (carriers/simulated_devices.h).
//
// The dongle keeps 64 memory words. At a port timing inside its working
// range the probe answers 0 and reads and stores are exact; outside it the
// probe answers 3 and reads return garbage that changes from read to read
// (stores are garbled likewise). No dongle: the probe answers 1 and every
// access fails. Probe arguments other than 11 and 17 answer 2. Text stores
// put the bytes into the memory words from the word address on, low byte
// first.
#pragma once
#include "carriers/drivers/activator_client.h"
#include "testsupport/carriers/simulated_devices.h"

namespace nc::carriers::drivers {

class ActivatorSimulator final : public ActivatorClient {
 public:
  explicit ActivatorSimulator(SimulatedDevices& devices) : devices_(devices) {}
  void SetTiming(std::uint32_t first, std::uint32_t second, std::uint32_t third) override;
  int Probe(int first, int second) override;
  bool ReadWord(std::uint32_t address, std::uint16_t* value) override;
  bool StoreText(std::uint32_t address, const char* text, std::uint32_t length) override;
  bool ReadText(std::uint32_t address, char* text, std::uint32_t length) override;

 private:
  bool InRange() const;
  std::uint16_t Garbage(std::uint32_t address);
  SimulatedDevices& devices_;
  std::uint32_t timing_ = 0;
  std::uint32_t garbage_ = 0x9E37;
};

}  // namespace nc::carriers::drivers
