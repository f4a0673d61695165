// ZqGOSF: one GOST command over a source and a destination file: encipher
// under GOST 28147-89 (simple replacement, gamma, gamma with feedback),
// decipher, the imitation insert, the GOST R 34.11-94 hash, a GOST R
// 34.10-94 signature and its check, or compare the two files. The files the
// command needs are read first: the substitution block (.GTB), the cipher
// key (.GEK), the common numbers (.PQA) and the signature secret (.GSK) or
// public (.GPK) key; protected keys are deciphered under the master key.
//
// Outputs replace the destination only when the command succeeded (see
// frame/file_job.h), so a destination that is the source itself is
// processed in place.
#include "frame/file_failure.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "gost/gost_file_workers.h"
#include "gost/key_files.h"
#include "gost/pqa_file.h"
#include "nccore21.h"
#include "platform/string_table.h"

namespace nc::gost {

namespace {

using frame::Outcome;

constexpr char kTag[] = "ZQGOSF";
constexpr std::size_t kNameSize = platform::kNameBufferSize;

// The parameter and key files, with their options and default names.
enum KeyFile { kFileTable, kFileKey, kFileNumbers, kFileSecret, kFilePublic, kKeyFileCount };
constexpr int kDefaultNames[kKeyFileCount] = {5004, 5005, 5006, 5007, 5008};

enum Option : int {
  kOptionQuiet,
  kOptionOverwrite,
  kOptionFirstCommand,                                        // "/SR" .. "/COMP", in command order
  kOptionFirstFile = kOptionFirstCommand + kGostCompare + 1,  // "/BLK:" .. "/PUBLIC:"
};
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},  {"/Y", frame::OptionArg::None},
    {"/SR", frame::OptionArg::None},      {"/GM", frame::OptionArg::None},
    {"/FG", frame::OptionArg::None},      {"/D", frame::OptionArg::None},
    {"/IMIT", frame::OptionArg::None},    {"/HASH", frame::OptionArg::None},
    {"/SIGN", frame::OptionArg::None},    {"/CHECK", frame::OptionArg::None},
    {"/COMP", frame::OptionArg::None},    {"/BLK:", frame::OptionArg::Name},
    {"/KEY:", frame::OptionArg::Name},    {"/PQA:", frame::OptionArg::Name},
    {"/SECRET:", frame::OptionArg::Name}, {"/PUBLIC:", frame::OptionArg::Name},
};
static_assert(std::size(kOptions) == kOptionFirstFile + static_cast<int>(kKeyFileCount));

// Blocks too large for their room are reported as unknown errors (32).
constexpr OverCapacity kOver = OverCapacity::UnknownError;

struct GosfJob {
  const char* options = nullptr;
  bool overwrite = false;
  int commands = 0;
  int names = 0;
  char fileNames[kKeyFileCount][kNameSize] = {};
  // What a key file's failure appends after the result message.
  frame::FileFailureText failure;
  GostFileJob work;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<GosfJob*>(context);
  frame::FileJob& file = job.work.file;
  if (hit.index == kOptionQuiet) {
    file.quiet = true;
  } else if (hit.index == kOptionOverwrite) {
    job.overwrite = true;
  } else if (hit.index >= kOptionFirstCommand && hit.index < kOptionFirstFile) {
    job.work.command = static_cast<std::uint32_t>(hit.index - kOptionFirstCommand);
    ++job.commands;  // a repeated switch counts twice
  } else if (hit.index >= kOptionFirstFile) {
    frame::CopyNameToken(hit.nameStart, job.fileNames[hit.index - kOptionFirstFile], kNameSize);
  } else {
    if (job.names == 2) return false;  // a third name
    frame::CopyNameToken(hit.nameStart, job.names == 0 ? file.source : file.destination, kNameSize);
    ++job.names;
  }
  return true;
}

Outcome LoadFailure(GosfJob& job, KeyFile which) {
  return frame::FileFailure(kTag, job.fileNames[which], job.failure);
}

// Reads the files the command needs, in order; each is closed again
// whatever happens.
Outcome LoadFiles(GosfJob& job) {
  GostFileJob& work = job.work;
  const std::uint32_t command = work.command;
  frame::FileJob& file = work.file;
  if (!ReadSubstitutionFile(job.fileNames[kFileTable], kOver,
                            reinterpret_cast<WordBlock*>(&work.cipher.substitution),
                            sizeof work.cipher.substitution))
    return LoadFailure(job, kFileTable);
  work.hash.substitution = work.cipher.substitution;

  if (command <= kGostImitation &&
      !ReadGostKeyFile(file.parent, job.fileNames[kFileKey], file.quiet, kOver,
                       reinterpret_cast<WordBlockOf<kGostKeyWords>&>(work.cipher.key)))
    return LoadFailure(job, kFileKey);

  if (command == kGostSign || command == kGostCheck) {
    if (!ReadPqaFile(job.fileNames[kFileNumbers], kOver,
                     {&work.sign.p, &work.sign.q, &work.sign.a}))
      return LoadFailure(job, kFileNumbers);
    if (command == kGostSign && !ReadSignSecretFile(file.parent, job.fileNames[kFileSecret],
                                                    file.quiet, kOver, work.sign.x))
      return LoadFailure(job, kFileSecret);
    if (command == kGostCheck && !ReadSignPublicFile(job.fileNames[kFilePublic], kOver, work.sign.p,
                                                     work.sign.q, work.sign.y))
      return LoadFailure(job, kFilePublic);
  }
  return {frame::kResultOk};
}

Outcome Process(GosfJob& job) {
  GostFileJob& work = job.work;
  frame::FileJob& file = work.file;
  for (int i = 0; i < kKeyFileCount; ++i)
    platform::LoadText(kDefaultNames[i], job.fileNames[i], kNameSize);
  StartGostFileJob(work);
  if (!frame::ScanOptions(job.options, kOptions, std::size(kOptions), frame::kWholeNameTokens,
                          TakeOption, &job) ||
      job.commands != 1 || job.names != 2 || file.source[0] == '\0' || file.destination[0] == '\0')
    return {frame::kResultBadCommand};

  if (!frame::AllocateFileJobBuffer(file)) return {frame::kResultNoMemory};

  // "/COMP" needs no key file; "/CHECK" only reads its destination, the
  // signature.
  const bool compare = work.command == kGostCompare;
  if (!compare && work.command != kGostCheck &&
      !frame::MayWriteOutput(file.output, file.parent, platform::kTitleGostFiles, file.destination,
                             job.overwrite, file.quiet))
    return {frame::kResultFileExists, file.destination};
  if (!compare) {
    if (Outcome loaded = LoadFiles(job); loaded.code != frame::kResultOk) return loaded;
  }
  frame::GuardedFaultPoint();

  int code = RunGostFileCommand(work);
  if (code == kWorkerNoSignature) return {frame::kResultUnknownError};
  return frame::FileWorkerOutcome(code, file);
}

void Cleanup(GosfJob& job) { ReleaseGostFileJob(job.work); }

}  // namespace

}  // namespace nc::gost

extern "C" NCEXPORT int32_t NCAPI ZqGOSF(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::gost::GosfJob job;
  job.work.file.parent = parent;
  job.work.file.titleId = nc::platform::kTitleGostFiles;
  job.options = options;
  return nc::frame::RunOperation(nc::gost::kTag, job, nc::gost::Process, nc::gost::Cleanup, result,
                                 resultSize);
}
