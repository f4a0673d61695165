// The simulated NorvexQuadra client (see quadra_sim.h for its behaviour).
#include "testsupport/carriers/drivers/quadra_sim.h"

#include <cstring>

namespace nc::carriers::drivers {

namespace {

constexpr std::uint8_t kMagic[4] = {'N', 'Q', 'P', 'K'};
constexpr std::uint8_t kConfigured = 1;
constexpr std::uint8_t kInitialised = 2;
constexpr std::uint8_t kFound = 4;

constexpr std::uint16_t kBadPacket = 2;
constexpr std::uint16_t kNotFound = 3;
constexpr std::uint16_t kBadAddress = 5;
constexpr std::uint16_t kBadParameter = 16;
constexpr std::uint16_t kNotInitialised = 57;

bool Formatted(const std::uint8_t* packet) {
  return packet != nullptr && std::memcmp(packet, kMagic, 4) == 0;
}

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

std::uint16_t QuadraSimulator::Format(std::uint8_t* packet) {
  devices_.FaultPoint("quadra.format");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (std::uint32_t injected = devices_.Enter("quadra.format")) {
    return static_cast<std::uint16_t>(injected);
  }
  if (packet == nullptr) return kBadPacket;
  std::memset(packet, 0, kQuadraPacketSize);
  std::memcpy(packet, kMagic, 4);
  return 0;
}

std::uint16_t QuadraSimulator::Configure(std::uint8_t* packet, const std::uint8_t* config) {
  devices_.FaultPoint("quadra.configure");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (std::uint32_t injected = devices_.Enter("quadra.configure")) {
    return static_cast<std::uint16_t>(injected);
  }
  if (!Formatted(packet)) return kBadPacket;
  if (config == nullptr || Get16(config) != 1 || Get16(config + 2) != 4 || Get16(config + 4) != 2) {
    return kBadParameter;
  }
  packet[4] = kConfigured;
  return 0;
}

std::uint16_t QuadraSimulator::Initialize(std::uint8_t* packet) {
  devices_.FaultPoint("quadra.initialize");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (std::uint32_t injected = devices_.Enter("quadra.initialize")) {
    return static_cast<std::uint16_t>(injected);
  }
  if (!Formatted(packet)) return kBadPacket;
  if ((packet[4] & kConfigured) == 0) return kNotInitialised;
  packet[4] = kConfigured | kInitialised;
  return 0;
}

std::uint16_t QuadraSimulator::Search(std::uint8_t* packet, std::uint32_t from) {
  std::uint16_t developer = Get16(packet + 6);
  for (std::uint32_t i = from; i < devices_.quadra.size(); ++i) {
    if (devices_.quadra[i].developerId == developer) {
      Put16(packet + 8, i);
      packet[4] |= kFound;
      return 0;
    }
  }
  packet[4] &= static_cast<std::uint8_t>(~kFound);
  return kNotFound;
}

std::uint16_t QuadraSimulator::FindFirst(std::uint8_t* packet, std::uint16_t developerId) {
  devices_.FaultPoint("quadra.find_first");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (std::uint32_t injected = devices_.Enter("quadra.find_first")) {
    return static_cast<std::uint16_t>(injected);
  }
  if (!Formatted(packet)) return kBadPacket;
  if ((packet[4] & kInitialised) == 0) return kNotInitialised;
  Put16(packet + 6, developerId);
  return Search(packet, 0);
}

std::uint16_t QuadraSimulator::FindNext(std::uint8_t* packet) {
  devices_.FaultPoint("quadra.find_next");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  if (std::uint32_t injected = devices_.Enter("quadra.find_next")) {
    return static_cast<std::uint16_t>(injected);
  }
  if (!Formatted(packet)) return kBadPacket;
  if ((packet[4] & kInitialised) == 0) return kNotInitialised;
  if ((packet[4] & kFound) == 0) return kNotFound;
  return Search(packet, Get16(packet + 8) + 1u);
}

std::uint16_t QuadraSimulator::ReadCell(std::uint8_t* packet, std::uint16_t cell,
                                        std::uint16_t* value) {
  devices_.FaultPoint("quadra.read");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  devices_.log.quadraReads.push_back(cell);
  if (std::uint32_t injected = devices_.Enter("quadra.read")) {
    return static_cast<std::uint16_t>(injected);
  }
  if (!Formatted(packet)) return kBadPacket;
  if ((packet[4] & kFound) == 0) return kNotFound;
  std::uint32_t index = Get16(packet + 8);
  if (index >= devices_.quadra.size()) return kNotFound;  // unplugged meanwhile
  if (cell >= kSimQuadraCells) return kBadAddress;
  if (value != nullptr) *value = devices_.quadra[index].cells[cell];
  return 0;
}

}  // namespace nc::carriers::drivers
