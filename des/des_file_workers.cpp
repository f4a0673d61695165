// The DES file workers: one chunk loop each, over the job's reused 64 KiB
// buffer, with the cipher running in place.
#include "des/des_file_workers.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "des/ciphertext_length.h"
#include "frame/guard_hook.h"
#include "frame/result_text.h"
#include "platform/last_error.h"
#include "zq/wipe.h"

namespace nc::des {

namespace {

using frame::kWorkerCancelled;
using frame::kWorkerFirstFile;
using frame::kWorkerReadFailed;
using frame::kWorkerSecondFile;
using frame::kWorkerWriteFailed;

constexpr int kSourceUnreadable = kWorkerReadFailed | kWorkerFirstFile;         // 5
constexpr int kDestinationUnwritable = kWorkerWriteFailed | kWorkerSecondFile;  // 10
constexpr int kSourceRefused = kWorkerBadCiphertext | kWorkerFirstFile;

// The largest whole number of units that fits the buffer, so that every
// chunk but the last ends on a unit boundary.
std::uint32_t ChunkSize(std::uint32_t unit) { return kDesWorkBufferSize / unit * unit; }

// Sets the running state for a new file: the key stays, everything the
// primitive derived from it or from earlier data starts afresh.
void StartContext(DesFileJob& job, std::uint32_t operation, std::uint32_t mode,
                  std::uint32_t unit) {
  DesJobContext& c = job.context;
  c.size = sizeof(DesJobContext);
  c.reserved = 0;
  c.operation = operation;
  c.mode = mode;
  c.unitSize = unit;
  nc::SecureWipe(c.key.schedule, sizeof c.key.schedule);
  std::memcpy(c.iv, kDesFileIv, sizeof c.iv);
  nc::SecureWipe(c.chaining, sizeof c.chaining);
  nc::SecureWipe(c.library, sizeof c.library);
}

bool OpenSource(DesFileJob& job, std::uint64_t* size) {
  job.input.reset(platform::OpenForRead(job.source));
  return job.input.valid() && platform::GetFileSize(job.input.get(), size);
}

void OpenWindow(DesFileJob& job, int textId) {
  if (job.quiet) return;
  frame::SetProgressNames(job.source, job.destination);
  job.window = frame::OpenProgressWindow(job.parent, job.titleId, textId);
}

// Reports the share done; true when the user asked to stop.
bool Cancelled(DesFileJob& job, std::uint64_t done, std::uint64_t base) {
  return frame::UpdateProgress(job.window.get(), frame::ProgressPercent(done, base)) != 0;
}

bool Write(DesFileJob& job, const void* bytes, std::uint32_t size) {
  std::uint32_t put = 0;
  if (!platform::WriteFile(job.output.file, bytes, size, &put) || put != size) {
    if (put != size) platform::SetLastErrorCode(platform::kErrorWriteFault);
    return false;
  }
  return true;
}

bool Exec(DesFileJob& job, std::uint32_t size) {
  if (DESExec(job.buffer, size, &job.context) == kDesExecOk) return true;
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return false;
}

// Ends the output where it stands and puts it in the destination's place.
// The source is closed first: the destination may be the source itself, and
// Windows cannot rename over an open file.
int Finish(DesFileJob& job) {
  frame::CloseProgressWindow(job.window);
  job.input.Close();
  if (!platform::SetEndOfFile(job.output.file) || !frame::CommitOutput(job.output))
    return kDestinationUnwritable;
  return frame::kWorkerOk;
}

// ---- encryption ----------------------------------------------------------------------

int Encrypt(DesFileJob& job) {
  std::uint64_t size = 0;
  if (!OpenSource(job, &size)) return kSourceUnreadable;
  if (!frame::CreateOutput(job.output, job.destination, false)) return kDestinationUnwritable;

  const std::uint32_t mode = job.command + 1;  // ECB, CBC, CFB, OFB
  const std::uint32_t unit = mode == kDesEcb || mode == kDesCbc ? 8 : job.unitSize;
  StartContext(job, kDesEncipher, mode, unit);
  job.header = frame::NewHeader(frame::kFileCiphertext, frame::kAlgDes, frame::kKeyNone);
  job.header.mode = static_cast<std::uint16_t>(mode);
  job.header.unitSize = static_cast<std::uint8_t>(unit);
  job.header.dataLength = static_cast<std::uint32_t>(size);  // low 32 bits
  if (!frame::WriteDataFileHeader(job.output.file, job.header)) return kDestinationUnwritable;

  OpenWindow(job, frame::kTextEncrypting);
  const std::uint32_t chunk = ChunkSize(unit);
  std::uint64_t total = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!platform::ReadFile(job.input.get(), job.buffer, chunk, &got)) return kSourceUnreadable;
    if (got == 0) break;
    total += got;
    if (Cancelled(job, total, size)) return kWorkerCancelled;
    // ECB works on whole blocks: the last one is filled with zeros, which
    // the stored length removes again on decryption.
    if (mode == kDesEcb && got % 8 != 0) {
      std::uint32_t padded = (got + 7) / 8 * 8;
      std::memset(job.buffer + got, 0, padded - got);
      got = padded;
    }
    if (!Exec(job, got)) return kSourceUnreadable;
    frame::GuardedFaultPoint();
    if (!Write(job, job.buffer, got)) return kDestinationUnwritable;
  }
  // The header holds the length the source had when it was opened.
  if (!frame::SourceUnchanged(job.input.get(), size, total)) return kSourceUnreadable;
  return Finish(job);
}

