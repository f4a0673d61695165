// The master key's arithmetic: the self-keyed DES-CBC that turns a factor's
// raw secret into its contribution, the XOR fold into the 8 key bytes, and
// the password's contribution.
#include "protect/master_key.h"

#include <cstring>

#include "zq/des.h"
#include "zq/wipe.h"

namespace nc::protect {

void SelfKeyedDesCbc(std::uint8_t* buffer, std::uint32_t length) {
  if (buffer == nullptr || length == 0) return;
  // The key is the buffer's own first 8 bytes as they are now (zero-padded
  // should a caller pass fewer; every factor passes at least 8).
  DesKeyContext context{};
  context.count = 2;
  std::memcpy(context.key, buffer, length < 8 ? length : 8);
  DESEdk(&context);
  DESCbc(buffer, length, &context, kFactorIv, kDesEncipher);
  SecureWipe(&context, sizeof context);
}

void FoldContribution(MasterKeyBlock& key, const std::uint8_t* contribution, std::uint32_t length) {
  if (contribution == nullptr) return;
  for (std::uint32_t i = 0; i < length; ++i) key.key[i % 8] ^= contribution[i];
}

void AddPasswordFactor(CarrierAuthState& state,
                       const char password[platform::kCarrierPasswordSize]) {
  // 32 characters at most and the terminating zero: the whole 33 bytes are
  // enciphered, the first 32 folded.
  std::uint8_t buffer[platform::kCarrierPasswordSize] = {};
  if (password != nullptr) {
    std::size_t length = 0;
    while (length < platform::kCarrierPasswordSize - 1 && password[length] != '\0') ++length;
    std::memcpy(buffer, password, length);
  }
  SelfKeyedDesCbc(buffer, sizeof buffer);
  FoldContribution(state.key, buffer, platform::kCarrierPasswordSize - 1);
  state.obtained.fetch_or(kFactorPassword);
  SecureWipe(buffer, sizeof buffer);
}

}  // namespace nc::protect
