// ZqPWD: changes the protection of a key file. The key material is opened
// under the old protection (the factors of the file's code are asked for),
// enciphered under the new one (the factors of the code the destination's
// keywords give), and written to the destination, which may be the source
// itself. The challenge and the integrity value stay as they are.
//
// The whole file is read and closed before anything is asked, and the
// destination is written to a temporary file beside it, private to its
// owner, and renamed over it only when complete: a failed write, a wrong
// password or a cancel leaves the only copy of a key exactly as it was.
//
// Before anything is deciphered the file's structure is checked against
// its size: the word blocks its counts describe must lie within the file
// (a DES key's block is 2 words, a GOST key's 8), and its protection code
// may hold only the known factors. The integrity value is checked also for
// an unprotected source, so that damaged material is never protected (and
// later taken for a wrong password).
#include <cstdlib>
#include <cstring>

#include "frame/data_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/output_file.h"
#include "nccore21.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "protect/key_material.h"
#include "zq/wipe.h"

namespace nc::pwd {

namespace {

using frame::Outcome;
using protect::KeyMaterialKind;

constexpr char kTag[] = "ZQPWD";
constexpr std::size_t kNameSize = platform::kNameBufferSize;
// The destination's token: up to five protection keywords before the name.
constexpr std::size_t kSpecSize = kNameSize + 50;
constexpr std::uint32_t kMaxFileSize = 32768;
constexpr std::uint32_t kKnownFactors = frame::kProtectPassword | frame::kProtectTouchMemory |
                                        frame::kProtectQuadra | frame::kProtectActivator |
                                        frame::kProtectTessel;

constexpr frame::OptionSpec kOptions[] = {
    {"/Y", frame::OptionArg::None},
};

struct PwdJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  bool overwrite = false;
  int names = 0;
  char source[kNameSize] = {};
  char spec[kSpecSize] = {};
  char destination[kNameSize] = {};
  std::uint32_t newCode = 0;
  platform::FileHandle file = platform::kInvalidFile;
  std::uint8_t* buffer = nullptr;  // the whole key file
  std::uint32_t size = 0;
  DesKeyContext masterKey{};
  frame::OutputFile output;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<PwdJob*>(context);
  if (hit.index == 0) {
    job.overwrite = true;
    return true;
  }
  if (job.names == 2) return false;  // a third name
  frame::CopyNameToken(hit.nameStart, job.names == 0 ? job.source : job.spec,
                       job.names == 0 ? kNameSize : kSpecSize);
  ++job.names;
  return true;
}

// The kind of key a header describes, if this operation changes its
// protection.
bool KindOf(const frame::DataFileHeader& header, KeyMaterialKind* kind) {
  struct Entry {
    std::uint16_t algorithm, keyKind;
    KeyMaterialKind kind;
  };
  static constexpr Entry kKinds[] = {
      {frame::kAlgDes, frame::kKeySymmetric, KeyMaterialKind::Des},
      {frame::kAlgGost, frame::kKeySymmetric, KeyMaterialKind::Gost},
      {frame::kAlgGost, frame::kKeySecretHalf, KeyMaterialKind::GostSignSecret},
      {frame::kAlgDh, frame::kKeySecretHalf, KeyMaterialKind::DhSecret},
      {frame::kAlgRsa, frame::kKeySecretHalf, KeyMaterialKind::RsaSecret},
  };
  if (header.fileKind != frame::kFileKey) return false;
  for (const Entry& e : kKinds) {
    if (e.algorithm == header.algorithm && e.keyKind == header.keyKind) {
      *kind = e.kind;
      return true;
    }
  }
  return false;
}

// The word block at `offset` of the file, if its count and words lie
// within the file; `offset` moves past it.
WordBlock* BlockAt(const PwdJob& job, std::uint64_t* offset) {
  if (*offset + 4 > job.size) return nullptr;
  std::uint32_t count;
  std::memcpy(&count, job.buffer + *offset, 4);
  const std::uint64_t end = *offset + 4 + std::uint64_t{count} * 4;
  if (end > job.size) return nullptr;
  // The buffer comes from malloc, and every block starts at a multiple of 4.
  auto* block = reinterpret_cast<WordBlock*>(job.buffer + *offset);
  *offset = end;
  return block;
}

// The material of `kind` in the file: one block, or two for an RSA key
// (the modulus, then the secret exponent). False for a file whose blocks
// run past its end, or a symmetric key of the wrong length.
bool LocateMaterial(const PwdJob& job, KeyMaterialKind kind, WordBlock** first,
                    WordBlock** second) {
  std::uint64_t offset = frame::kHeaderSize;
  *first = BlockAt(job, &offset);
  *second = nullptr;
  if (*first == nullptr) return false;
  if (kind == KeyMaterialKind::RsaSecret) return (*second = BlockAt(job, &offset)) != nullptr;
  if (kind == KeyMaterialKind::Des) return (*first)->count == 2;
  if (kind == KeyMaterialKind::Gost) return (*first)->count == 8;
  return true;
}

// Reads the whole source into the job's buffer.
Outcome ReadSource(PwdJob& job) {
  job.file = platform::OpenForRead(job.source);
  std::uint64_t size = 0;
  if (job.file == platform::kInvalidFile || !platform::GetFileSize(job.file, &size))
    return {frame::kResultReadError, job.source};
  // Shorter than a header: nothing a key file could be.
  if (size > kMaxFileSize || size < frame::kHeaderSize)
    return {frame::kResultBadFormat, job.source};
  job.size = static_cast<std::uint32_t>(size);
  job.buffer = static_cast<std::uint8_t*>(std::malloc(job.size));
  if (job.buffer == nullptr) return {frame::kResultNoMemory};
  std::uint32_t got = 0;
  if (!platform::ReadFile(job.file, job.buffer, job.size, &got) || got != job.size ||
      !frame::SourceUnchanged(job.file, size, got))
    return {frame::kResultReadError, job.source};
  platform::CloseFile(job.file);
  job.file = platform::kInvalidFile;
  return {frame::kResultOk};
}

// Shows one of the two information boxes (string `id`).
void Inform(const PwdJob& job, int id) {
  char text[256];
  platform::LoadText(id, text, sizeof text);
  frame::ShowInfoBox(job.parent, text);
}

Outcome Change(PwdJob& job) {
  if (!frame::ScanOptions(job.options, kOptions, std::size(kOptions), frame::kWholeNameTokens,
                          TakeOption, &job))
    return {frame::kResultBadCommand};
  if (job.source[0] == '\0' || job.spec[0] == '\0') return {frame::kResultBadCommand};
  frame::ParseProtectionSpec(job.spec, &job.newCode, job.destination, kNameSize);

  // Always asked: this operation has no quiet mode.
  if (!frame::MayWriteOutput(job.output, job.parent, platform::kTitleProtection, job.destination,
                             job.overwrite, false))
    return {frame::kResultFileExists, job.destination};

  const Outcome read = ReadSource(job);
  if (read.code != frame::kResultOk) return read;
  frame::DataFileHeader header = frame::DecodeHeader(job.buffer);
  if (std::memcmp(header.magic, frame::kDataFileMagic, sizeof header.magic) != 0)
    return {frame::kResultBadFormat, job.source};
  if (job.buffer[frame::kOffsetFormatVersion + 1] != frame::kFormatMajor)
    return {frame::kResultBadVersion, job.source};
  KeyMaterialKind kind;
  if (!KindOf(header, &kind) || (header.protectionCode == 0 && job.newCode == 0))
    return {frame::kResultNotProtectable};
  WordBlock *first, *second;
  if ((header.protectionCode & ~kKnownFactors) != 0 || !LocateMaterial(job, kind, &first, &second))
    return {frame::kResultBadFormat, job.source};

  // The material in the clear, checked against the integrity value.
  if (header.protectionCode != 0) Inform(job, platform::kTextAuthorizeSource);
  if (!protect::OpenKeyMaterial(job.parent, header, false, kind, first, second)) {
    if (platform::GetLastErrorCode() == platform::kErrorFileCorrupt)
      return {frame::kResultCorrupt, job.source};
    return {frame::kResultHardwareError};
  }

  header.protectionCode = job.newCode;
  const std::uint32_t code = job.newCode;
  std::memcpy(job.buffer + frame::kOffsetProtectionCode, &code, 4);
  if (job.newCode != 0) {
    Inform(job, platform::kTextAuthorizeDestination);
    if (!protect::ObtainMasterKeyFor(job.parent, header, false, job.masterKey))
      return {frame::kResultHardwareError};
    protect::CipherKeyMaterial(kind, job.masterKey, first, second, kDesEncipher);
  }
  frame::GuardedFaultPoint();

  // The destination as a whole, or not at all.
  std::uint32_t put = 0;
  if (job.destination[0] == '\0' || !frame::CreateOutput(job.output, job.destination, true) ||
      !platform::WriteFile(job.output.file, job.buffer, job.size, &put) || put != job.size ||
      !frame::CommitOutput(job.output))
    return frame::OutputFailure(job.output, job.destination);
  return {frame::kResultOk};
}

void Cleanup(PwdJob& job) {
  if (job.file != platform::kInvalidFile) platform::CloseFile(job.file);
  job.file = platform::kInvalidFile;
  frame::DiscardOutput(job.output);
  if (job.buffer != nullptr) {
    nc::SecureWipe(job.buffer, job.size);
    std::free(job.buffer);
    job.buffer = nullptr;
  }
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);
}

}  // namespace

}  // namespace nc::pwd

extern "C" NCEXPORT int32_t NCAPI ZqPWD(void* parent, const char* options, char* result,
                                        int32_t resultSize) {
  nc::pwd::PwdJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation(nc::pwd::kTag, job, nc::pwd::Change, nc::pwd::Cleanup, result,
                                 resultSize);
}
