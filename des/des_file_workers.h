// The DES file workers: encryption, decryption and the keyed hash of one
// file into another, on the file-job skeleton of frame/file_job.h.
//
// The operation that runs a worker fills the record (the file job and the
// key), calls the worker, turns its code into a result with
// frame::FileWorkerOutcome and releases the record with ReleaseDesFileJob
// on every path.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/file_job.h"
#include "zq/zq.h"

namespace nc::des {

// Commands of a DES file job.
enum DesCommand : std::uint32_t {
  kCommandEcb = 0,
  kCommandCbc = 1,
  kCommandCfb = 2,
  kCommandOfb = 3,
  kCommandDecrypt = 4,
  kCommandHash = 5,
  kCommandCompare = 6,
};

inline constexpr std::size_t kDesNameSize = platform::kNameBufferSize;
inline constexpr std::uint32_t kDesDefaultUnit = 8;
// The vector of every DES file job.
inline constexpr std::uint8_t kDesFileIv[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};

struct DesFileJob {
  frame::FileJob file;
  std::uint32_t command = kCommandEcb;
  std::uint32_t unitSize = kDesDefaultUnit;  // CFB and OFB; decryption takes the header's
  DesJobContext context{};                   // the key: context.key, count 2 and the 8 key bytes
};

// The workers. Each opens the source and creates the output, processes the
// source chunk by chunk (reporting progress unless quiet, and stopping when
// the user cancels), closes the source and commits the output; it returns a
// worker code of frame/file_job.h, with the last error as the failing step
// left it. On failure the output is not committed; ReleaseDesFileJob
// removes it.
int EncryptDesFile(DesFileJob& job);  // commands 0 to 3, unit size from the job
int DecryptDesFile(DesFileJob& job);  // command 4, mode and unit size from the source
int HashDesFile(DesFileJob& job);     // command 5

// Releases the file job and wipes the key and the running state. Safe to
// repeat.
void ReleaseDesFileJob(DesFileJob& job);

}  // namespace nc::des
