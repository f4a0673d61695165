// The RSA file commands: one chunk loop each over the job's 64 KiB buffer.
#include "rsa/rsa_file_workers.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/last_error.h"
#include "zq/wipe.h"

namespace nc::rsa {

namespace {

using frame::kDestinationUnreadable;
using frame::kDestinationUnwritable;
using frame::kSourceRefused;
using frame::kSourceUnreadable;
using frame::kWorkerOk;

// The hash reads the source 4 KiB at a time.
constexpr std::uint32_t kHashChunk = 4096;

// Whole blocks per chunk: `inBlock`-byte blocks filling the work buffer
// whose `outBlock`-byte results still fit the block buffer.
std::uint32_t BlocksPerChunk(std::uint32_t inBlock, std::uint32_t outBlock) {
  return std::min(frame::kFileJobBufferSize / inBlock, kRsaBlocksBufferSize / outBlock);
}

bool WriteHeader(frame::FileJob& file, std::uint16_t fileKind, std::uint8_t unitSize,
                 std::uint32_t dataLength) {
  file.header = frame::NewHeader(fileKind, frame::kAlgRsa, frame::kKeyNone);
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

bool AllZero(const std::uint8_t* bytes, std::size_t size) {
  std::uint8_t any = 0;
  for (std::size_t i = 0; i < size; ++i) any |= bytes[i];
  return any == 0;
}

// ---- encrypt, decrypt -------------------------------------------------------------------

int Encrypt(RsaFileJob& job) {
  frame::FileJob& file = job.file;
  const std::uint32_t encBlock = RSAEncBlk(&job.context);
  const std::uint32_t decBlock = RSADecBlk(&job.context);
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  if (!WriteHeader(file, frame::kFileCiphertext, 0,
                   static_cast<std::uint32_t>(size)))  // the length's low 32 bits
    return kDestinationUnwritable;

  frame::OpenJobWindow(file, frame::kTextEncrypting);
  // Chunks of whole blocks, so only the source's last block is short; the
  // primitive fills it with zeros, which the stored length removes again.
  const std::uint32_t chunk = BlocksPerChunk(encBlock, decBlock) * encBlock;
  int code = frame::ReadSourceChunks(file, size, chunk, [&](std::uint32_t got) {
    const std::uint32_t made = RSAEncrypt(&job.context, job.blocks, file.buffer, got);
    if (made == 0) {
      platform::SetLastErrorCode(platform::kErrorInvalidData);
      return kSourceUnreadable;
    }
    return frame::WriteJobOutput(file, job.blocks, made) ? kWorkerOk : kDestinationUnwritable;
  });
  return code != kWorkerOk ? code : frame::FinishJobOutput(file);
}

// Opens the source as an RSA ciphertext and checks it before any output
// exists: whole blocks of the modulus, and a stored length that fits them.
int OpenCiphertext(RsaFileJob& job, frame::CiphertextSource* source) {
  frame::FileJob& file = job.file;
  const std::uint32_t encBlock = RSAEncBlk(&job.context);
  const std::uint32_t decBlock = RSADecBlk(&job.context);
  file.input.reset(frame::OpenDataFile(file.source, frame::kFileCiphertext, frame::kAlgRsa,
                                       frame::kKeyNone, 0, &file.header));
  if (!file.input.valid() || !platform::GetFileSize(file.input.get(), &source->fileSize))
    return kSourceUnreadable;
  if (source->fileSize < frame::kHeaderSize) {  // shrank since its header was read
    platform::SetLastErrorCode(platform::kErrorReadFault);
    return kSourceUnreadable;
  }
  source->payload = source->fileSize - frame::kHeaderSize;
  if (source->payload % decBlock != 0 ||
      !frame::RecoverPlaintextLength(source->payload / decBlock * encBlock, file.header.dataLength,
                                     encBlock, &source->length)) {
    platform::SetLastErrorCode(platform::kErrorInvalidData);
    return kSourceRefused;
  }
  return kWorkerOk;
}

// Deciphers `count` blocks of the work buffer into the block buffer, one
// call each: a block not below N, or one RSAEncrypt did not make, refuses
// the source.
int DecryptBlocks(RsaFileJob& job, std::uint32_t count) {
  const std::uint32_t encBlock = RSAEncBlk(&job.context);
  const std::uint32_t decBlock = RSADecBlk(&job.context);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (RSADecrypt(&job.context, job.blocks + std::size_t{i} * encBlock,
                   job.file.buffer + std::size_t{i} * decBlock, decBlock) == 0) {
      platform::SetLastErrorCode(platform::kErrorInvalidData);
      return kSourceRefused;
    }
  }
  return kWorkerOk;
}

int Decrypt(RsaFileJob& job) {
  frame::FileJob& file = job.file;
  frame::CiphertextSource source;
  if (int code = OpenCiphertext(job, &source); code != kWorkerOk) return code;
  if (!frame::CreateJobOutput(file)) return kDestinationUnwritable;
  const std::uint32_t encBlock = RSAEncBlk(&job.context);
  const std::uint32_t decBlock = RSADecBlk(&job.context);
  const std::uint32_t chunk = BlocksPerChunk(decBlock, encBlock) * decBlock;

  frame::OpenJobWindow(file, frame::kTextDecrypting);
  std::uint64_t total = 0;  // payload bytes read
  std::uint64_t written = 0;
  while (total < source.payload) {
    const auto want =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, source.payload - total));
    std::uint32_t got = 0;
    if (!platform::ReadFile(file.input.get(), file.buffer, want, &got)) return kSourceUnreadable;
    if (got != want) {  // the file shrank under us
      platform::SetLastErrorCode(platform::kErrorReadFault);
      return kSourceUnreadable;
    }
    total += got;
    if (frame::JobCancelled(file, frame::kHeaderSize + total, source.fileSize))
      return frame::kWorkerCancelled;
    const std::uint32_t count = got / decBlock;
    if (int code = DecryptBlocks(job, count); code != kWorkerOk) return code;
    frame::GuardedFaultPoint();
    // The zeros that filled the last block are not written.
    const auto keep = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{count} * encBlock, source.length - written));
    if (!frame::WriteJobOutput(file, job.blocks, keep)) return kDestinationUnwritable;
    written += keep;
  }
  if (!frame::SourceUnchanged(file.input.get(), source.fileSize, frame::kHeaderSize + total))
    return kSourceUnreadable;
  return frame::FinishJobOutput(file);
}

