// ZqDESF: one DES command over a source and a destination file: encrypt
// (ECB, CBC, CFB or OFB with 1- to 8-byte units), decrypt, keyed hash, or
// compare the two files. The key comes from a DES key file, deciphered under
// the master key when the file is protected.
//
// Outputs replace the destination only when the job succeeded (see
// frame/file_job.h), so a destination that is the source itself is
// processed in place.
#include <cstring>

#include "des/des_file_workers.h"
#include "frame/data_file.h"
#include "frame/file_failure.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/result_text.h"
#include "nccore21.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "protect/key_material.h"
#include "zq/wipe.h"

namespace nc::des {

namespace {

using frame::Outcome;

constexpr char kTag[] = "ZQDESF";
constexpr int kDefaultKeyFile = 5001;

enum Option {
  kOptionQuiet,
  kOptionOverwrite,
  kOptionEcb,
  kOptionCbc,
  kOptionCfb,
  kOptionOfb,
  kOptionDecrypt,
  kOptionHash,
  kOptionCompare,
  kOptionKey,
};
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None}, {"/Y", frame::OptionArg::None},
    {"/ECB", frame::OptionArg::None},    {"/CBC", frame::OptionArg::None},
    {"/CFB", frame::OptionArg::Number},  {"/OFB", frame::OptionArg::Number},
    {"/D", frame::OptionArg::None},      {"/HASH", frame::OptionArg::None},
    {"/COMP", frame::OptionArg::None},   {"/KEY:", frame::OptionArg::Name},
};

struct DesfJob {
  const char* options = nullptr;
  bool overwrite = false;
  int commands = 0;
  int names = 0;
  char keyName[kDesNameSize] = {};
  platform::ScopedFile keyFile;
  // What the key file's failure appends after the result message.
  frame::FileFailureText keyFailure;
  DesFileJob work;
};

void SetCommand(DesfJob& job, DesCommand command) {
  job.work.command = command;
  ++job.commands;
}

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<DesfJob*>(context);
  switch (hit.index) {
    case kOptionQuiet:
      job.work.file.quiet = true;
      return true;
    case kOptionOverwrite:
      job.overwrite = true;
      return true;
    case kOptionEcb:
      SetCommand(job, kCommandEcb);
      return true;
    case kOptionCbc:
      SetCommand(job, kCommandCbc);
      return true;
    case kOptionCfb:
    case kOptionOfb:
      SetCommand(job, hit.index == kOptionCfb ? kCommandCfb : kCommandOfb);
      if (hit.number == -1) return true;  // no suffix: 8-byte units
      if (hit.number < 1 || hit.number > 8) return false;
      job.work.unitSize = static_cast<std::uint32_t>(hit.number);
      return true;
    case kOptionDecrypt:
      SetCommand(job, kCommandDecrypt);
      return true;
    case kOptionHash:
      SetCommand(job, kCommandHash);
      return true;
    case kOptionCompare:
      SetCommand(job, kCommandCompare);
      return true;
    case kOptionKey:
      frame::CopyNameToken(hit.nameStart, job.keyName, kDesNameSize);
      return true;
    default:
      if (job.names == 2) return false;  // a third name
      frame::CopyNameToken(hit.nameStart,
                           job.names == 0 ? job.work.file.source : job.work.file.destination,
                           kDesNameSize);
      ++job.names;
      return true;
  }
}

// Reads the key into the job's context: the key file's header and its one
// block, deciphered when protected and checked against the integrity value.
// A DES key block holds exactly the two words of one key; a shorter block
// would pass the integrity check as an all-zero or half-zero key.
bool HoldsDesKey(const WordBlock* key) {
  if (key->count == 2) return true;
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return false;
}

bool LoadKey(DesfJob& job) {
  frame::DataFileHeader header{};
  job.keyFile.reset(frame::OpenDataFile(job.keyName, frame::kFileKey, frame::kAlgDes,
                                        frame::kKeySymmetric, 0, &header));
  if (!job.keyFile.valid()) return false;
  auto* key = reinterpret_cast<WordBlock*>(&job.work.context.key);
  bool ok = frame::ReadWordBlock(job.keyFile.get(), key, WordBlockOf<2>::kCapacityBytes) &&
            HoldsDesKey(key) &&
            protect::OpenKeyMaterial(job.work.file.parent, header, job.work.file.quiet,
                                     protect::KeyMaterialKind::Des, key, nullptr);
  std::uint32_t error = platform::GetLastErrorCode();
  job.keyFile.Close();
  platform::SetLastErrorCode(error);
  return ok;
}

Outcome Process(DesfJob& job) {
  DesFileJob& work = job.work;
  platform::LoadText(kDefaultKeyFile, job.keyName, kDesNameSize);
  if (!frame::ScanOptions(job.options, kOptions, std::size(kOptions), frame::kWholeNameTokens,
                          TakeOption, &job) ||
      job.commands != 1 || job.names != 2 || work.file.source[0] == '\0' ||
      work.file.destination[0] == '\0')
    return {frame::kResultBadCommand};

  if (!frame::AllocateFileJobBuffer(work.file)) return {frame::kResultNoMemory};

  const bool compare = work.command == kCommandCompare;
  if (!compare) {
    if (!frame::MayWriteOutput(work.file.output, work.file.parent, platform::kTitleDesFiles,
                               work.file.destination, job.overwrite, work.file.quiet))
      return {frame::kResultFileExists, work.file.destination};
    if (!LoadKey(job)) return frame::FileFailure(kTag, job.keyName, job.keyFailure);
  }
  frame::GuardedFaultPoint();

  int code = 0;
  switch (work.command) {
    case kCommandDecrypt:
      code = DecryptDesFile(work);
      break;
    case kCommandHash:
      code = HashDesFile(work);
      break;
    case kCommandCompare:
      code = frame::CompareJobFiles(work.file);
      break;
    default:
      code = EncryptDesFile(work);
      break;
  }
  return frame::FileWorkerOutcome(code, work.file);
}

void Cleanup(DesfJob& job) {
  job.keyFile.Close();
  ReleaseDesFileJob(job.work);
}

}  // namespace

}  // namespace nc::des

extern "C" NCEXPORT int32_t NCAPI ZqDESF(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::des::DesfJob job;
  job.work.file.parent = parent;
  job.work.file.titleId = nc::platform::kTitleDesFiles;
  job.options = options;
  return nc::frame::RunOperation(nc::des::kTag, job, nc::des::Process, nc::des::Cleanup, result,
                                 resultSize);
}
