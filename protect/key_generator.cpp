#include "protect/key_generator.h"

#include <cstring>

#include "frame/data_file.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "platform/string_table.h"
#include "zq/wipe.h"

namespace nc::protect {

namespace {

using frame::Outcome;

// The key-file token: up to five protection keywords before the name.
constexpr std::size_t kTokenSize = sizeof(frame::GeneratorFile::name) + 50;
// Room for the longest key (GOST: 8 words).
constexpr std::uint32_t kKeyCapacity = 8;

constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},
    {"/Y", frame::OptionArg::None},
};

struct KeyJob {
  const KeyGeneratorKind* kind = nullptr;
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  bool named = false;
  char token[kTokenSize] = {};
  frame::GeneratorFile file;
  std::uint32_t protection = 0;
  WordBlockOf<kKeyCapacity> key{};
  DesKeyContext masterKey{};
};

// Past the flags, only the key-file token is left.
bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<KeyJob*>(context);
  if (job.named) return false;  // a second name
  frame::CopyNameToken(hit.nameStart, job.token, kTokenSize);
  job.named = true;
  return true;
}

Outcome Generate(KeyJob& job) {
  const KeyGeneratorKind& kind = *job.kind;
  frame::GeneratorFile& file = job.file;
  if (!frame::ScanGeneratorOptions(file, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job))
    return {frame::kResultBadCommand};
  if (job.token[0] == '\0') platform::LoadText(kind.defaultNameId, job.token, kTokenSize);
  frame::ParseProtectionSpec(job.token, &job.protection, file.name, sizeof file.name);

  if (!frame::MayWriteGeneratorFile(job.parent, kind.titleId, file))
    return {frame::kResultFileExists, file.name};
  // An empty name ("PWD:" alone) names no file that could be created.
  if (file.name[0] == '\0' || !frame::CreateOutput(file.output, file.name, true))
    return frame::OutputFailure(file.output, file.name);

  frame::DataFileHeader header =
      frame::NewHeader(frame::kFileKey, kind.algorithm, frame::kKeySymmetric);
  header.protectionCode = job.protection;
  if (!StartKeyMaterial(job.parent, file.quiet, header, job.masterKey))
    return {frame::kResultHardwareError};
  kind.generate(job.key.get());
  // The block must hold the kind's key; anything else is not written.
  if (job.key.count != kind.words) return {frame::kResultUnknownError};
  ProtectKeyMaterial(kind.material, header, job.masterKey, job.key.get(), nullptr);
  frame::GuardedFaultPoint();

  if (!frame::WriteBlocksAndCommit(file.output, header, {job.key.get()}))
    return frame::OutputFailure(file.output, file.name);
  return {frame::kResultOk};
}

void Cleanup(KeyJob& job) {
  frame::DiscardOutput(job.file.output);
  nc::SecureWipe(&job.key, sizeof job.key);
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);
}

}  // namespace

std::int32_t RunKeyGenerator(const KeyGeneratorKind& kind, void* parent, const char* options,
                             char* result, std::int32_t resultSize) {
  KeyJob job;
  job.kind = &kind;
  job.parent = parent;
  job.options = options;
  return frame::RunOperation(kind.tag, job, Generate, Cleanup, result, resultSize);
}

}  // namespace nc::protect
