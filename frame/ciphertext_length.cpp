#include "frame/ciphertext_length.h"

namespace nc::frame {

bool RecoverPlaintextLength(std::uint64_t payloadSize, std::uint32_t storedLength, Padding padding,
                            std::uint64_t* length) {
  const bool padded = padding == Padding::ZeroBlocks8;
  if (padded && payloadSize % 8 != 0) return false;
  // How far the payload lies above the plaintext, modulo 2^32.
  const auto excess = static_cast<std::uint32_t>(payloadSize - storedLength);
  if (excess > (padded ? 7u : 0u) || excess > payloadSize) return false;
  *length = payloadSize - excess;
  return true;
}

}  // namespace nc::frame
