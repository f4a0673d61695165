// ZqGOSB: imports a GOST 28147-89 substitution block from its text form
// into a substitution-block data file (.GTB).
#include <cstring>

#include "frame/data_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/output_file.h"
#include "frame/string_table.h"
#include "gost/substitution_text.h"
#include "nccore21.h"

namespace nc::gost {

namespace {

using frame::Outcome;

constexpr std::size_t kNameSize = platform::kMaxPath + 1;
constexpr std::uint32_t kBlockWords = kSubstitutionBlockSize / 4;

enum Option { kOptionQuiet, kOptionOverwrite };
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},
    {"/Y", frame::OptionArg::None},
};

struct GosbJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  bool quiet = false;
  bool overwrite = false;
  int names = 0;
  char source[kNameSize] = {};
  char destination[kNameSize] = {};
  platform::ScopedFile input;
  frame::OutputFile output;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<GosbJob*>(context);
  switch (hit.index) {
    case kOptionQuiet:
      job.quiet = true;
      return true;
    case kOptionOverwrite:
      job.overwrite = true;
      return true;
    default:
      if (job.names == 2) return false;  // a third name
      frame::CopyNameToken(hit.nameStart, job.names == 0 ? job.source : job.destination,
                           kNameSize);
      ++job.names;
      return true;
  }
}

Outcome Import(GosbJob& job) {
  if (!frame::ScanOptions(job.options, kOptions, std::size(kOptions), kNameSize, TakeOption,
                          &job) ||
      job.names == 0 || job.source[0] == '\0')
    return {frame::kResultBadCommand};
  if (job.names < 2 || job.destination[0] == '\0')
    frame::LoadText(frame::kDefaultGostTable, job.destination, kNameSize);

  if (platform::FileExists(job.destination) && !job.overwrite &&
      !frame::ConfirmOverwrite(job.parent, frame::kTitleGostTable, job.destination, job.quiet))
    return {frame::kResultFileExists, job.destination};

  job.input.reset(platform::OpenForRead(job.source));
  if (!job.input.valid()) return {frame::kResultReadError, job.source};
  if (!frame::CreateOutput(job.output, job.destination, false))
    return {frame::kResultWriteError, job.destination};

  WordBlockOf<kBlockWords> block{kBlockWords, {}};
  auto* bytes = reinterpret_cast<std::uint8_t*>(block.words);
  switch (ReadSubstitutionText(job.input.get(), bytes)) {
    case SubstitutionTextResult::TooShort:
      return {frame::kResultReadError, job.source};
    case SubstitutionTextResult::BadFormat:
      return {frame::kResultBadFormat, job.source};
    case SubstitutionTextResult::Ok:
      break;
  }
  frame::GuardedFaultPoint();

  // The source is closed before the output replaces the destination, which
  // may be the source itself (Windows cannot rename over an open file).
  job.input.Close();

  frame::DataFileHeader header =
      frame::NewHeader(frame::kFileKey, frame::kAlgGost, frame::kKeySubstitution);
  frame::UpdateIntegrityValue(&header.integrityValue, bytes, kSubstitutionBlockSize);
  if (!frame::WriteBlocksAndCommit(job.output, header, {block.get()}))
    return {frame::kResultWriteError, job.destination};
  return {frame::kResultOk};
}

void Cleanup(GosbJob& job) {
  job.input.Close();
  frame::DiscardOutput(job.output);
}

}  // namespace

}  // namespace nc::gost

extern "C" NCEXPORT int32_t NCAPI ZqGOSB(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::gost::GosbJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation("ZQGOSB", job, nc::gost::Import, nc::gost::Cleanup, result,
                                 resultSize);
}
