// The RSA file commands: encrypt, decrypt, the file hash, sign and check,
// on the file-job skeleton of frame/file_job.h, with the primitives of
// zq/rsa.h.
//
// The operation fills the record (the file job, the command, and the key's
// modulus and exponent in the context slots the command's primitive uses),
// runs the command, turns its code into a result and releases the record
// with ReleaseRsaFileJob on every path.
#pragma once
#include <cstdint>

#include "frame/file_job.h"
#include "zq/rsa.h"

namespace nc::rsa {

enum RsaFileCommand : std::uint32_t {
  kRsaEncrypt = 0,  // "/E"
  kRsaDecrypt = 1,  // "/D"
  kRsaHash = 2,     // "/HASH"
  kRsaSign = 3,     // "/SIGN"
  kRsaCheck = 4,    // "/CHECK"
  kRsaCompare = 5,  // "/COMP"
};

inline constexpr std::uint32_t kRsaHashSize = 128;
// The room of a signature: one RSANumber's bytes, more than any modulus
// makes of the 128 hash bytes.
inline constexpr std::uint32_t kRsaSignatureRoom = sizeof(RSANumber);

// One more worker code: the primitive made no signature of the hash (a
// context it refused): 32, nothing written.
inline constexpr int kWorkerNoSignature = 256;

struct RsaFileJob {
  frame::FileJob file;
  std::uint32_t command = kRsaEncrypt;
  RSAContext context{};
  // The blocks RSAEncrypt and RSADecrypt write, apart from their input:
  // 1.5 times the work buffer (a 17-bit modulus makes 3 bytes of every 2).
  std::uint8_t* blocks = nullptr;
  std::uint8_t hash[kRsaHashSize] = {};
  std::uint8_t signature[kRsaSignatureRoom] = {};
  std::uint8_t recovered[kRsaSignatureRoom] = {};
};

inline constexpr std::uint32_t kRsaBlocksBufferSize = frame::kFileJobBufferSize / 2 * 3;

// Sets the context's size; the rest is zero.
void StartRsaFileJob(RsaFileJob& job);

// Allocates the job's block buffer; false when there is no memory.
[[nodiscard]] bool AllocateRsaBlocks(RsaFileJob& job);

// Runs the job's command and returns its worker code, with the last error
// as the failing step left it. The window is closed on return; the output
// is committed only on success.
int RunRsaFileCommand(RsaFileJob& job);

// Releases the file job and wipes the context, the block buffer (then frees
// it), the hash and the signature. Safe to repeat.
void ReleaseRsaFileJob(RsaFileJob& job);

}  // namespace nc::rsa
