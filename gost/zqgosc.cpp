// ZqGOSC: the common numbers p, q and a of GOST R 34.10-94 signatures,
// generated on a worker thread (GOSSignGenPQA) while the caller's thread
// keeps the progress window alive, and stored in a common-numbers file
// (.PQA). The numbers are public: the file is never protected.
//
// The file is created only after a successful generation, through a
// temporary file renamed over the destination: an aborted or failed
// generation leaves an existing file of that name untouched.
#include <cstring>

#include "frame/data_file.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/progress_generator.h"
#include "frame/worker.h"
#include "gost/gosc_progress.h"
#include "nccore21.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::gost {

namespace {

using frame::Outcome;

constexpr int kDefaultCommonNumbers = 5006;
constexpr std::uint32_t kFlagsBase = 2;
constexpr std::uint32_t kDefaultBits = 512;

enum Option { kOptionExtended = frame::kGeneratorFlagCount, kOptionBits };
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},
    {"/Y", frame::OptionArg::None},
    {"/EXT", frame::OptionArg::None},
    {"/P:", frame::OptionArg::ToBlank},
};

struct GoscJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  frame::GeneratorFile file;
  bool named = false;
  GOSPQAContext context{};
  frame::GeneratorWindow window;
  frame::Worker worker;
};

bool AcceptedBits(std::uint32_t bits) {
  return (bits >= 509 && bits <= 512) || (bits >= 1020 && bits <= 1024);
}

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<GoscJob*>(context);
  switch (hit.index) {
    case kOptionExtended:
      job.context.flags |= kGosPqaVariant;
      return true;
    case kOptionBits: {
      const char* text = hit.nameStart;
      std::uint32_t bits = 0;
      if (!frame::ReadDecimal(&text, &bits) || !AcceptedBits(bits)) return false;
      job.context.bits = bits;
      return true;
    }
    default:
      if (job.named) return false;  // a second name
      frame::CopyNameToken(hit.nameStart, job.file.name, sizeof job.file.name);
      job.named = true;
      return true;
  }
}

// ---- the worker-thread protocol's steps -----------------------------------------

bool OpenDialog(void* context) {
  auto& job = *static_cast<GoscJob*>(context);
  if (!frame::OpenGeneratorWindow(job.window, job.parent,
                                  platform::GeneratorKind::GostCommonNumbers))
    return false;
  job.context.window = &job.window;
  return true;
}

void CloseDialog(void* context) {
  frame::CloseGeneratorWindow(static_cast<GoscJob*>(context)->window);
}

std::int32_t Generate(void* context) {
  return GOSSignGenPQA(&static_cast<GoscJob*>(context)->context);
}

// ---- the file ------------------------------------------------------------------------

const WordBlock* Block(const GOSNumber32& number) {
  return reinterpret_cast<const WordBlock*>(&number);
}
const WordBlock* Block(const GOSNumber8& number) {
  return reinterpret_cast<const WordBlock*>(&number);
}

void PutLe32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The header, the blocks p, q and a, then the two generation values; false
// with the last error set when a step fails.
bool WriteCommonNumbers(GoscJob& job) {
  const GOSPQAContext& c = job.context;
  std::uint8_t values[8];
  PutLe32(values, c.first_value);
  PutLe32(values + 4, c.second_value);

  frame::DataFileHeader header =
      frame::NewHeader(frame::kFileKey, frame::kAlgGost, frame::kKeyCommonNumbers);
  for (const WordBlock* block : {Block(c.p), Block(c.q), Block(c.a)})
    frame::UpdateIntegrityValue(&header.integrityValue, block->words, block->count * 4);
  frame::UpdateIntegrityValue(&header.integrityValue, values, 4);
  frame::UpdateIntegrityValue(&header.integrityValue, values + 4, 4);

  frame::OutputFile& output = job.file.output;
  if (!frame::WriteDataFileHeader(output.file, header)) return false;
  for (const WordBlock* block : {Block(c.p), Block(c.q), Block(c.a)})
    if (!frame::WriteWordBlock(output.file, block)) return false;
  std::uint32_t written = 0;
  if (!platform::WriteFile(output.file, values, sizeof values, &written) ||
      written != sizeof values) {
    platform::SetLastErrorCode(platform::kErrorWriteFault);
    return false;
  }
  return platform::SetEndOfFile(output.file) && frame::CommitOutput(output);
}

// ---- the operation ---------------------------------------------------------------------

Outcome Run(GoscJob& job) {
  job.context.size = sizeof(GOSPQAContext);
  job.context.flags = kFlagsBase;
  job.context.bits = kDefaultBits;
  job.context.callback = GoscProgress;
  frame::GeneratorFile& file = job.file;
  if (!frame::ScanGeneratorOptions(file, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job))
    return {frame::kResultBadCommand};
  if (file.quiet) job.context.callback = QuietGoscProgress;  // no window to report to
  if (file.name[0] == '\0') platform::LoadText(kDefaultCommonNumbers, file.name, sizeof file.name);

  if (!frame::MayWriteGeneratorFile(job.parent, platform::kTitleGostCommon, file))
    return {frame::kResultFileExists, file.name};

  frame::WorkerSteps steps;
  steps.context = &job;
  steps.openDialog = OpenDialog;
  steps.closeDialog = CloseDialog;
  steps.work = Generate;
  steps.word = &job.window.word;
  int code = frame::RunWorker(job.worker, steps, file.quiet);
  if (code != frame::kResultOk) return {code};
  frame::GuardedFaultPoint();

  if (!frame::CreateOutput(file.output, file.name, false) || !WriteCommonNumbers(job))
    return frame::OutputFailure(file.output, file.name);
  return {frame::kResultOk};
}

void Cleanup(GoscJob& job) {
  // A worker still running (the wait was cut short by a fault) is told to
  // stop and joined before its window and context go.
  job.window.word.fetch_or(kGoscAbort);
  frame::JoinWorker(job.worker);
  frame::CloseGeneratorWindow(job.window);
  frame::DiscardOutput(job.file.output);
  nc::SecureWipe(&job.context, sizeof job.context);
}

}  // namespace

}  // namespace nc::gost

extern "C" NCEXPORT int32_t NCAPI ZqGOSC(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::gost::GoscJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation("ZQGOSC", job, nc::gost::Run, nc::gost::Cleanup, result,
                                 resultSize);
}
