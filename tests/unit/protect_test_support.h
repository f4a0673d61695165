// The key-protection tests' common ground: every carrier simulated (Touch
// Memory on the driver path, the dongles and the token), a recording
// carrier window, and a call's state record set up for a code.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "carriers/touch_memory.h"
#include "testsupport/carriers/touch_memory_sim.h"
#include "platform/carrier_ui.h"
#include "platform/settings.h"
#include "protect/carrier_auth_state.h"
#include "protect/master_key.h"
#include "touch_memory_test_support.h"

namespace nc::test {

// What a reader wrote into the status lines, in order (other calls are
// not the readers' business and are ignored).
class RecordingCarrierWindow : public nc::platform::CarrierWindow {
 public:
  struct Line {
    int control;
    std::string text;
    bool operator==(const Line&) const = default;
  };
  void SetText(int control, const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({control, text});
  }
  void Enable(int, bool) override {}
  void Focus(int) override {}
  void ReadPassword(char* buffer, std::size_t size) override {
    if (size != 0) buffer[0] = '\0';
  }
  void Hide() override {}
  bool StartTimer(std::uint32_t) override { return true; }
  void StopTimer() override {}
  void End(int) override {}
  void PostCommand(int) override {}
  void PostFault() override {}
  void Beep(std::uint32_t) override {}

  std::vector<Line> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<Line> lines_;
};

using Key8 = std::array<std::uint8_t, 8>;

inline Key8 KeyOf(const nc::protect::CarrierAuthState& state) {
  Key8 key;
  std::memcpy(key.data(), state.key.key, 8);
  return key;
}

// The key a password gives, from the bytes the password box hands over.
inline Key8 PasswordKeyOf(const std::string& bytes) {
  nc::protect::CarrierAuthState state;
  char password[nc::platform::kCarrierPasswordSize] = {};
  std::memcpy(password, bytes.data(), std::min(bytes.size(), sizeof password - 1));
  nc::protect::AddPasswordFactor(state, password);
  return KeyOf(state);
}

inline Key8 Xor(const Key8& a, const Key8& b) {
  Key8 out;
  for (std::size_t i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(a[i] ^ b[i]);
  return out;
}

// A state record as AcquireMasterKey fills it for `code`, with the window
// given (null: silent mode).
inline std::unique_ptr<nc::protect::CarrierAuthState> NewAuthState(
    std::uint32_t code, const std::uint8_t* challenge = nullptr, std::uint32_t length = 0,
    nc::platform::CarrierWindow* window = nullptr) {
  auto state = std::make_unique<nc::protect::CarrierAuthState>();
  state->code = code;
  state->challenge = challenge;
  state->challengeLength = length;
  state->noLogo = window == nullptr ? 1 : 0;
  state->window = window;
  return state;
}

// Every carrier simulated: a Touch Memory reader on the VTMD driver path
// (adapter type 0) holding one device, and the dongle and token simulators
// (devices_, empty until a test fills it). The Touch Memory library is
// shut down afterwards, so that every test initialises it afresh.
class ProtectTest : public CarrierTest {
 protected:
  ProtectTest() {
    tm_.SetDevices({kTmDevice});
    EXPECT_TRUE(nc::platform::WriteSettingDword(TmKey(), "AdpType", 0));
  }
  ~ProtectTest() override {
    nc::carriers::TmShutdown();
    nc::platform::DeleteSettingsKey(TmKey());
  }
  const char* TmKey() { return tm_.vtmd().ParametersKey(); }

  static inline const nc::carriers::drivers::RomCode kTmDevice =
      nc::carriers::drivers::MakeRomCode(0x02, 0x0001B81C);  // 02 1c b8 01 00 00 00 a2
  static inline const nc::carriers::drivers::RomCode kOtherTmDevice =
      nc::carriers::drivers::MakeRomCode(0x01, 0x123456789ABC);

  PrivateProfile profile_;
  nc::carriers::SimulatedTouchMemory tm_;
  nc::carriers::ScopedSimulatedTouchMemory tmInstalled_{tm_};
};

}  // namespace nc::test
