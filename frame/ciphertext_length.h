// The plaintext length of a ciphertext file.
//
// The header keeps only the low 32 bits of the plaintext length, so for
// ciphertexts of 4 GiB or more the length is recovered from the payload
// (the bytes after the header) together with those 32 bits: a block mode
// that pads (DES ECB, GOST simple replacement) fills the plaintext with
// zeros up to a whole number of 8-byte blocks, so the payload exceeds the
// plaintext by 0 to 7 bytes; every other mode keeps the length exactly. A
// window of at most 8 candidates holds at most one value with the stored
// low 32 bits, so the answer is unique or there is none.
#pragma once
#include <cstdint>

namespace nc::frame {

enum class Padding { None, ZeroBlocks8 };

// The plaintext length of `payloadSize` bytes of ciphertext whose header
// stores `storedLength`. False when the two cannot belong to one ciphertext
// of that padding (a truncated or extended file, a forged header): the
// decryptor refuses such a file rather than guess.
[[nodiscard]] bool RecoverPlaintextLength(std::uint64_t payloadSize, std::uint32_t storedLength,
                                          Padding padding, std::uint64_t* length);

}  // namespace nc::frame