// ---- hash, sign, check ------------------------------------------------------------------

// Hashes the open source behind a window described by `textId` into
// job.hash. An empty source is hashed by one call over no bytes, so that no
// file has the all-zero start value as its hash.
int HashSource(RsaFileJob& job, std::uint64_t size, int textId) {
  frame::FileJob& file = job.file;
  std::memset(job.hash, 0, sizeof job.hash);
  bool hashed = false;
  frame::OpenJobWindow(file, textId);
  int code = frame::ReadSourceChunks(file, size, kHashChunk, [&](std::uint32_t got) {
    RSAHash(job.hash, file.buffer, got);
    hashed = true;
    return kWorkerOk;
  });
  if (code != kWorkerOk) return code;
  if (!hashed) RSAHash(job.hash, file.buffer, 0);
  frame::CloseProgressWindow(file.window);
  return kWorkerOk;
}

int Hash(RsaFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  if (!WriteHeader(file, frame::kFileHash, 64, 0)) return kDestinationUnwritable;
  if (int code = HashSource(job, size, frame::kTextHashing); code != kWorkerOk) return code;
  if (!frame::WriteJobOutput(file, job.hash, sizeof job.hash)) return kDestinationUnwritable;
  return frame::FinishJobOutput(file);
}

int Sign(RsaFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (int code = OpenSourceAndOutput(file, &size); code != kWorkerOk) return code;
  if (int code = HashSource(job, size, frame::kTextSigning); code != kWorkerOk) return code;
  const std::uint32_t encBlock = RSAEncBlk(&job.context);
  const std::uint32_t decBlock = RSADecBlk(&job.context);
  // Every usable modulus gives at most 256 bytes; the room is checked
  // rather than assumed.
  if (encBlock == 0 || (kRsaHashSize + encBlock - 1) / encBlock * decBlock > kRsaSignatureRoom)
    return kWorkerNoSignature;
  const std::uint32_t length = RSAEncrypt(&job.context, job.signature, job.hash, kRsaHashSize);
  if (length == 0) return kWorkerNoSignature;
  if (!WriteHeader(file, frame::kFileSignature, 0, length) ||
      !frame::WriteJobOutput(file, job.signature, length))
    return kDestinationUnwritable;
  return frame::FinishJobOutput(file);
}

