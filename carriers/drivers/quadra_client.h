// The NorvexQuadra dongle client, as the dongle layer (carriers/quadra.h)
// sees it: calls on a request packet of 1028 bytes that the caller owns and
// the client formats and keeps its state in. Every call returns the
// client's 16-bit status, 0 for success (texts in carriers/quadra.h).
//
// There is no NorvexQuadra client on these systems: unless one is installed
// (carriers/drivers/carrier_drivers.h) every call answers status 12, "driver
// not found".
#pragma once
#include <cstdint>

namespace nc::carriers::drivers {

inline constexpr std::uint32_t kQuadraPacketSize = 1028;
inline constexpr std::uint32_t kQuadraConfigSize = 32;

class QuadraClient {
 public:
  virtual ~QuadraClient() = default;
  // Formats `packet` (kQuadraPacketSize bytes) for a new call sequence.
  virtual std::uint16_t Format(std::uint8_t* packet) = 0;
  // Configures the client with a kQuadraConfigSize-byte parameter block.
  virtual std::uint16_t Configure(std::uint8_t* packet, const std::uint8_t* config) = 0;
  virtual std::uint16_t Initialize(std::uint8_t* packet) = 0;
  // The first dongle of a developer identifier, then the following ones.
  virtual std::uint16_t FindFirst(std::uint8_t* packet, std::uint16_t developerId) = 0;
  virtual std::uint16_t FindNext(std::uint8_t* packet) = 0;
  // One 16-bit memory cell of the dongle found last.
  virtual std::uint16_t ReadCell(std::uint8_t* packet, std::uint16_t cell,
                                 std::uint16_t* value) = 0;
};

// The client in use: an installed one, else the one that finds no driver.
QuadraClient& CurrentQuadraClient();

}  // namespace nc::carriers::drivers
