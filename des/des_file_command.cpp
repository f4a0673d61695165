#include "des/des_file_command.h"

#include "platform/last_error.h"

namespace nc::des {

namespace {

void SetCommand(DesFileRun& run, DesCommand command) {
  run.work.command = command;
  ++run.commands;
}

}  // namespace

bool TakeDesFileOption(DesFileRun& run, const frame::OptionHit& hit) {
  DesFileJob& work = run.work;
  switch (hit.index) {
    case kOptionQuiet:
      work.file.quiet = true;
      return true;
    case kOptionOverwrite:
      run.overwrite = true;
      return true;
    case kOptionEcb:
      SetCommand(run, kCommandEcb);
      return true;
    case kOptionCbc:
      SetCommand(run, kCommandCbc);
      return true;
    case kOptionCfb:
    case kOptionOfb:
      SetCommand(run, hit.index == kOptionCfb ? kCommandCfb : kCommandOfb);
      if (hit.number == -1) return true;  // no suffix: 8-byte units
      if (hit.number < 1 || hit.number > 8) return false;
      work.unitSize = static_cast<std::uint32_t>(hit.number);
      return true;
    case kOptionDecrypt:
      SetCommand(run, kCommandDecrypt);
      return true;
    case kOptionHash:
      SetCommand(run, kCommandHash);
      return true;
    case kOptionCompare:
      SetCommand(run, kCommandCompare);
      return true;
    default:
      if (run.names == 2) return false;  // a third name
      frame::CopyNameToken(hit.nameStart, run.names == 0 ? work.file.source : work.file.destination,
                           kDesNameSize);
      ++run.names;
      return true;
  }
}

frame::Outcome RunDesFileCommand(DesFileRun& run, const DesKeySource& key) {
  DesFileJob& work = run.work;
  if (run.commands != 1 || run.names != 2 || work.file.source[0] == '\0' ||
      work.file.destination[0] == '\0')
    return {frame::kResultBadCommand};

  if (!frame::AllocateFileJobBuffer(work.file)) return {frame::kResultNoMemory};

  if (work.command != kCommandCompare) {
    if (!frame::MayWriteOutput(work.file.output, work.file.parent, work.file.titleId,
                               work.file.destination, run.overwrite, work.file.quiet))
      return {frame::kResultFileExists, work.file.destination};
    const char* failed = nullptr;
    if (!key.load(key.context, work, &failed))
      return frame::FileFailure(run.tag, failed, run.keyFailure);
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

}  // namespace nc::des
