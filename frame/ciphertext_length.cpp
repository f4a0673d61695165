#include "frame/ciphertext_length.h"

namespace nc::frame {

bool RecoverPlaintextLength(std::uint64_t paddedSize, std::uint32_t storedLength,
                            std::uint32_t blockSize, std::uint64_t* length) {
  if (blockSize == 0 || paddedSize % blockSize != 0) return false;
  // How far the padded size lies above the plaintext, modulo 2^32.
  const auto excess = static_cast<std::uint32_t>(paddedSize - storedLength);
  if (excess > blockSize - 1 || excess > paddedSize) return false;
  *length = paddedSize - excess;
  return true;
}

}  // namespace nc::frame
