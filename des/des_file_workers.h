// The DES file workers: encryption, decryption and the keyed hash of one
// file into another, in chunks, behind a progress window.
//
// A job record carries everything a worker needs and everything that must
// be released when the job ends, however it ends: the key (in the DES job
// context), the two names, the open files, the output (written to a
// temporary file and renamed over the destination only when the worker
// succeeded), the progress window and the work buffer. The operation that
// runs a worker fills the record, calls the worker, turns its code into a
// result with DesWorkerOutcome and releases the record with
// ReleaseDesFileJob on every path.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/compare_files.h"
#include "frame/data_file.h"
#include "frame/operation.h"
#include "frame/output_file.h"
#include "frame/progress.h"
#include "platform/files.h"
#include "platform/ui.h"
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
inline constexpr std::uint32_t kDesWorkBufferSize = 65536;
inline constexpr std::uint32_t kDesDefaultUnit = 8;
// The vector of every DES file job.
inline constexpr std::uint8_t kDesFileIv[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};

// One more worker bit beside frame::WorkerCode: the source is a ciphertext
// the decryptor refuses (a unit size or mode it cannot hold, or a stored
// length that does not fit the payload). Reported as 27 with the source.
inline constexpr int kWorkerBadCiphertext = 64;

struct DesFileJob {
  platform::WindowHandle parent = nullptr;
  int titleId = 0;  // caption of the progress window
  std::uint32_t command = kCommandEcb;
  std::uint32_t unitSize = kDesDefaultUnit;  // CFB and OFB; decryption takes the header's
  bool quiet = false;
  char source[kDesNameSize] = {};
  char destination[kDesNameSize] = {};
  platform::ScopedFile input;
  frame::OutputFile output;
  frame::ProgressHandle window;
  frame::CompareState compare;  // "/COMP"
  DesJobContext context{};      // the key: context.key, count 2 and the 8 key bytes
  std::uint8_t* buffer = nullptr;
  frame::DataFileHeader header{};  // of the output (encryption, hash) or of the source
};

// Allocates the job's work buffer; false when there is no memory.
[[nodiscard]] bool AllocateDesWorkBuffer(DesFileJob& job);

// The workers. Each opens the source and creates the output, processes the
// source chunk by chunk (reporting progress unless quiet, and stopping when
// the user cancels), closes the source and commits the output; it returns a
// worker code: 0 done, otherwise bits of frame::WorkerCode (1 read, 2
// write, 4 source, 8 destination, 32 cancelled) or kWorkerBadCiphertext,
// with the last error as the failing step left it. On failure the output is
// not committed; ReleaseDesFileJob removes it.
int EncryptDesFile(DesFileJob& job);  // commands 0 to 3, unit size from the job
int DecryptDesFile(DesFileJob& job);  // command 4, mode and unit size from the source
int HashDesFile(DesFileJob& job);     // command 5
// Command 6: the two files compared byte by byte (no key needed).
int CompareDesFiles(DesFileJob& job);

// The result of a worker code, with the file it concerns (the source when
// bit 4 is set, else the destination); call it right after the worker,
// while the last error is still the worker's.
//   0 -> 00, 16 -> 07, 32 -> 10, kWorkerBadCiphertext -> 27;
//   read failures -> 02 (27 for an unsupported ciphertext version);
//   write failures -> 03 (11 when the destination's name was taken by a
//   file that appeared after the check, see frame::OutputFailure).
frame::Outcome DesWorkerOutcome(int workerCode, const DesFileJob& job);

// Closes the files and the window, removes an uncommitted output, and wipes
// the key, the running state and the work buffer (then frees it). Safe to
// repeat.
void ReleaseDesFileJob(DesFileJob& job);

}  // namespace nc::des
