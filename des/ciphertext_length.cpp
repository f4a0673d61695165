#include "des/ciphertext_length.h"

#include "zq/zq.h"

namespace nc::des {

bool RecoverPlaintextLength(std::uint64_t payloadSize, std::uint32_t storedLength,
                            std::uint32_t mode, std::uint64_t* length) {
  if (mode < kDesEcb || mode > kDesOfb) return false;
  const bool padded = mode == kDesEcb;
  if (padded && payloadSize % 8 != 0) return false;
  // How far the payload lies above the plaintext, modulo 2^32.
  const auto excess = static_cast<std::uint32_t>(payloadSize - storedLength);
  if (excess > (padded ? 7u : 0u) || excess > payloadSize) return false;
  *length = payloadSize - excess;
  return true;
}

}  // namespace nc::des
