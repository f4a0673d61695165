// The GOST file commands: one chunk loop each over the job's 64 KiB buffer.
#include "gost/gost_file_workers.h"

#include <cstring>

#include "platform/last_error.h"
#include "zq/wipe.h"

namespace nc::gost {

namespace {

using frame::kDestinationUnreadable;
using frame::kDestinationUnwritable;
using frame::kSourceUnreadable;
using frame::kWorkerOk;

// Four blanks, then the synchro of every GOST file job.
constexpr std::uint8_t kSynchro[12] = {' ', ' ', ' ', ' ', 'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};
constexpr std::uint32_t kSignatureSize = sizeof(GOSSignContext::signature);

// The cipher over `size` bytes of the buffer. Any refusal ends the job as a
// failure of the source: nothing it left in the buffer is written.
int Exec(GostFileJob& job, std::uint32_t size) {
  if (GOSExec(job.file.buffer, size, &job.cipher) == kGosExecOk) return kWorkerOk;
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return kSourceUnreadable;
}

// Zero bytes after `got` up to a whole number of 8-byte blocks; the padded
// count.
std::uint32_t PadToBlocks(std::uint8_t* buffer, std::uint32_t got) {
  const std::uint32_t padded = (got + 7) / 8 * 8;
  std::memset(buffer + got, 0, padded - got);
  return padded;
}

bool WriteHeader(frame::FileJob& file, std::uint16_t fileKind, std::uint16_t mode,
                 std::uint8_t unitSize, std::uint32_t dataLength) {
  file.header = frame::NewHeader(fileKind, frame::kAlgGost, frame::kKeyNone);
  file.header.mode = mode;
  file.header.unitSize = unitSize;
  file.header.dataLength = dataLength;
  return frame::WriteDataFileHeader(file.output.file, file.header);
}

// Opens the source and creates the output: 0, 5 or 10.
int OpenSourceAndOutput(frame::FileJob& file, std::uint64_t* size) {
  if (!frame::OpenPlainSource(file, size)) return kSourceUnreadable;
  if (!frame::CreateJobOutput(file)) return kDestinationUnwritable;
  return kWorkerOk;
}

// ---- encipher, decipher, imitation insert -----------------------------------------------

int Encipher(GostFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  const bool blocks = job.command == kGostSimpleReplacement;
  job.cipher.operation = kGosEncipher;
  job.cipher.mode = job.command + 1;  // simple replacement, gamma, gamma with feedback
  if (!WriteHeader(file, frame::kFileCiphertext, static_cast<std::uint16_t>(job.cipher.mode), 8,
                   static_cast<std::uint32_t>(size)))  // the length's low 32 bits
    return kDestinationUnwritable;

  frame::OpenJobWindow(file, frame::kTextEncrypting);
  int code = frame::ReadSourceChunks(file, size, frame::kFileJobBufferSize, [&](std::uint32_t got) {
    // Simple replacement works on whole blocks: the last one is filled with
    // zeros, which the stored length removes again on deciphering.
    if (blocks && got % 8 != 0) got = PadToBlocks(file.buffer, got);
    if (int failed = Exec(job, got); failed != kWorkerOk) return failed;
    return frame::WriteJobOutput(file, file.buffer, got) ? kWorkerOk : kDestinationUnwritable;
  });
  return code != kWorkerOk ? code : frame::FinishJobOutput(file);
}

// The three modes the cipher runs; simple replacement is padded to blocks.
bool UsableCiphertext(const frame::DataFileHeader& header, std::uint32_t* blockSize) {
  *blockSize = header.mode == kGosSimpleReplacement ? 8 : 1;
  return header.mode >= kGosSimpleReplacement && header.mode <= kGosFeedbackGamma;
}

int Decipher(GostFileJob& job) {
  frame::FileJob& file = job.file;
  frame::CiphertextSource source;
  if (int code = frame::OpenCiphertextSource(file, frame::kAlgGost, UsableCiphertext, &source);
      code != kWorkerOk)
    return code;
  if (!frame::CreateJobOutput(file)) return kDestinationUnwritable;
  job.cipher.operation = kGosDecipher;
  job.cipher.mode = file.header.mode;

  frame::OpenJobWindow(file, frame::kTextDecrypting);
  int code = frame::DecipherChunks(file, source, frame::kFileJobBufferSize,
                                   [&](std::uint32_t got) { return Exec(job, got); });
  return code != kWorkerOk ? code : frame::FinishJobOutput(file);
}

int Imitation(GostFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  job.cipher.operation = kGosImitation;
  job.cipher.mode = kGosNoMode;
  if (!WriteHeader(file, frame::kFileMac, 0, 8, 0)) return kDestinationUnwritable;

  frame::OpenJobWindow(file, frame::kTextEncrypting);
  int code = frame::ReadSourceChunks(file, size, frame::kFileJobBufferSize, [&](std::uint32_t got) {
    return Exec(job, got % 8 != 0 ? PadToBlocks(file.buffer, got) : got);
  });
  if (code != kWorkerOk) return code;
  frame::CloseProgressWindow(file.window);
  if (!frame::WriteJobOutput(file, job.cipher.mac, sizeof job.cipher.mac))
    return kDestinationUnwritable;
  return frame::FinishJobOutput(file);
}

// ---- hash, sign, check ------------------------------------------------------------------

// Hashes the open source behind a window described by `textId`; the value
// is then in the hash context.
int HashSource(GostFileJob& job, std::uint64_t size, int textId) {
  frame::FileJob& file = job.file;
  frame::OpenJobWindow(file, textId);
  int code = frame::ReadSourceChunks(file, size, frame::kFileJobBufferSize, [&](std::uint32_t got) {
    GOSHash(file.buffer, got, &job.hash);
    return kWorkerOk;
  });
  if (code != kWorkerOk) return code;
  GOSHashComplete(&job.hash);
  frame::CloseProgressWindow(file.window);
  return kWorkerOk;
}

int Hash(GostFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  if (!WriteHeader(file, frame::kFileHash, 0, sizeof job.hash.hash, 0))
    return kDestinationUnwritable;
  if (int code = HashSource(job, size, frame::kTextHashing); code != kWorkerOk) return code;
  if (!frame::WriteJobOutput(file, job.hash.hash, sizeof job.hash.hash))
    return kDestinationUnwritable;
  return frame::FinishJobOutput(file);
}

bool AllZero(const std::uint8_t* bytes, std::size_t size) {
  std::uint8_t any = 0;
  for (std::size_t i = 0; i < size; ++i) any |= bytes[i];
  return any == 0;
}

int Sign(GostFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  if (int code = HashSource(job, size, frame::kTextSigning); code != kWorkerOk) return code;
  std::memcpy(job.sign.hash, job.hash.hash, sizeof job.sign.hash);
  GOSSignGen(&job.sign);
  // No signature was found (numbers no signature can use): nothing is
  // written rather than a signature that nothing verifies.
  if (AllZero(job.sign.signature, kSignatureSize)) return kWorkerNoSignature;
  if (!WriteHeader(file, frame::kFileSignature, 0, 0, 0) ||
      !frame::WriteJobOutput(file, job.sign.signature, kSignatureSize))
    return kDestinationUnwritable;
  return frame::FinishJobOutput(file);
}

// The signature file is the destination, read: its header and 64 bytes.
int ReadSignature(GostFileJob& job) {
  frame::FileJob& file = job.file;
  file.checked.reset(frame::OpenDataFile(file.destination, frame::kFileSignature, frame::kAlgGost,
                                         frame::kKeyNone, 0, &file.header));
  if (!file.checked.valid()) return kDestinationUnreadable;
  std::uint32_t got = 0;
  if (!platform::ReadFile(file.checked.get(), job.sign.signature, kSignatureSize, &got))
    return kDestinationUnreadable;
  file.checked.Close();
  if (got != kSignatureSize) {
    platform::SetLastErrorCode(platform::kErrorReadFault);
    return kDestinationUnreadable;
  }
  return kWorkerOk;
}

int Check(GostFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (!frame::OpenPlainSource(file, &size)) return kSourceUnreadable;
  if (int code = ReadSignature(job); code != kWorkerOk) return code;
  if (int code = HashSource(job, size, frame::kTextCheckingSignature); code != kWorkerOk)
    return code;
  file.input.Close();
  std::memcpy(job.sign.hash, job.hash.hash, sizeof job.sign.hash);
  return GOSSignCheck(&job.sign) != 0 ? kWorkerOk : frame::kWorkerSignatureNegative;
}

int Run(GostFileJob& job) {
  switch (job.command) {
    case kGostSimpleReplacement:
    case kGostGamma:
    case kGostFeedbackGamma:
      return Encipher(job);
    case kGostDecipher:
      return Decipher(job);
    case kGostImitation:
      return Imitation(job);
    case kGostHash:
      return Hash(job);
    case kGostSign:
      return Sign(job);
    case kGostCheck:
      return Check(job);
    default:
      return frame::CompareJobFiles(job.file);
  }
}

}  // namespace

void StartGostFileJob(GostFileJob& job) {
  job.cipher.size = sizeof job.cipher;
  job.hash.size = sizeof job.hash;
  job.sign.size = sizeof job.sign;
  std::memcpy(job.cipher.synchro, kSynchro, sizeof kSynchro);
}

int RunGostFileCommand(GostFileJob& job) { return frame::EndFileCommand(job.file, Run(job)); }

void ReleaseGostFileJob(GostFileJob& job) {
  std::uint32_t error = platform::GetLastErrorCode();
  frame::ReleaseFileJob(job.file);
  nc::SecureWipe(&job.cipher, sizeof job.cipher);
  nc::SecureWipe(&job.hash, sizeof job.hash);
  nc::SecureWipe(&job.sign, sizeof job.sign);
  platform::SetLastErrorCode(error);
}

}  // namespace nc::gost
