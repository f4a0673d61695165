// ZqDESK: a fresh DES key in a key file (.DEK), stored in the clear or
// enciphered under the master key of the protection the file name asks for.
//
// The file is written to a temporary file renamed over the destination only
// at the end: a refused carrier, a failed write or a fault leaves an existing
// key file of that name exactly as it was (losing an old key to a failed
// generation would be worse than the failure). The key file is private to
// its owner.
#include <cstring>

#include "frame/data_file.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "nccore21.h"
#include "platform/string_table.h"
#include "protect/key_material.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::des {

namespace {

using frame::Outcome;

// The key-file token: up to five protection keywords before the name.
constexpr std::size_t kTokenSize = sizeof(frame::GeneratorFile::name) + 50;
constexpr int kDefaultKeyFile = 5001;

constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},
    {"/Y", frame::OptionArg::None},
};

struct DeskJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  bool named = false;
  char token[kTokenSize] = {};
  frame::GeneratorFile file;
  std::uint32_t protection = 0;
  WordBlockOf<2> key{};
  DesKeyContext masterKey{};
};

// Past the flags, only the key-file token is left.
bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<DeskJob*>(context);
  if (job.named) return false;  // a second name
  frame::CopyNameToken(hit.nameStart, job.token, kTokenSize);
  job.named = true;
  return true;
}

Outcome Generate(DeskJob& job) {
  frame::GeneratorFile& file = job.file;
  if (!frame::ScanGeneratorOptions(file, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job))
    return {frame::kResultBadCommand};
  if (job.token[0] == '\0') platform::LoadText(kDefaultKeyFile, job.token, kTokenSize);
  frame::ParseProtectionSpec(job.token, &job.protection, file.name, sizeof file.name);

  if (!frame::MayWriteGeneratorFile(job.parent, platform::kTitleDesKeys, file))
    return {frame::kResultFileExists, file.name};
  // An empty name ("PWD:" alone) names no file that could be created.
  if (file.name[0] == '\0' || !frame::CreateOutput(file.output, file.name, true))
    return frame::OutputFailure(file.output, file.name);

  frame::DataFileHeader header =
      frame::NewHeader(frame::kFileKey, frame::kAlgDes, frame::kKeySymmetric);
  header.protectionCode = job.protection;
  // The challenge is drawn for every key, so that protection can be added
  // to the file later.
  job.key.count = 1;
  zq_rnd(job.key.get());
  header.tokenChallenge = job.key.words[0];

  // The master key comes before the key: a refused carrier costs nothing.
  if (job.protection != 0) {
    std::uint8_t challenge[4];
    for (int i = 0; i < 4; ++i)
      challenge[i] = static_cast<std::uint8_t>(header.tokenChallenge >> (8 * i));
    if (!protect::ObtainMasterKey(job.parent, job.protection, file.quiet, challenge, job.masterKey))
      return {frame::kResultHardwareError};
  }
  DESGenKey(job.key.get());
  protect::ProtectKeyMaterial(protect::KeyMaterialKind::Des, header, job.masterKey, job.key.get(),
                              nullptr);
  frame::GuardedFaultPoint();

  if (!frame::WriteBlocksAndCommit(file.output, header, {job.key.get()}))
    return frame::OutputFailure(file.output, file.name);
  return {frame::kResultOk};
}

void Cleanup(DeskJob& job) {
  frame::DiscardOutput(job.file.output);
  nc::SecureWipe(&job.key, sizeof job.key);
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);
}

}  // namespace

}  // namespace nc::des

extern "C" NCEXPORT int32_t NCAPI ZqDESK(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::des::DeskJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation("ZQDESK", job, nc::des::Generate, nc::des::Cleanup, result,
                                 resultSize);
}
