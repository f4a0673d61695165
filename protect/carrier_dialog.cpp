// Placeholder, replaced by the real implementation.
#include "protect/carrier_dialog.h"
namespace nc::protect {
int RunCarrierDialog(CarrierAuthState&) { return -1; }
void PollCarriers(CarrierAuthState&) {}
void ComposeStepList(std::uint32_t, char* buffer, std::size_t size) {
  if (size) buffer[0] = 0;
}
CarrierAuthState::~CarrierAuthState() {
  if (pollingThread.joinable()) pollingThread.join();
}
}  // namespace nc::protect
