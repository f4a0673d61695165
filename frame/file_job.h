// The file-job skeleton of the file processors (DES, GOST, and the RSA and
// Diffie-Hellman ones): one command over a source and a destination file,
// in chunks of one reused 64 KiB buffer, behind a cancellable progress
// window.
//
// A job record carries everything that must be released when the job ends,
// however it ends: the two names, the open files, the output (written to a
// temporary file and renamed over the destination only when the command
// succeeded), the progress window and the work buffer (which holds
// plaintext). A processor keeps its keys and cipher state beside it. The
// command handlers return worker codes; FileWorkerOutcome turns a code into
// a result and ReleaseFileJob releases the record on every path.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "frame/ciphertext_length.h"
#include "frame/compare_files.h"
#include "frame/data_file.h"
#include "frame/guard_hook.h"
#include "frame/operation.h"
#include "frame/output_file.h"
#include "frame/progress.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/ui.h"

namespace nc::frame {

inline constexpr std::uint32_t kFileJobBufferSize = 65536;

// Worker codes beside the bits of WorkerCode.
// The signature checked does not match its source: 12.
inline constexpr int kWorkerSignatureNegative = 64;
// The source is a ciphertext the decryptor refuses (a mode it cannot run, a
// stored length that does not fit the payload): 27 with the source.
inline constexpr int kWorkerBadCiphertext = 128;

inline constexpr int kSourceUnreadable = kWorkerReadFailed | kWorkerFirstFile;         // 5
inline constexpr int kDestinationUnreadable = kWorkerReadFailed | kWorkerSecondFile;   // 9
inline constexpr int kDestinationUnwritable = kWorkerWriteFailed | kWorkerSecondFile;  // 10
inline constexpr int kSourceRefused = kWorkerBadCiphertext | kWorkerFirstFile;

struct FileJob {
  platform::WindowHandle parent = nullptr;
  int titleId = 0;  // caption of the progress window
  bool quiet = false;
  char source[platform::kNameBufferSize] = {};
  char destination[platform::kNameBufferSize] = {};
  platform::ScopedFile input;
  platform::ScopedFile checked;  // a destination that is only read (a signature file)
  OutputFile output;
  ProgressHandle window;
  CompareState compare;  // "/COMP"
  std::uint8_t* buffer = nullptr;
  DataFileHeader header{};  // of the output, or of the ciphertext or signature read
};

// Allocates the job's work buffer; false when there is no memory.
[[nodiscard]] bool AllocateFileJobBuffer(FileJob& job);

// Opens the source as a plain file and takes its size.
[[nodiscard]] bool OpenPlainSource(FileJob& job, std::uint64_t* size);

// Creates the output that will replace the destination.
[[nodiscard]] bool CreateJobOutput(FileJob& job);

// Unless quiet: the two names into the progress name buffers and the
// window with the description `textId`.
void OpenJobWindow(FileJob& job, int textId);

// Reports the share done; true when the user asked to stop.
[[nodiscard]] bool JobCancelled(FileJob& job, std::uint64_t done, std::uint64_t base);

// Writes all of `size` bytes to the output (a short write is a failure).
[[nodiscard]] bool WriteJobOutput(FileJob& job, const void* bytes, std::uint32_t size);

// Ends the output where it stands and puts it in the destination's place;
// 0 or kDestinationUnwritable. The window and the source are closed first:
// the destination may be the source itself, and Windows cannot rename over
// an open file.
int FinishJobOutput(FileJob& job);

// Closes the window (keeping the last error) and passes `code` on: every
// command handler ends through it, whatever its outcome.
int EndFileCommand(FileJob& job, int code);

// Reads the source from where it stands in chunks of up to `chunk` bytes
// into the buffer, reports each chunk's progress over `size` and hands its
// byte count to `step`, which returns a worker code (not 0 ends the loop).
// At the end the source must still hold `size` bytes, all of them read.
template <typename Step>
int ReadSourceChunks(FileJob& job, std::uint64_t size, std::uint32_t chunk, Step step) {
  std::uint64_t total = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!platform::ReadFile(job.input.get(), job.buffer, chunk, &got)) return kSourceUnreadable;
    if (got == 0) break;
    total += got;
    if (JobCancelled(job, total, size)) return kWorkerCancelled;
    if (int code = step(got); code != kWorkerOk) return code;
    GuardedFaultPoint();
  }
  return SourceUnchanged(job.input.get(), size, total) ? kWorkerOk : kSourceUnreadable;
}

// A ciphertext file opened for deciphering: its size, its payload after the
// header and the plaintext length recovered from both.
struct CiphertextSource {
  std::uint64_t fileSize = 0;
  std::uint64_t payload = 0;
  std::uint64_t length = 0;
};

// How a processor's decryptor takes a ciphertext header: false when it
// cannot run the header's mode and unit size; else the block size the mode
// pads the plaintext to (1: not padded).
using CiphertextCheck = bool (*)(const DataFileHeader& header, std::uint32_t* blockSize);

// Opens the source as a ciphertext of `algorithm` (its header into
// job.header) and checks everything about it before any output exists:
// kSourceUnreadable (not such a file, another version: the last error
// tells), kSourceRefused (a mode `check` refuses, a stored length that does
// not fit the payload) or 0.
int OpenCiphertextSource(FileJob& job, std::uint16_t algorithm, CiphertextCheck check,
                         CiphertextSource* source);

// Reads the payload in chunks of up to `chunk` bytes, reports progress as a
// share of the whole file (the header counted as done, so the last chunk
// shows 100), hands each chunk to `step` (which deciphers it in place and
// returns a worker code) and writes the plaintext, up to its length only.
template <typename Step>
int DecipherChunks(FileJob& job, const CiphertextSource& source, std::uint32_t chunk, Step step) {
  std::uint64_t total = 0;  // payload bytes read
  std::uint64_t written = 0;
  while (total < source.payload) {
    const auto want =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, source.payload - total));
    std::uint32_t got = 0;
    if (!platform::ReadFile(job.input.get(), job.buffer, want, &got)) return kSourceUnreadable;
    if (got != want) {  // the file shrank under us
      platform::SetLastErrorCode(platform::kErrorReadFault);
      return kSourceUnreadable;
    }
    total += got;
    if (JobCancelled(job, kHeaderSize + total, source.fileSize)) return kWorkerCancelled;
    if (int code = step(got); code != kWorkerOk) return code;
    GuardedFaultPoint();
    const auto keep =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(got, source.length - written));
    if (!WriteJobOutput(job, job.buffer, keep)) return kDestinationUnwritable;
    written += keep;
  }
  return SourceUnchanged(job.input.get(), source.fileSize, kHeaderSize + total) ? kWorkerOk
                                                                                : kSourceUnreadable;
}

// "/COMP": the two files compared byte by byte.
int CompareJobFiles(FileJob& job);

// The result of a worker code, with the file it concerns (the source when
// bit 4 is set, else the destination); call it right after the command,
// while the last error is still the command's.
//   0 -> 00, 16 -> 07, 32 -> 10, kWorkerSignatureNegative -> 12,
//   kWorkerBadCiphertext -> 27 with the source;
//   read failures -> 02 (27 for a file of another version);
//   write failures -> 03 (11 when the destination's name was taken by a
//   file that appeared after the check, see OutputFailure).
Outcome FileWorkerOutcome(int workerCode, const FileJob& job);

// Closes the files and the window, removes an uncommitted output, and wipes
// the header and the work buffer (then frees it). Keeps the last error.
// Safe to repeat.
void ReleaseFileJob(FileJob& job);

}  // namespace nc::frame
