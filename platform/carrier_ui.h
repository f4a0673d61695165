// The carrier dialog as a user-interface backend presents it: a window with
// the controls of the "DLGHRD" template, addressed by their identifiers, and
// a modal loop that hands the user's actions, the timer and the posted
// messages to the dialog's logic (protect/carrier_dialog.h). The logic
// decides everything; a window only shows and reports.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nc::platform {

using WindowHandle = void*;

// Control identifiers of the carrier dialog.
enum CarrierControl : int {
  kCarrierOk = 1,
  kCarrierCancel = 2,
  kCarrierHelp = 9,
  kCarrierPassword = 1001,
  kCarrierSteps = 1009,
  kCarrierPasswordLabel = 1011,
  kCarrierTmLabel = 1012,
  kCarrierTmStatus = 1013,
  kCarrierQuadraLabel = 1014,
  kCarrierQuadraStatus = 1015,
  kCarrierActivatorStatus = 1018,
  kCarrierActivatorLabel = 1019,
  kCarrierTesselLabel = 1022,
  kCarrierTesselStatus = 1023,
};

// Sounds (MessageBeep types).
inline constexpr std::uint32_t kBeepQuestion = 0x20;
inline constexpr std::uint32_t kBeepSimple = 0xFFFFFFFF;

// Room for the password read from the window: 32 bytes and a terminator.
inline constexpr std::size_t kCarrierPasswordSize = 33;

// What the logic can do with the window. Calls come from the dialog's
// thread unless a method says otherwise.
class CarrierWindow {
 public:
  virtual ~CarrierWindow() = default;
  // Texts are in the library's encoding. Any thread (the polling thread
  // writes the status lines).
  virtual void SetText(int control, const char* text) = 0;
  // Any thread (the polling thread enables OK).
  virtual void Enable(int control, bool enabled) = 0;
  virtual void Focus(int control) = 0;
  // The password box's text as the bytes the key is made from (code page
  // 1251, as the Windows box gives it), at most size - 1 bytes, terminated.
  virtual void ReadPassword(char* buffer, std::size_t size) = 0;
  virtual void Hide() = 0;
  // The 500 ms timer; false when it cannot be started.
  virtual bool StartTimer(std::uint32_t periodMs) = 0;
  virtual void StopTimer() = 0;
  // Ends the modal loop with `result` once the current handler returns.
  virtual void End(int result) = 0;
  // Any thread: queue a command (OK, Cancel) or the fault message for the
  // dialog's thread, as PostMessage does.
  virtual void PostCommand(int command) = 0;
  virtual void PostFault() = 0;
  // Any thread.
  virtual void Beep(std::uint32_t type) = 0;
};

// The dialog's logic; the window calls it on the dialog's thread.
class CarrierDialogHandler {
 public:
  virtual ~CarrierDialogHandler() = default;
  virtual void OnInit(CarrierWindow& window) = 0;
  // OK, Cancel, Help and anything else the window reports.
  virtual void OnCommand(CarrierWindow& window, int command) = 0;
  virtual void OnTimer(CarrierWindow& window) = 0;
  virtual void OnFault(CarrierWindow& window) = 0;
};

}  // namespace nc::platform
