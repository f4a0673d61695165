// The common ground of the Touch Memory simulators: the 1-Wire line of a
// reader with its iButton devices, the passive serial adapter that turns
// UART bytes into 1-Wire time slots on it, and the switches that make
// chosen simulator calls fail or fault.
//
// The line behaves slot by slot as the devices do: a reset is answered with
// a presence pulse when a device is on the reader; the devices then take an
// 8-bit command (least significant bit first); after Read ROM (0x33) they
// send their 64-bit ROM codes, least significant bit first, every device at
// once (the line is the AND of them, so two devices garble each other as
// they do on a real line); any other command leaves them silent until the
// next reset.
//
// The passive adapter: a byte sent below 57600 baud is a reset (the library
// sends 0xC0 at 14400); it comes back as 0xC0 when no device pulls the line
// low, and as 0x80 when a presence pulse does. A byte sent at 57600 baud or
// more is one time slot: bit 0 set (0xFF) writes a 1 or reads, clear (0x00)
// writes a 0; it comes back unchanged when the line stayed high, with bits
// 0 and 1 cleared when a device held it low. An adapter that is not there
// answers nothing.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nc::carriers::drivers {

using RomCode = std::array<std::uint8_t, 8>;

// A ROM code from a family code and a 48-bit serial number, with its CRC-8
// (computed here on its own, as the devices' shift register does).
RomCode MakeRomCode(std::uint8_t family, std::uint64_t serial);

// ---- switches -------------------------------------------------------------------------

// Calls of the simulators that a description can make fail or fault, by
// name: the next results of a call in order, then one result for every
// later call; a result of 0 lets the call through. The fault: an access
// violation inside the named call (for the callers' exception guards).
class SimSwitches {
 public:
  void FailNext(const std::string& call, std::vector<std::uint32_t> results);
  void FailAlways(const std::string& call, std::uint32_t result);
  void FaultOn(const std::string& call);
  void Clear();
  // For the simulators: counts the call, faults when it is the fault's, and
  // returns the injected result (0: none). Nothing of the caller's frame
  // needs cleaning up when the fault abandons it.
  std::uint32_t Enter(const char* call);
  int Calls(const std::string& call) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::deque<std::uint32_t>> next_;
  std::map<std::string, std::uint32_t> always_;
  std::map<std::string, int> calls_;
  std::string fault_;
};

// ---- the 1-Wire line ----------------------------------------------------------------

class OneWireLine {
 public:
  void SetDevices(std::vector<RomCode> devices);
  std::vector<RomCode> Devices() const;
  // ROM byte `index` (0..7) leaves the devices XORed with `mask` (0: off),
  // as a disturbed line would deliver it.
  void CorruptRomByte(int index, std::uint8_t mask);

  // A reset pulse: true when a device answers with a presence pulse.
  bool Reset();
  // One time slot: the master writes `bit` (1 also to read); the line's
  // level in the slot.
  bool Slot(bool bit);
  // A whole byte of slots, least significant bit first; the byte read back.
  std::uint8_t Byte(std::uint8_t byte);

  int resets() const;

 private:
  enum class State { Idle, Command, ReadRom };
  mutable std::mutex mutex_;
  std::vector<RomCode> devices_;
  int corruptIndex_ = -1;
  std::uint8_t corruptMask_ = 0;
  State state_ = State::Idle;
  int bit_ = 0;
  std::uint8_t command_ = 0;
  int resets_ = 0;
};

// ---- the passive serial adapter -------------------------------------------------------

class PassiveAdapter {
 public:
  explicit PassiveAdapter(OneWireLine& line) : line_(line) {}
  // False: nothing is attached to the port (no answer at all).
  void SetPresent(bool present);
  bool present() const;
  // What the port receives back for `sent` at `baud`; nothing when the
  // adapter is not there.
  std::optional<std::uint8_t> Exchange(std::uint8_t sent, std::uint32_t baud);

 private:
  OneWireLine& line_;
  mutable std::mutex mutex_;
  bool present_ = true;
};

}  // namespace nc::carriers::drivers
