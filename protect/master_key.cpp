// Placeholder, replaced by the real implementation.
#include "protect/master_key.h"
#include "platform/last_error.h"
namespace nc::protect {
int AcquireMasterKey(platform::WindowHandle, std::uint32_t, int, const std::uint8_t*,
                     std::uint32_t, MasterKeyBlock* out) {
  *out = MasterKeyBlock{};
  platform::SetLastErrorCode(platform::kErrorLogonFailure);
  return 0;
}
void SelfKeyedDesCbc(std::uint8_t*, std::uint32_t) {}
void FoldContribution(MasterKeyBlock&, const std::uint8_t*, std::uint32_t) {}
void AddPasswordFactor(CarrierAuthState&, const char*) {}
}  // namespace nc::protect
