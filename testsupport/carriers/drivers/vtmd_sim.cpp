// The simulated VTMD driver (see vtmd_sim.h).
#include "testsupport/carriers/drivers/vtmd_sim.h"

#include <cstring>

#include "platform/last_error.h"

namespace nc::carriers::drivers {

namespace {

constexpr std::uint32_t kBadFunction = 0xE0040001;
constexpr std::uint32_t kBadHandle = 0xE0040003;
constexpr std::uint32_t kExchangeError = 0xE0040004;
constexpr std::uint32_t kInvalidParameters = 0xE0040005;
constexpr DeviceHandle kDeviceHandle = 0x5644;  // one device, opened any number of times

bool Fail(std::uint32_t code) {
  platform::SetLastErrorCode(code);
  return false;
}

std::uint8_t Crc8(const std::uint8_t* data, int size) {
  // The driver's own check, byte-wise with the reflected polynomial.
  std::uint8_t crc = 0;
  for (int i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint8_t>((crc & 1) != 0 ? (crc >> 1) ^ 0x8C : crc >> 1);
    }
  }
  return crc;
}

}  // namespace

void SimulatedVtmdDriver::SetInstalled(bool installed) {
  std::lock_guard<std::mutex> lock(mutex_);
  installed_ = installed;
}

void SimulatedVtmdDriver::SetWindows9x(bool windows9x) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows9x_ = windows9x;
}

const char* SimulatedVtmdDriver::ParametersKey() {
  std::lock_guard<std::mutex> lock(mutex_);
  return windows9x_ ? kVtmdParametersKey9x : kVtmdParametersKeyNt;
}

DeviceHandle SimulatedVtmdDriver::Open() {
  if (std::uint32_t error = switches_.Enter("vtmd.open"); error != 0) {
    platform::SetLastErrorCode(error);
    return kNoDevice;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!installed_) {
    platform::SetLastErrorCode(platform::kErrorFileNotFound);
    return kNoDevice;
  }
  ++devices_;
  return kDeviceHandle;
}

void SimulatedVtmdDriver::Close(DeviceHandle device) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device == kDeviceHandle && devices_ > 0) --devices_;
}

bool SimulatedVtmdDriver::Request(DeviceHandle device, std::uint32_t code, const void* in,
                                  std::uint32_t inSize, void* out, std::uint32_t outSize,
                                  std::uint32_t* returned) {
  *returned = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (device != kDeviceHandle || devices_ == 0) {
      return Fail(6);  // ERROR_INVALID_HANDLE
    }
  }
  if (in == nullptr || inSize != 4) return Fail(kInvalidParameters);
  std::uint32_t input = 0;
  std::memcpy(&input, in, 4);

  switch (code) {
    case kVtmdOpenSession: {
      if (std::uint32_t error = switches_.Enter("vtmd.open_session"); error != 0) {
        return Fail(error);
      }
      if (out == nullptr || outSize < 4) return Fail(kInvalidParameters);
      std::uint32_t session = 0;
      if (switches_.Enter("vtmd.zero_session") == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        session = nextSession_++;
        sessions_.insert(session);
      }
      std::memcpy(out, &session, 4);
      *returned = 4;
      return true;
    }
    case kVtmdCloseSession: {
      if (std::uint32_t error = switches_.Enter("vtmd.close_session"); error != 0) {
        return Fail(error);
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (sessions_.erase(input) == 0) return Fail(kBadHandle);
      return true;
    }
    case kVtmdReadRom: {
      if (std::uint32_t error = switches_.Enter("vtmd.read_rom"); error != 0) return Fail(error);
      if (out == nullptr || outSize < 8) return Fail(kInvalidParameters);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sessions_.count(input) == 0) return Fail(kBadHandle);
      }
      if (!line_.Reset()) return Fail(kExchangeError);
      line_.Byte(0x33);
      std::uint8_t rom[8];
      for (std::uint8_t& b : rom) b = line_.Byte(0xFF);
      if (rom[0] == 0 || Crc8(rom, 7) != rom[7]) return Fail(kExchangeError);
      std::memcpy(out, rom, 8);
      *returned = 8;
      return true;
    }
    default:
      return Fail(kBadFunction);
  }
}

int SimulatedVtmdDriver::openDevices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

int SimulatedVtmdDriver::openSessions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(sessions_.size());
}

}  // namespace nc::carriers::drivers
