// The GOST file commands: encipher in one of three modes, decipher, the
// imitation insert, the hash, sign and check, on the file-job skeleton of
// frame/file_job.h, with the primitives of zq/gost_cipher.h,
// zq/gost_hash.h and zq/gost_sign.h.
//
// The operation fills the record (the file job, the command, the key and
// the substitution block in the cipher and hash contexts, the numbers and
// the signature key in the signature context), runs the command, turns its
// code into a result and releases the record with ReleaseGostFileJob on
// every path.
#pragma once
#include <cstdint>

#include "frame/file_job.h"
#include "zq/zq.h"

namespace nc::gost {

enum GostFileCommand : std::uint32_t {
  kGostSimpleReplacement = 0,  // "/SR"
  kGostGamma = 1,              // "/GM"
  kGostFeedbackGamma = 2,      // "/FG"
  kGostDecipher = 3,           // "/D"
  kGostImitation = 4,          // "/IMIT"
  kGostHash = 5,               // "/HASH"
  kGostSign = 6,               // "/SIGN"
  kGostCheck = 7,              // "/CHECK"
  kGostCompare = 8,            // "/COMP"
};

// One more worker code: the signature primitive made no signature (64 zero
// bytes, which numbers no signature can use give): 32, nothing written.
inline constexpr int kWorkerNoSignature = 256;

struct GostFileJob {
  frame::FileJob file;
  std::uint32_t command = kGostSimpleReplacement;
  GOSCipherContext cipher{};
  GOSHashContext hash{};
  GOSSignContext sign{};
};

// Sets the contexts' sizes and the cipher's synchro; the rest is zero.
void StartGostFileJob(GostFileJob& job);

// Runs the job's command and returns its worker code, with
// the last error as the failing step left it. The window is closed on
// return; the output is committed only on success.
int RunGostFileCommand(GostFileJob& job);

// Releases the file job and wipes the contexts. Safe to repeat.
void ReleaseGostFileJob(GostFileJob& job);

}  // namespace nc::gost
