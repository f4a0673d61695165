// Placeholder, replaced by the real implementation.
#include "protect/factor_readers.h"
namespace nc::protect {
void PollTouchMemory(CarrierAuthState&) {}
void PollQuadra(CarrierAuthState&) {}
void PollActivator(CarrierAuthState&) {}
void PollTessel(CarrierAuthState&) {}
void CloseDongleAccess(CarrierAuthState&) {}
}  // namespace nc::protect
