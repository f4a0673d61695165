// The hardware factor readers. Each takes the call's state, makes one
// attempt and, on success, folds the factor's contribution into the master
// key and sets its obtained bit. Each returns at once when its factor is not
// requested or already obtained, and writes its status line only while a
// dialog window exists (and only when the status differs from the last one
// shown; "OK" on every success).
#pragma once
#include "protect/carrier_auth_state.h"

namespace nc::protect {

void PollTouchMemory(CarrierAuthState& state);
void PollQuadra(CarrierAuthState& state);
void PollActivator(CarrierAuthState& state);
void PollTessel(CarrierAuthState& state);

// Closes the dongle accesses opened during the call (QuadraClose,
// ActivatorClose) for the factors of the code, on the calling thread.
void CloseDongleAccess(CarrierAuthState& state);

}  // namespace nc::protect