// ---- decryption ------------------------------------------------------------------------

// Mode and unit size the cipher can run with.
bool UsableCiphertext(const frame::DataFileHeader& header) {
  switch (header.mode) {
    case kDesEcb:
    case kDesCbc:
      return header.unitSize == 8;
    case kDesCfb:
    case kDesOfb:
      return header.unitSize >= 1 && header.unitSize <= 8;
    default:
      return false;
  }
}

int Decrypt(DesFileJob& job) {
  job.input.reset(frame::OpenDataFile(job.source, frame::kFileCiphertext, frame::kAlgDes,
                                      frame::kKeyNone, 0, &job.header));
  std::uint64_t fileSize = 0;
  if (!job.input.valid() || !platform::GetFileSize(job.input.get(), &fileSize))
    return kSourceUnreadable;
  if (fileSize < frame::kHeaderSize) {  // shrank since its header was read
    platform::SetLastErrorCode(platform::kErrorReadFault);
    return kSourceUnreadable;
  }
  // Everything about the ciphertext is checked before any output exists.
  const std::uint64_t payload = fileSize - frame::kHeaderSize;
  std::uint64_t length = 0;
  if (!UsableCiphertext(job.header) ||
      !RecoverPlaintextLength(payload, job.header.dataLength, job.header.mode, &length)) {
    platform::SetLastErrorCode(platform::kErrorInvalidData);
    return kSourceRefused;
  }
  if (!frame::CreateOutput(job.output, job.destination, false)) return kDestinationUnwritable;

  StartContext(job, kDesDecipher, job.header.mode, job.header.unitSize);
  OpenWindow(job, frame::kTextDecrypting);
  const std::uint32_t chunk = ChunkSize(job.header.unitSize);
  std::uint64_t total = 0;  // payload bytes read
  std::uint64_t written = 0;
  while (total < payload) {
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, payload - total));
    std::uint32_t got = 0;
    if (!platform::ReadFile(job.input.get(), job.buffer, want, &got)) return kSourceUnreadable;
    if (got != want) {  // the file shrank under us
      platform::SetLastErrorCode(platform::kErrorReadFault);
      return kSourceUnreadable;
    }
    total += got;
    // The share of the whole file, its header (read before the loop)
    // counted as done, so that the last chunk shows 100.
    if (Cancelled(job, frame::kHeaderSize + total, fileSize)) return kWorkerCancelled;
    if (!Exec(job, got)) return kSourceUnreadable;
    frame::GuardedFaultPoint();
    // The ECB filler after the plaintext's end is not written.
    const auto keep = static_cast<std::uint32_t>(std::min<std::uint64_t>(got, length - written));
    if (!Write(job, job.buffer, keep)) return kDestinationUnwritable;
    written += keep;
  }
  if (!frame::SourceUnchanged(job.input.get(), fileSize, frame::kHeaderSize + total))
    return kSourceUnreadable;
  return Finish(job);
}

