#include "protect/carrier_auth_state.h"

#include "zq/wipe.h"

namespace nc::protect {

CarrierAuthState::~CarrierAuthState() {
  // The polling thread never outlives the record it works on.
  if (pollingThread.joinable()) {
    if (stopEvent != nullptr) stopEvent->Signal();
    pollingThread.join();
  }
  SecureWipe(key.key, sizeof key.key);
}

}  // namespace nc::protect
