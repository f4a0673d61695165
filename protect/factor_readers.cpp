// The end of a master-key call for the dongles: their process-wide access,
// opened by the readers, is closed on the calling thread (the one that
// opened it in silent mode, the dialog's caller otherwise).
#include "protect/factor_readers.h"

#include "carriers/activator.h"
#include "carriers/quadra.h"

namespace nc::protect {

void CloseDongleAccess(CarrierAuthState& state) {
  if ((state.code & kFactorQuadra) != 0) {
    carriers::QuadraClose();
    state.obtained.fetch_and(~kObtainedQuadraAccess);
  }
  if ((state.code & kFactorActivator) != 0) {
    carriers::ActivatorClose();
    state.obtained.fetch_and(~kObtainedActivatorAccess);
  }
}

}  // namespace nc::protect