// The signature file is the destination, read: its header and the
// signature's stored length of bytes. A length no signature of this key
// has, or a signature of zeros, is a negative result.
int ReadSignature(RsaFileJob& job, std::uint32_t* length) {
  frame::FileJob& file = job.file;
  file.checked.reset(frame::OpenDataFile(file.destination, frame::kFileSignature, frame::kAlgRsa,
                                         frame::kKeyNone, 0, &file.header));
  if (!file.checked.valid()) return kDestinationUnreadable;
  *length = file.header.dataLength;
  if (*length > kRsaSignatureRoom || *length % RSADecBlk(&job.context) != 0) {
    file.checked.Close();
    return frame::kWorkerSignatureNegative;
  }
  std::uint32_t got = 0;
  if (!platform::ReadFile(file.checked.get(), job.signature, *length, &got))
    return kDestinationUnreadable;
  file.checked.Close();
  if (got != *length) {
    platform::SetLastErrorCode(platform::kErrorReadFault);
    return kDestinationUnreadable;
  }
  return AllZero(job.signature, *length) ? frame::kWorkerSignatureNegative : kWorkerOk;
}

int Check(RsaFileJob& job) {
  frame::FileJob& file = job.file;
  std::uint64_t size = 0;
  if (!frame::OpenPlainSource(file, &size)) return kSourceUnreadable;
  std::uint32_t length = 0;
  if (int code = ReadSignature(job, &length); code != kWorkerOk) return code;
  if (int code = HashSource(job, size, frame::kTextCheckingSignature); code != kWorkerOk)
    return code;
  file.input.Close();
  const std::uint32_t recovered = RSADecrypt(&job.context, job.recovered, job.signature, length);
  if (recovered < kRsaHashSize || std::memcmp(job.recovered, job.hash, kRsaHashSize) != 0)
    return frame::kWorkerSignatureNegative;
  return kWorkerOk;
}

int Run(RsaFileJob& job) {
  switch (job.command) {
    case kRsaEncrypt:
      return Encrypt(job);
    case kRsaDecrypt:
      return Decrypt(job);
    case kRsaHash:
      return Hash(job);
    case kRsaSign:
      return Sign(job);
    case kRsaCheck:
      return Check(job);
    default:
      return frame::CompareJobFiles(job.file);
  }
}

}  // namespace

void StartRsaFileJob(RsaFileJob& job) { job.context.size = sizeof job.context; }

bool AllocateRsaBlocks(RsaFileJob& job) {
  if (job.blocks == nullptr) job.blocks = new (std::nothrow) std::uint8_t[kRsaBlocksBufferSize];
  return job.blocks != nullptr;
}

int RunRsaFileCommand(RsaFileJob& job) { return frame::EndFileCommand(job.file, Run(job)); }

void ReleaseRsaFileJob(RsaFileJob& job) {
  const std::uint32_t error = platform::GetLastErrorCode();
  frame::ReleaseFileJob(job.file);
  if (job.blocks != nullptr) {
    nc::SecureWipe(job.blocks, kRsaBlocksBufferSize);
    delete[] job.blocks;
    job.blocks = nullptr;
  }
  nc::SecureWipe(&job.context, sizeof job.context);
  nc::SecureWipe(job.hash, sizeof job.hash);
  nc::SecureWipe(job.signature, sizeof job.signature);
  nc::SecureWipe(job.recovered, sizeof job.recovered);
  platform::SetLastErrorCode(error);
}

}  // namespace nc::rsa
