// The carrier dialog's logic: the step list, the status lines, the polling
// procedure on its own thread, OK enabled once every hardware factor is
// read, the password taken on OK, and the careful ending (stop event, a
// short wait for the thread, close-pending finished by the timer). The
// window itself is the user-interface backend's (platform/carrier_ui.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "protect/carrier_auth_state.h"

namespace nc::protect {

inline constexpr std::uint32_t kPollWaitMs = 170;
inline constexpr std::uint32_t kDialogTimerMs = 500;
inline constexpr std::uint32_t kEndWaitMs = 50;
inline constexpr int kDialogFaultMessage = 1034;  // WM_USER + 10

// Shows the dialog for `state` through the current backend: 0 when it
// ended through OK, -1 when cancelled or when it could not be shown.
int RunCarrierDialog(CarrierAuthState& state);

// The polling procedure: the dialog's thread body, or (silent mode) one
// pass on the caller's thread with no waits and no window.
void PollCarriers(CarrierAuthState& state);
// The same, telling whether it ended normally: false when a fault inside a
// reader ended it (then the Touch Memory session has been closed and the
// fault message posted to the window, if there is one).
bool RunPolling(CarrierAuthState& state);

// Ends what a dialog left running: signals the stop event and joins the
// polling thread, drops the stop event, and closes an open Touch Memory
// session (a fault inside its driver is caught). Does nothing when nothing
// is left. On the dialog's (the caller's) thread.
void StopCarrierPolling(CarrierAuthState& state);

// The numbered list of the requested steps ("\t%u. %s\n"; the Tessel step
// without the final new line), cut to `size` bytes with a terminator.
void ComposeStepList(std::uint32_t code, char* buffer, std::size_t size);

}  // namespace nc::protect
