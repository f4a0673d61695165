// ZqDIAP: the Diffie-Hellman common numbers A (base) and P (modulus), written
// into one parameter file.
//
// A is a random number of a random length in its range. P gets a random
// length in its range and is a probable prime of exactly that length: a
// random composite modulus would make the exchange breakable.
#include <cstring>

#include "dh/random_length_number.h"
#include "frame/data_file.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "nccore21.h"
#include "platform/string_table.h"
#include "zq/prime.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::dh {

namespace {

using frame::Outcome;

constexpr int kDefaultCommonNumbers = 5009;
constexpr std::uint32_t kMinBits = 9;
constexpr std::uint32_t kMaxBits = 2048;

enum Option { kOptionA = frame::kGeneratorFlagCount, kOptionP };
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},
    {"/Y", frame::OptionArg::None},
    {"/A:", frame::OptionArg::ToBlank},
    {"/P:", frame::OptionArg::ToBlank},
};

struct DiapJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  std::uint32_t aLo = 128, aHi = 256;
  std::uint32_t pLo = 256, pHi = 512;
  frame::GeneratorFile file;
  Number a{};
  Number p{};
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<DiapJob*>(context);
  switch (hit.index) {
    case kOptionA:
      return frame::ReadBoundedRange(hit.nameStart, kMinBits, kMaxBits, &job.aLo, &job.aHi);
    case kOptionP:
      return frame::ReadBoundedRange(hit.nameStart, kMinBits, kMaxBits, &job.pLo, &job.pHi);
    default:
      if (job.file.name[0] != '\0') return false;  // a second name
      frame::CopyNameToken(hit.nameStart, job.file.name, sizeof job.file.name);
      return true;
  }
}

Outcome Generate(DiapJob& job) {
  frame::GeneratorFile& file = job.file;
  if (!frame::ScanGeneratorOptions(file, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job))
    return {frame::kResultBadCommand};
  if (file.name[0] == '\0') platform::LoadText(kDefaultCommonNumbers, file.name, sizeof file.name);

  if (!frame::MayWriteGeneratorFile(job.parent, platform::kTitleDhCommon, file))
    return {frame::kResultFileExists, file.name};
  if (!frame::CreateOutput(file.output, file.name, false))
    return frame::OutputFailure(file.output, file.name);

  RandomLengthNumber(job.a, job.aLo, job.aHi);
  if (zq_prime(job.p.get(), RandomBitLength(job.pLo, job.pHi)) != 0)
    return {frame::kResultUnknownError};
  frame::GuardedFaultPoint();

  frame::DataFileHeader header =
      frame::NewHeader(frame::kFileKey, frame::kAlgDh, frame::kKeyCommonNumbers);
  frame::UpdateIntegrityValue(&header.integrityValue, job.a.words, job.a.count * 4);
  frame::UpdateIntegrityValue(&header.integrityValue, job.p.words, job.p.count * 4);
  if (!frame::WriteBlocksAndCommit(file.output, header, {job.a.get(), job.p.get()}))
    return frame::OutputFailure(file.output, file.name);
  return {frame::kResultOk};
}

void Cleanup(DiapJob& job) {
  frame::DiscardOutput(job.file.output);
  nc::SecureWipe(&job.a, sizeof job.a);
  nc::SecureWipe(&job.p, sizeof job.p);
}

}  // namespace

}  // namespace nc::dh

extern "C" NCEXPORT int32_t NCAPI ZqDIAP(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::dh::DiapJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation("ZQDIAP", job, nc::dh::Generate, nc::dh::Cleanup, result,
                                 resultSize);
}
