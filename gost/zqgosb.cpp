// ZqGOSB: imports a GOST 28147-89 substitution block from its text form
// into a substitution-block data file (.GTB).
#include <cstring>

#include "frame/data_file.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "gost/substitution_text.h"
#include "nccore21.h"
#include "platform/string_table.h"

namespace nc::gost {

namespace {

using frame::Outcome;

constexpr std::size_t kNameSize = sizeof(frame::GeneratorFile::name);
constexpr std::uint32_t kBlockWords = kSubstitutionBlockSize / 4;

constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},
    {"/Y", frame::OptionArg::None},
};

struct GosbJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  int names = 0;
  char source[kNameSize] = {};
  frame::GeneratorFile destination;
  platform::ScopedFile input;
};

// Past the flags, only names are left: the source, then the destination.
bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<GosbJob*>(context);
  if (job.names == 2) return false;  // a third name
  frame::CopyNameToken(hit.nameStart, job.names == 0 ? job.source : job.destination.name,
                       kNameSize);
  ++job.names;
  return true;
}

Outcome Import(GosbJob& job) {
  frame::GeneratorFile& destination = job.destination;
  if (!frame::ScanGeneratorOptions(destination, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job) ||
      job.names == 0 || job.source[0] == '\0')
    return {frame::kResultBadCommand};
  if (destination.name[0] == '\0')
    platform::LoadText(platform::kDefaultGostTable, destination.name, kNameSize);

  if (!frame::MayWriteGeneratorFile(job.parent, platform::kTitleGostTable, destination))
    return {frame::kResultFileExists, destination.name};

  job.input.reset(platform::OpenForRead(job.source));
  if (!job.input.valid()) return {frame::kResultReadError, job.source};
  if (!frame::CreateOutput(destination.output, destination.name, false))
    return frame::OutputFailure(destination.output, destination.name);

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
  if (!frame::WriteBlocksAndCommit(destination.output, header, {block.get()}))
    return frame::OutputFailure(destination.output, destination.name);
  return {frame::kResultOk};
}

void Cleanup(GosbJob& job) {
  job.input.Close();
  frame::DiscardOutput(job.destination.output);
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
