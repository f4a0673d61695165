// ZqRSAF: one RSA command over a source and a destination file: encrypt,
// decrypt, the file hash, a signature and its check, or compare the two
// files. Encryption and the check take the public key (.RPK), decryption
// and signing the secret key (.RSK), deciphered under the master key when
// the file is protected; the hash takes no key.
//
// Outputs replace the destination only when the command succeeded (see
// frame/file_job.h), so a destination that is the source itself is
// processed in place.
#include "frame/file_failure.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "nccore21.h"
#include "platform/string_table.h"
#include "rsa/rsa_file_workers.h"
#include "rsa/rsa_key_files.h"
#include "zq/wipe.h"

namespace nc::rsa {

namespace {

using frame::Outcome;

constexpr char kTag[] = "ZQRSAF";
constexpr std::size_t kNameSize = platform::kNameBufferSize;
constexpr int kDefaultSecretKey = 5002;
constexpr int kDefaultPublicKey = 5003;

enum Option : int {
  kOptionQuiet,
  kOptionOverwrite,
  kOptionFirstCommand,                                 // "/E" .. "/COMP", in command order
  kOptionKey = kOptionFirstCommand + kRsaCompare + 1,  // "/KEY:"
};
// "/E" takes its whole token ("/E", "/ENC", "/ENCRYPT" alike).
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None}, {"/Y", frame::OptionArg::None},
    {"/E", frame::OptionArg::ToBlank},   {"/D", frame::OptionArg::None},
    {"/HASH", frame::OptionArg::None},   {"/SIGN", frame::OptionArg::None},
    {"/CHECK", frame::OptionArg::None},  {"/COMP", frame::OptionArg::None},
    {"/KEY:", frame::OptionArg::Name},
};
static_assert(std::size(kOptions) == kOptionKey + 1);

struct RsafJob {
  const char* options = nullptr;
  bool overwrite = false;
  int commands = 0;
  int names = 0;
  bool keyNamed = false;
  char keyName[kNameSize] = {};
  // What the key file's failure appends after the result message.
  frame::FileFailureText keyFailure;
  RsaFileJob work;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<RsafJob*>(context);
  frame::FileJob& file = job.work.file;
  if (hit.index == kOptionQuiet) {
    file.quiet = true;
  } else if (hit.index == kOptionOverwrite) {
    job.overwrite = true;
  } else if (hit.index >= kOptionFirstCommand && hit.index < kOptionKey) {
    job.work.command = static_cast<std::uint32_t>(hit.index - kOptionFirstCommand);
    ++job.commands;  // a repeated switch counts twice
  } else if (hit.index == kOptionKey) {
    frame::CopyNameToken(hit.nameStart, job.keyName, kNameSize);
    job.keyNamed = true;
  } else {
    if (job.names == 2) return false;  // a third name
    frame::CopyNameToken(hit.nameStart, job.names == 0 ? file.source : file.destination, kNameSize);
    ++job.names;
  }
  return true;
}

// Reads the key the command needs into the context slot its primitive
// raises to: RSAEncrypt uses e (encrypting with the public exponent,
// signing with the secret one), RSADecrypt uses d.
bool LoadKey(RsafJob& job) {
  RsaFileJob& work = job.work;
  const std::uint32_t command = work.command;
  const bool secret = command == kRsaDecrypt || command == kRsaSign;
  if (!job.keyNamed)
    platform::LoadText(secret ? kDefaultSecretKey : kDefaultPublicKey, job.keyName, kNameSize);
  RSANumber& exponent =
      command == kRsaEncrypt || command == kRsaSign ? work.context.e : work.context.d;
  return ReadRsaKeyFile(work.file.parent, job.keyName,
                        secret ? RsaKeyKind::Secret : RsaKeyKind::Public, work.file.quiet,
                        work.context.n, exponent);
}

Outcome Process(RsafJob& job) {
  RsaFileJob& work = job.work;
  frame::FileJob& file = work.file;
  StartRsaFileJob(work);
  if (!frame::ScanOptions(job.options, kOptions, std::size(kOptions), frame::kWholeNameTokens,
                          TakeOption, &job) ||
      job.commands != 1 || job.names != 2 || file.source[0] == '\0' || file.destination[0] == '\0')
    return {frame::kResultBadCommand};

  const std::uint32_t command = work.command;
  if (!frame::AllocateFileJobBuffer(file) ||
      ((command == kRsaEncrypt || command == kRsaDecrypt) && !AllocateRsaBlocks(work)))
    return {frame::kResultNoMemory};

  // "/COMP" needs no key file; "/CHECK" only reads its destination, the
  // signature; "/HASH" takes no key.
  if (command != kRsaCompare && command != kRsaCheck &&
      !frame::MayWriteOutput(file.output, file.parent, platform::kTitleRsaFiles, file.destination,
                             job.overwrite, file.quiet))
    return {frame::kResultFileExists, file.destination};
  if (command != kRsaCompare && command != kRsaHash && !LoadKey(job))
    return frame::FileFailure(kTag, job.keyName, job.keyFailure);
  frame::GuardedFaultPoint();

  int code = RunRsaFileCommand(work);
  if (code == kWorkerNoSignature) return {frame::kResultUnknownError};
  return frame::FileWorkerOutcome(code, file);
}

void Cleanup(RsafJob& job) { ReleaseRsaFileJob(job.work); }

}  // namespace

}  // namespace nc::rsa

extern "C" NCEXPORT int32_t NCAPI ZqRSAF(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::rsa::RsafJob job;
  job.work.file.parent = parent;
  job.work.file.titleId = nc::platform::kTitleRsaFiles;
  job.options = options;
  return nc::frame::RunOperation(nc::rsa::kTag, job, nc::rsa::Process, nc::rsa::Cleanup, result,
                                 resultSize);
}
