// The plaintext length of a ciphertext file.
//
// The header keeps only the low 32 bits of the plaintext length, so for
// ciphertexts of 4 GiB or more the length is recovered from the padded
// plaintext's size (what the payload deciphers to) together with those 32
// bits: a block mode that pads (DES ECB and GOST simple replacement, 8-byte
// blocks; RSA, blocks of its modulus) fills the plaintext with zeros up to a
// whole number of blocks, so the padded size exceeds the plaintext by 0 to
// block - 1 bytes; every other mode keeps the length exactly (a block of 1).
// A window of fewer than 2^32 candidates holds at most one value with the
// stored low 32 bits, so the answer is unique or there is none.
#pragma once
#include <cstdint>

namespace nc::frame {

// The plaintext length of `paddedSize` bytes of plaintext padded to blocks
// of `blockSize` bytes (1: not padded) whose header stores `storedLength`.
// False when the two cannot belong to one ciphertext (a truncated or
// extended file, a forged header): the decryptor refuses such a file
// rather than guess.
[[nodiscard]] bool RecoverPlaintextLength(std::uint64_t paddedSize, std::uint32_t storedLength,
                                          std::uint32_t blockSize, std::uint64_t* length);

}  // namespace nc::frame
