// The end of every hardware factor reader's successful attempt.
#pragma once
#include <cstdint>

#include "protect/carrier_auth_state.h"

namespace nc::protect {

// Folds `contribution` (`length` bytes) into the master key and wipes it,
// then sets the factor's obtained bit and shows "OK" in the status line
// `control`. The bit comes last: whoever sees it set sees the key with the
// factor already in.
void AcceptContribution(CarrierAuthState& state, std::uint32_t factor, int control,
                        std::uint8_t* contribution, std::uint32_t length);

}  // namespace nc::protect
