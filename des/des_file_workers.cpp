// The DES file workers: one chunk loop each, over the job's reused 64 KiB
// buffer, with the cipher running in place.
#include "des/des_file_workers.h"

#include <cstring>

#include "platform/last_error.h"
#include "zq/wipe.h"

namespace nc::des {

namespace {

using frame::kDestinationUnwritable;
using frame::kSourceUnreadable;
using frame::kWorkerOk;

// The largest whole number of units that fits the buffer, so that every
// chunk but the last ends on a unit boundary.
std::uint32_t ChunkSize(std::uint32_t unit) { return frame::kFileJobBufferSize / unit * unit; }

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

// The cipher over `size` bytes of the buffer; a refusal is a failure of the
// source (nothing of it is written).
int Exec(DesFileJob& job, std::uint32_t size) {
  if (DESExec(job.file.buffer, size, &job.context) == kDesExecOk) return kWorkerOk;
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return kSourceUnreadable;
}

// ---- encryption ----------------------------------------------------------------------

int Encrypt(DesFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (!frame::OpenPlainSource(file, &size)) return kSourceUnreadable;
  if (!frame::CreateJobOutput(file)) return kDestinationUnwritable;

  const std::uint32_t mode = job.command + 1;  // ECB, CBC, CFB, OFB
  const std::uint32_t unit = mode == kDesEcb || mode == kDesCbc ? 8 : job.unitSize;
  StartContext(job, kDesEncipher, mode, unit);
  file.header = frame::NewHeader(frame::kFileCiphertext, frame::kAlgDes, frame::kKeyNone);
  file.header.mode = static_cast<std::uint16_t>(mode);
  file.header.unitSize = static_cast<std::uint8_t>(unit);
  file.header.dataLength = static_cast<std::uint32_t>(size);  // low 32 bits
  if (!frame::WriteDataFileHeader(file.output.file, file.header)) return kDestinationUnwritable;

  frame::OpenJobWindow(file, frame::kTextEncrypting);
  int code = frame::ReadSourceChunks(file, size, ChunkSize(unit), [&](std::uint32_t got) {
    // ECB works on whole blocks: the last one is filled with zeros, which
    // the stored length removes again on decryption.
    if (mode == kDesEcb && got % 8 != 0) {
      std::uint32_t padded = (got + 7) / 8 * 8;
      std::memset(file.buffer + got, 0, padded - got);
      got = padded;
    }
    if (int failed = Exec(job, got); failed != kWorkerOk) return failed;
    return frame::WriteJobOutput(file, file.buffer, got) ? kWorkerOk : kDestinationUnwritable;
  });
  return code != kWorkerOk ? code : frame::FinishJobOutput(file);
}

// ---- decryption ------------------------------------------------------------------------

// Mode and unit size the cipher can run with; ECB is padded to blocks.
bool UsableCiphertext(const frame::DataFileHeader& header, std::uint32_t* blockSize) {
  *blockSize = header.mode == kDesEcb ? 8 : 1;
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
  frame::FileJob& file = job.file;
  frame::CiphertextSource source;
  if (int code = frame::OpenCiphertextSource(file, frame::kAlgDes, UsableCiphertext, &source);
      code != kWorkerOk)
    return code;
  if (!frame::CreateJobOutput(file)) return kDestinationUnwritable;

  StartContext(job, kDesDecipher, file.header.mode, file.header.unitSize);
  frame::OpenJobWindow(file, frame::kTextDecrypting);
  int code = frame::DecipherChunks(file, source, ChunkSize(file.header.unitSize),
                                   [&](std::uint32_t got) { return Exec(job, got); });
  return code != kWorkerOk ? code : frame::FinishJobOutput(file);
}

// ---- the keyed hash ------------------------------------------------------------------------

int Hash(DesFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (!frame::OpenPlainSource(file, &size)) return kSourceUnreadable;
  if (!frame::CreateJobOutput(file)) return kDestinationUnwritable;

  file.header = frame::NewHeader(frame::kFileHash, frame::kAlgDes, frame::kKeyNone);
  file.header.unitSize = sizeof job.context.chaining;
  if (!frame::WriteDataFileHeader(file.output.file, file.header)) return kDestinationUnwritable;
  StartContext(job, kDesHash, 0, 0);

  frame::OpenJobWindow(file, frame::kTextHashing);
  int code = frame::ReadSourceChunks(file, size, frame::kFileJobBufferSize,
                                     [&](std::uint32_t got) { return Exec(job, got); });
  if (code != kWorkerOk) return code;
  if (!frame::WriteJobOutput(file, job.context.chaining, sizeof job.context.chaining))
    return kDestinationUnwritable;
  return frame::FinishJobOutput(file);
}

}  // namespace

int EncryptDesFile(DesFileJob& job) { return frame::EndFileCommand(job.file, Encrypt(job)); }
int DecryptDesFile(DesFileJob& job) { return frame::EndFileCommand(job.file, Decrypt(job)); }
int HashDesFile(DesFileJob& job) { return frame::EndFileCommand(job.file, Hash(job)); }

void ReleaseDesFileJob(DesFileJob& job) {
  std::uint32_t error = platform::GetLastErrorCode();
  frame::ReleaseFileJob(job.file);
  nc::SecureWipe(&job.context, sizeof job.context);
  platform::SetLastErrorCode(error);
}

}  // namespace nc::des