// ---- the keyed hash ------------------------------------------------------------------------

int Hash(DesFileJob& job) {
  std::uint64_t size = 0;
  if (!OpenSource(job, &size)) return kSourceUnreadable;
  if (!frame::CreateOutput(job.output, job.destination, false)) return kDestinationUnwritable;

  job.header = frame::NewHeader(frame::kFileHash, frame::kAlgDes, frame::kKeyNone);
  job.header.unitSize = sizeof job.context.chaining;
  if (!frame::WriteDataFileHeader(job.output.file, job.header)) return kDestinationUnwritable;
  StartContext(job, kDesHash, 0, 0);

  OpenWindow(job, frame::kTextHashing);
  std::uint64_t total = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!platform::ReadFile(job.input.get(), job.buffer, kDesWorkBufferSize, &got))
      return kSourceUnreadable;
    if (got == 0) break;
    total += got;
    if (Cancelled(job, total, size)) return kWorkerCancelled;
    if (!Exec(job, got)) return kSourceUnreadable;
    frame::GuardedFaultPoint();
  }
  if (!frame::SourceUnchanged(job.input.get(), size, total)) return kSourceUnreadable;
  if (!Write(job, job.context.chaining, sizeof job.context.chaining)) return kDestinationUnwritable;
  return Finish(job);
}

// Every exit closes the window.
int Run(DesFileJob& job, int (*worker)(DesFileJob&)) {
  int code = worker(job);
  std::uint32_t error = platform::GetLastErrorCode();
  frame::CloseProgressWindow(job.window);
  platform::SetLastErrorCode(error);
  return code;
}

}  // namespace

bool AllocateDesWorkBuffer(DesFileJob& job) {
  if (job.buffer == nullptr) job.buffer = new (std::nothrow) std::uint8_t[kDesWorkBufferSize];
  return job.buffer != nullptr;
}

int EncryptDesFile(DesFileJob& job) { return Run(job, Encrypt); }
int DecryptDesFile(DesFileJob& job) { return Run(job, Decrypt); }
int HashDesFile(DesFileJob& job) { return Run(job, Hash); }

int CompareDesFiles(DesFileJob& job) {
  return frame::CompareFiles(job.compare, job.parent, job.source, job.destination, job.titleId,
                             job.quiet);
}

frame::Outcome DesWorkerOutcome(int workerCode, const DesFileJob& job) {
  switch (workerCode) {
    case frame::kWorkerOk:
      return {frame::kResultOk};
    case frame::kWorkerDifferent:
      return {frame::kResultFilesDiffer};
    case frame::kWorkerCancelled:
      return {frame::kResultCancelled};
    default:
      break;
  }
  const char* name = (workerCode & kWorkerFirstFile) != 0 ? job.source : job.destination;
  if ((workerCode & kWorkerBadCiphertext) != 0) return {frame::kResultBadFormat, job.source};
  if ((workerCode & kWorkerReadFailed) == 0) return frame::OutputFailure(job.output, name);
  // A ciphertext of another major version is "not of the expected format";
  // every other read failure is a read error.
  bool otherVersion = platform::GetLastErrorCode() == platform::kErrorUnknownRevision;
  return {otherVersion ? frame::kResultBadFormat : frame::kResultReadError, name};
}

void ReleaseDesFileJob(DesFileJob& job) {
  std::uint32_t error = platform::GetLastErrorCode();
  frame::CloseProgressWindow(job.window);
  frame::CloseCompareState(job.compare);
  job.input.Close();
  frame::DiscardOutput(job.output);
  nc::SecureWipe(&job.context, sizeof job.context);
  nc::SecureWipe(&job.header, sizeof job.header);
  if (job.buffer != nullptr) {
    nc::SecureWipe(job.buffer, kDesWorkBufferSize);
    delete[] job.buffer;
    job.buffer = nullptr;
  }
  platform::SetLastErrorCode(error);
}

}  // namespace nc::des
