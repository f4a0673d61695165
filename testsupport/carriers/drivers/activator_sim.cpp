// The simulated Activator/M client (see activator_sim.h for its behaviour).
#include "testsupport/carriers/drivers/activator_sim.h"

namespace nc::carriers::drivers {

bool ActivatorSimulator::InRange() const {
  return devices_.activator && timing_ >= devices_.activator->minTiming &&
         timing_ <= devices_.activator->maxTiming;
}

// Reads at a wrong timing pick up bits from neighbouring strobes: a value
// that differs from the stored one and from one read to the next.
std::uint16_t ActivatorSimulator::Garbage(std::uint32_t address) {
  garbage_ = garbage_ * 1103515245u + 12345u + address;
  std::uint16_t noise = static_cast<std::uint16_t>((garbage_ >> 16) | 1u);
  return static_cast<std::uint16_t>(devices_.activator->words[address] ^ noise);
}

void ActivatorSimulator::SetTiming(std::uint32_t first, std::uint32_t second, std::uint32_t third) {
  devices_.FaultPoint("activator.timing");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  devices_.Enter("activator.timing");
  devices_.log.activatorTimings.push_back(first);
  // The client keeps one timing; three different values would be a caller's
  // mistake, and the dongle then answers to none of them.
  timing_ = (first == second && second == third) ? first : 0;
}

int ActivatorSimulator::Probe(int first, int second) {
  devices_.FaultPoint("activator.probe");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (std::uint32_t injected = devices_.Enter("activator.probe")) {
    return static_cast<int>(injected);
  }
  if (!devices_.activator) return 1;
  if (first != 11 || second != 17) return 2;
  return InRange() ? 0 : 3;
}

bool ActivatorSimulator::ReadWord(std::uint32_t address, std::uint16_t* value) {
  devices_.FaultPoint("activator.read");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  devices_.log.activatorReads.push_back(address);
  std::uint32_t mask = devices_.Enter("activator.read");
  if (!devices_.activator || address >= kSimActivatorWords || value == nullptr) return false;
  std::uint16_t word = InRange() ? devices_.activator->words[address] : Garbage(address);
  *value = static_cast<std::uint16_t>(word ^ mask);
  return true;
}

bool ActivatorSimulator::StoreText(std::uint32_t address, const char* text, std::uint32_t length) {
  devices_.FaultPoint("activator.store");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (devices_.Enter("activator.store") != 0) return false;
  if (!devices_.activator || text == nullptr) return false;
  if (address + (length + 1) / 2 > kSimActivatorWords) return false;
  auto& words = devices_.activator->words;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint16_t& word = words[address + i / 2];
    std::uint16_t byte = static_cast<std::uint8_t>(text[i]);
    word = (i % 2 == 0) ? static_cast<std::uint16_t>((word & 0xFF00) | byte)
                        : static_cast<std::uint16_t>((word & 0x00FF) | (byte << 8));
  }
  if (!InRange()) {
    for (std::uint32_t i = 0; i < (length + 1) / 2; ++i) {
      words[address + i] = Garbage(address + i);
    }
  }
  return true;
}

bool ActivatorSimulator::ReadText(std::uint32_t address, char* text, std::uint32_t length) {
  devices_.FaultPoint("activator.read_text");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  devices_.Enter("activator.read_text");
  if (!devices_.activator || text == nullptr) return false;
  if (address + (length + 1) / 2 > kSimActivatorWords) return false;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint16_t word =
        InRange() ? devices_.activator->words[address + i / 2] : Garbage(address + i / 2);
    text[i] = static_cast<char>(i % 2 == 0 ? word & 0xFF : word >> 8);
  }
  return true;
}

}  // namespace nc::carriers::drivers
