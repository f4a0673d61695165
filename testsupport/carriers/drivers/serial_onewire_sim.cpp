// The simulated 1-Wire line, passive adapter and switches.
#include "testsupport/carriers/drivers/serial_onewire_sim.h"

namespace nc::carriers::drivers {

namespace {

// The CRC as the devices compute it: an 8-bit shift register fed one bit at
// a time, the feedback (input XOR register bit 0) entering at the top and
// XORed into the positions of x^5 and x^4 on the way down.
std::uint8_t ShiftRegisterCrc(const std::uint8_t* data, int size) {
  unsigned reg = 0;
  for (int i = 0; i < size; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      unsigned in = (data[i] >> bit) & 1u;
      unsigned feedback = in ^ (reg & 1u);
      reg >>= 1;
      if (feedback != 0) reg ^= (1u << 7) | (1u << 3) | (1u << 2);
    }
  }
  return static_cast<std::uint8_t>(reg);
}

// An address in the never-mapped first page, hidden from the optimiser.
volatile std::uintptr_t g_faultAddress = 16;

[[gnu::noinline]] void Fault() { *reinterpret_cast<volatile int*>(g_faultAddress) = 1; }

}  // namespace

RomCode MakeRomCode(std::uint8_t family, std::uint64_t serial) {
  RomCode rom{};
  rom[0] = family;
  for (int i = 0; i < 6; ++i) rom[1 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
  rom[7] = ShiftRegisterCrc(rom.data(), 7);
  return rom;
}

// ---- switches -------------------------------------------------------------------------

void SimSwitches::FailNext(const std::string& call, std::vector<std::uint32_t> results) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::uint32_t r : results) next_[call].push_back(r);
}

void SimSwitches::FailAlways(const std::string& call, std::uint32_t result) {
  std::lock_guard<std::mutex> lock(mutex_);
  always_[call] = result;
}

void SimSwitches::FaultOn(const std::string& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  fault_ = call;
}

void SimSwitches::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  next_.clear();
  always_.clear();
  fault_.clear();
}

std::uint32_t SimSwitches::Enter(const char* name) {
  bool fault;
  std::uint32_t result = 0;
  {
    std::string call = name;
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_[call];
    fault = !fault_.empty() && fault_ == call;
    if (auto n = next_.find(call); n != next_.end() && !n->second.empty()) {
      result = n->second.front();
      n->second.pop_front();
    } else if (auto a = always_.find(call); a != always_.end()) {
      result = a->second;
    }
  }
  if (fault) Fault();  // outside the lock: the fault abandons this frame
  return result;
}

int SimSwitches::Calls(const std::string& call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto c = calls_.find(call);
  return c == calls_.end() ? 0 : c->second;
}

// ---- the 1-Wire line ----------------------------------------------------------------

void OneWireLine::SetDevices(std::vector<RomCode> devices) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_ = std::move(devices);
  state_ = State::Idle;  // a device put on or taken off waits for a reset
}

std::vector<RomCode> OneWireLine::Devices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

void OneWireLine::CorruptRomByte(int index, std::uint8_t mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  corruptIndex_ = mask != 0 ? index : -1;
  corruptMask_ = mask;
}

bool OneWireLine::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++resets_;
  bit_ = 0;
  command_ = 0;
  state_ = devices_.empty() ? State::Idle : State::Command;
  return !devices_.empty();
}

bool OneWireLine::Slot(bool bit) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (state_) {
    case State::Idle:
      return bit;
    case State::Command:
      if (bit) command_ = static_cast<std::uint8_t>(command_ | (1u << bit_));
      if (++bit_ == 8) {
        state_ = command_ == 0x33 ? State::ReadRom : State::Idle;
        bit_ = 0;
      }
      return bit;
    case State::ReadRom: {
      bool level = bit;  // a written 0 holds the line low whatever the devices do
      int byte = bit_ / 8;
      for (const RomCode& rom : devices_) {
        std::uint8_t value = rom[static_cast<std::size_t>(byte)];
        if (byte == corruptIndex_) value ^= corruptMask_;
        if (((value >> (bit_ % 8)) & 1) == 0) level = false;
      }
      if (++bit_ == 64) state_ = State::Idle;
      return level;
    }
  }
  return bit;
}

std::uint8_t OneWireLine::Byte(std::uint8_t byte) {
  std::uint8_t result = 0;
  for (int i = 0; i < 8; ++i) {
    if (Slot(((byte >> i) & 1) != 0)) result = static_cast<std::uint8_t>(result | (1u << i));
  }
  return result;
}

int OneWireLine::resets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resets_;
}

// ---- the passive serial adapter -------------------------------------------------------

void PassiveAdapter::SetPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = present;
}

bool PassiveAdapter::present() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return present_;
}

std::optional<std::uint8_t> PassiveAdapter::Exchange(std::uint8_t sent, std::uint32_t baud) {
  if (!present()) return std::nullopt;
  if (baud < 57600) {
    bool presence = line_.Reset();
    return presence ? static_cast<std::uint8_t>(sent & 0x80) : sent;
  }
  bool level = line_.Slot((sent & 1) != 0);
  return level ? sent : static_cast<std::uint8_t>(sent & 0xFC);
}

}  // namespace nc::carriers::drivers
