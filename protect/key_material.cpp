// Placeholder, replaced by the real implementation.
#include "protect/key_material.h"
#include "platform/last_error.h"
namespace nc::protect {
const std::uint8_t* KeyMaterialIv(KeyMaterialKind) {
  static const std::uint8_t zero[8] = {};
  return zero;
}
std::uint32_t KeyMaterialIntegrity(KeyMaterialKind, const WordBlock*, const WordBlock*) { return 0; }
void CipherKeyMaterial(KeyMaterialKind, DesKeyContext&, WordBlock*, WordBlock*, std::uint32_t) {}
bool ObtainMasterKey(platform::WindowHandle, std::uint32_t, bool, const std::uint8_t*,
                     DesKeyContext&) {
  platform::SetLastErrorCode(platform::kErrorLogonFailure);
  return false;
}
void ProtectKeyMaterial(KeyMaterialKind, frame::DataFileHeader&, DesKeyContext&, WordBlock*,
                        WordBlock*) {}
bool OpenKeyMaterial(platform::WindowHandle, const frame::DataFileHeader&, bool, KeyMaterialKind,
                     WordBlock*, WordBlock*) {
  platform::SetLastErrorCode(platform::kErrorLogonFailure);
  return false;
}
}  // namespace nc::protect
