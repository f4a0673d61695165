// The Tessel factor: the token's 16-byte response to the file's challenge,
// folded into the key as it is (the token's keyed hash already makes it a
// secret of the token's).
#include "carriers/tessel.h"
#include "protect/factor_contribution.h"
#include "protect/factor_readers.h"
#include "protect/status_line.h"
#include "zq/wipe.h"

namespace nc::protect {
namespace {

void ShowTesselError(CarrierAuthState& state, std::uint32_t error) {
  if (error == state.lastTesselError) return;  // a steady error does not flicker
  state.lastTesselError = error;
  if (error == carriers::kTesselNotFound) {
    ShowStatusText(state, platform::kCarrierTesselStatus,
                   "Присоедините Tessel к разъему USB-порта");
    return;
  }
  char line[kStatusLineSize];
  std::uint32_t prefix = BeginErrorLine(line);
  carriers::TesselStatusText(line + prefix, kStatusLineSize - prefix, error);
  WriteStatusLine(state, platform::kCarrierTesselStatus, line);
}

}  // namespace

void PollTessel(CarrierAuthState& state) {
  if ((state.code & kFactorTessel) == 0 || (state.obtained.load() & kFactorTessel) != 0) return;
  std::uint8_t response[carriers::kTesselResponseSize] = {};
  std::uint32_t error = carriers::TesselResponse(response, state.challenge, state.challengeLength);
  if (error != carriers::kTesselOk) {
    SecureWipe(response, sizeof response);
    ShowTesselError(state, error);
    return;
  }
  AcceptContribution(state, kFactorTessel, platform::kCarrierTesselStatus, response,
                     sizeof response);
}

}  // namespace nc::protect
