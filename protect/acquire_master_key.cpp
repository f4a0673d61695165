// AcquireMasterKey: the master key for a protection code, from one silent
// polling pass or from the carrier dialog, all of it under the fault guard.
#include <cstring>

#include "platform/exception_guard.h"
#include "platform/last_error.h"
#include "protect/carrier_dialog.h"
#include "protect/factor_readers.h"
#include "protect/master_key.h"

namespace nc::protect {

namespace {

struct Call {
  CarrierAuthState* state;
  bool success;
};

void Acquire(void* context) {
  Call& call = *static_cast<Call*>(context);
  CarrierAuthState& state = *call.state;
  if ((state.noLogo & 1) != 0) {
    // Silent: nobody to ask for a password; each carrier is read once.
    if ((state.code & kFactorPassword) != 0) return;
    bool finished = RunPolling(state);
    call.success = finished && (state.obtained.load() & 0xFFFF) == state.code;
    return;
  }
  call.success = RunCarrierDialog(state) != -1;
}

}  // namespace

int AcquireMasterKey(platform::WindowHandle parent, std::uint32_t code, int noLogo,
                     const std::uint8_t* challenge, std::uint32_t challengeLength,
                     MasterKeyBlock* out) {
  CarrierAuthState state;
  state.parent = parent;
  state.code = code;
  state.challenge = challenge;
  state.challengeLength = challengeLength;
  state.noLogo = static_cast<std::uint32_t>(noLogo);
  state.key.count = 2;
  Call call{&state, false};
  if (!platform::RunGuarded(Acquire, &call)) {
    // A fault on this thread abandoned the dialog: stop its polling thread
    // and close what it had open.
    call.success = false;
    state.dialogResult = -1;
    StopCarrierPolling(state);
    state.window.store(nullptr);
  }
  CloseDongleAccess(state);
  platform::SetLastErrorCode(call.success ? platform::kErrorSuccess : platform::kErrorLogonFailure);
  if (out != nullptr) {
    out->count = 2;
    std::memcpy(out->key, state.key.key, sizeof out->key);
  }
  return call.success ? 1 : 0;
}

}  // namespace nc::protect
