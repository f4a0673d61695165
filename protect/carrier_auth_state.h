// The record AcquireMasterKey keeps for one call and shares with the
// carrier dialog, its polling thread and the factor readers: what is asked
// for, what has been obtained, the dialog's bookkeeping, the last status
// shown per carrier, and the master key being put together.
//
// The polling thread writes the hardware bits of `obtained`, the hardware
// contributions, the last-status fields and the status lines; the dialog's
// thread writes the password bit and contribution only after OK has been
// enabled, which happens after the polling thread's last write. The window
// pointer is read by the polling thread and cleared by the dialog only after
// that thread has ended.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "carriers/touch_memory.h"
#include "platform/carrier_ui.h"
#include "protect/stop_event.h"

namespace nc::protect {

// Protection factors (the protection code's bits).
inline constexpr std::uint32_t kFactorPassword = 0x01;
inline constexpr std::uint32_t kFactorTouchMemory = 0x02;
inline constexpr std::uint32_t kFactorQuadra = 0x04;
inline constexpr std::uint32_t kFactorActivator = 0x08;
inline constexpr std::uint32_t kFactorTessel = 0x10;
inline constexpr std::uint32_t kHardwareFactors =
    kFactorTouchMemory | kFactorQuadra | kFactorActivator | kFactorTessel;
// Further bits of `obtained`: carrier access initialised during this call.
inline constexpr std::uint32_t kObtainedTmLibrary = 0x10000;
inline constexpr std::uint32_t kObtainedActivatorAccess = 0x20000;
inline constexpr std::uint32_t kObtainedQuadraAccess = 0x40000;

// The master key in word-block form: count 2, then the 8 key bytes. It is
// the first 12 bytes of a DesKeyContext.
struct MasterKeyBlock {
  std::uint32_t count = 2;
  std::uint8_t key[8] = {};
};
static_assert(sizeof(MasterKeyBlock) == 12);

struct CarrierAuthState {
  platform::WindowHandle parent = nullptr;
  std::uint32_t code = 0;  // the protection code asked for
  const std::uint8_t* challenge = nullptr;
  std::uint32_t challengeLength = 0;
  std::uint32_t noLogo = 0;  // bit 0: silent mode, no window
  std::int32_t dialogResult = -1;
  std::atomic<platform::CarrierWindow*> window{nullptr};  // null: no window
  std::uint32_t timer = 0;
  std::uint32_t closePending = 0;
  std::thread pollingThread;
  std::unique_ptr<StopEvent> stopEvent;
  // Signalled by the polling thread as its last act: a std::thread cannot
  // be waited for with a time limit. Kept here, in the caller's record, so
  // that a fault abandoning the dialog leaves nothing of it behind.
  StopEvent pollingEnded;
  carriers::TmSession tmSession = 0;
  std::atomic<std::uint32_t> obtained{0};
  std::uint32_t lastTmError = 0;
  std::uint16_t lastQuadraStatus = 0;
  const char* lastActivatorMessage = nullptr;
  std::uint32_t lastTesselError = 0;
  MasterKeyBlock key;

  CarrierAuthState() = default;
  CarrierAuthState(const CarrierAuthState&) = delete;
  CarrierAuthState& operator=(const CarrierAuthState&) = delete;
  // Joins a polling thread still running and wipes the key.
  ~CarrierAuthState();
};

}  // namespace nc::protect
