#include "frame/file_job.h"

#include <new>

#include "frame/result_text.h"
#include "zq/wipe.h"

namespace nc::frame {

bool AllocateFileJobBuffer(FileJob& job) {
  if (job.buffer == nullptr) job.buffer = new (std::nothrow) std::uint8_t[kFileJobBufferSize];
  return job.buffer != nullptr;
}

bool OpenPlainSource(FileJob& job, std::uint64_t* size) {
  job.input.reset(platform::OpenForRead(job.source));
  return job.input.valid() && platform::GetFileSize(job.input.get(), size);
}

bool CreateJobOutput(FileJob& job) { return CreateOutput(job.output, job.destination, false); }

void OpenJobWindow(FileJob& job, int textId) {
  if (job.quiet) return;
  SetProgressNames(job.source, job.destination);
  job.window = OpenProgressWindow(job.parent, job.titleId, textId);
}

bool JobCancelled(FileJob& job, std::uint64_t done, std::uint64_t base) {
  return UpdateProgress(job.window.get(), ProgressPercent(done, base)) != 0;
}

bool WriteJobOutput(FileJob& job, const void* bytes, std::uint32_t size) {
  std::uint32_t put = 0;
  if (!platform::WriteFile(job.output.file, bytes, size, &put) || put != size) {
    if (put != size) platform::SetLastErrorCode(platform::kErrorWriteFault);
    return false;
  }
  return true;
}

int FinishJobOutput(FileJob& job) {
  CloseProgressWindow(job.window);
  job.input.Close();
  if (!platform::SetEndOfFile(job.output.file) || !CommitOutput(job.output))
    return kDestinationUnwritable;
  return kWorkerOk;
}

int EndFileCommand(FileJob& job, int code) {
  std::uint32_t error = platform::GetLastErrorCode();
  CloseProgressWindow(job.window);
  platform::SetLastErrorCode(error);
  return code;
}

int OpenCiphertextSource(FileJob& job, std::uint16_t algorithm, CiphertextCheck check,
                         CiphertextSource* source) {
  job.input.reset(OpenDataFile(job.source, kFileCiphertext, algorithm, kKeyNone, 0, &job.header));
  if (!job.input.valid() || !platform::GetFileSize(job.input.get(), &source->fileSize))
    return kSourceUnreadable;
  if (source->fileSize < kHeaderSize) {  // shrank since its header was read
    platform::SetLastErrorCode(platform::kErrorReadFault);
    return kSourceUnreadable;
  }
  source->payload = source->fileSize - kHeaderSize;
  std::uint32_t blockSize = 1;
  if (!check(job.header, &blockSize) ||
      !RecoverPlaintextLength(source->payload, job.header.dataLength, blockSize, &source->length)) {
    platform::SetLastErrorCode(platform::kErrorInvalidData);
    return kSourceRefused;
  }
  return kWorkerOk;
}

int CompareJobFiles(FileJob& job) {
  return CompareFiles(job.compare, job.parent, job.source, job.destination, job.titleId, job.quiet);
}

Outcome FileWorkerOutcome(int workerCode, const FileJob& job) {
  switch (workerCode) {
    case kWorkerOk:
      return {kResultOk};
    case kWorkerDifferent:
      return {kResultFilesDiffer};
    case kWorkerCancelled:
      return {kResultCancelled};
    case kWorkerSignatureNegative:
      return {kResultSignatureBad};
    default:
      break;
  }
  const char* name = (workerCode & kWorkerFirstFile) != 0 ? job.source : job.destination;
  if ((workerCode & kWorkerBadCiphertext) != 0) return {kResultBadFormat, job.source};
  if ((workerCode & kWorkerReadFailed) == 0) return OutputFailure(job.output, name);
  // A file of another major version is "not of the expected format"; every
  // other read failure is a read error.
  bool otherVersion = platform::GetLastErrorCode() == platform::kErrorUnknownRevision;
  return {otherVersion ? kResultBadFormat : kResultReadError, name};
}

void ReleaseFileJob(FileJob& job) {
  std::uint32_t error = platform::GetLastErrorCode();
  CloseProgressWindow(job.window);
  CloseCompareState(job.compare);
  job.input.Close();
  job.checked.Close();
  DiscardOutput(job.output);
  nc::SecureWipe(&job.header, sizeof job.header);
  if (job.buffer != nullptr) {
    nc::SecureWipe(job.buffer, kFileJobBufferSize);
    delete[] job.buffer;
    job.buffer = nullptr;
  }
  platform::SetLastErrorCode(error);
}

}  // namespace nc::frame
