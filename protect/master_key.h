// Master keys: the 8-byte DES key put together, for one operation, from the
// protection factors a key file names (password, Touch Memory, NorvexQuadra,
// Activator/M, Tessel), each folding its contribution in by XOR.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/carrier_ui.h"
#include "protect/carrier_auth_state.h"
#include "zq/zq.h"

namespace nc::protect {

// The vector of the factor derivation.
inline constexpr std::uint8_t kFactorIv[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};

// Obtains the master key for `code`: in silent mode (`noLogo` bit 0) one
// polling pass with no window (a password cannot be asked: failure at once);
// otherwise the carrier dialog. Returns 1 with the last error 0 when every
// factor of the code was obtained, else 0 with the last error 1326. `out`
// (the first 12 bytes of the caller's DesKeyContext) always receives count 2
// and the key as it stands. A fault inside a carrier driver is caught and
// is a failure. The dongle accesses are closed before returning.
int AcquireMasterKey(platform::WindowHandle parent, std::uint32_t code, int noLogo,
                     const std::uint8_t* challenge, std::uint32_t challengeLength,
                     MasterKeyBlock* out);

// Enciphers `buffer` in place with DES-CBC under its own first 8 bytes (as
// they were on entry) and the vector kFactorIv.
void SelfKeyedDesCbc(std::uint8_t* buffer, std::uint32_t length);

// XORs contribution byte i into key byte i mod 8, i = 0 .. length-1.
void FoldContribution(MasterKeyBlock& key, const std::uint8_t* contribution,
                      std::uint32_t length);

// The password's contribution: `password` (up to 32 bytes, the rest of the
// 33-byte buffer zero) enciphered by SelfKeyedDesCbc and its first 32 bytes
// folded into the key. Sets the password bit. Wipes its temporaries.
void AddPasswordFactor(CarrierAuthState& state, const char password[platform::kCarrierPasswordSize]);

}  // namespace nc::protect
