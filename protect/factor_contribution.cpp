#include "protect/factor_contribution.h"

#include "protect/master_key.h"
#include "protect/status_line.h"
#include "zq/wipe.h"

namespace nc::protect {

void AcceptContribution(CarrierAuthState& state, std::uint32_t factor, int control,
                        std::uint8_t* contribution, std::uint32_t length) {
  FoldContribution(state.key, contribution, length);
  SecureWipe(contribution, length);
  state.obtained.fetch_or(factor);
  ShowStatusText(state, control, "OK");
}

}  // namespace nc::protect
