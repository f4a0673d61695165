// The plaintext length of a DES ciphertext.
//
// The header keeps only the low 32 bits of the plaintext length, so for
// ciphertexts of 4 GiB or more the length is recovered from the payload
// (the bytes after the header) together with those 32 bits: ECB pads the
// plaintext with zeros to a whole number of blocks, so the payload exceeds
// the plaintext by 0 to 7 bytes; CBC, CFB and OFB keep the length exactly.
// A window of at most 8 candidates holds at most one value with the stored
// low 32 bits, so the answer is unique or there is none.
#pragma once
#include <cstdint>

namespace nc::des {

// The plaintext length of `payloadSize` bytes of ciphertext in `mode` (1 ECB,
// 2 CBC, 3 CFB, 4 OFB) whose header stores `storedLength`. False when the
// two cannot belong to one ciphertext of that mode (a truncated or extended
// file, a forged header) or the mode is unknown: the decryptor refuses such
// a file rather than guess.
[[nodiscard]] bool RecoverPlaintextLength(std::uint64_t payloadSize, std::uint32_t storedLength,
                                          std::uint32_t mode, std::uint64_t* length);

}  // namespace nc::des
