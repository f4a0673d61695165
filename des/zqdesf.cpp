// ZqDESF: one DES command over a source and a destination file: encrypt
// (ECB, CBC, CFB or OFB with 1- to 8-byte units), decrypt, keyed hash, or
// compare the two files. The key comes from a DES key file, deciphered under
// the master key when the file is protected.
//
// Outputs replace the destination only when the job succeeded (see
// frame/file_job.h), so a destination that is the source itself is
// processed in place.
#include <cstring>

#include "des/des_file_command.h"
#include "frame/data_file.h"
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

enum Option { kOptionKey = kDesFileOptionCount };
constexpr frame::OptionSpec kOwnOptions[] = {{"/KEY:", frame::OptionArg::Name}};
constexpr auto kOptions = DesFileOptionTable(kOwnOptions);

struct DesfJob {
  const char* options = nullptr;
  char keyName[kDesNameSize] = {};
  platform::ScopedFile keyFile;
  DesFileRun run;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<DesfJob*>(context);
  if (hit.index != kOptionKey) return TakeDesFileOption(job.run, hit);
  frame::CopyNameToken(hit.nameStart, job.keyName, kDesNameSize);
  return true;
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

bool LoadKey(void* context, DesFileJob& work, const char** failed) {
  auto& job = *static_cast<DesfJob*>(context);
  *failed = job.keyName;
  frame::DataFileHeader header{};
  job.keyFile.reset(frame::OpenDataFile(job.keyName, frame::kFileKey, frame::kAlgDes,
                                        frame::kKeySymmetric, 0, &header));
  if (!job.keyFile.valid()) return false;
  auto* key = reinterpret_cast<WordBlock*>(&work.context.key);
  bool ok = frame::ReadWordBlock(job.keyFile.get(), key, WordBlockOf<2>::kCapacityBytes) &&
            HoldsDesKey(key) &&
            protect::OpenKeyMaterial(work.file.parent, header, work.file.quiet,
                                     protect::KeyMaterialKind::Des, key, nullptr);
  std::uint32_t error = platform::GetLastErrorCode();
  job.keyFile.Close();
  platform::SetLastErrorCode(error);
  return ok;
}

Outcome Process(DesfJob& job) {
  platform::LoadText(kDefaultKeyFile, job.keyName, kDesNameSize);
  if (!frame::ScanOptions(job.options, kOptions.data(), kOptions.size(), frame::kWholeNameTokens,
                          TakeOption, &job))
    return {frame::kResultBadCommand};
  return RunDesFileCommand(job.run, {&job, LoadKey});
}

void Cleanup(DesfJob& job) {
  job.keyFile.Close();
  ReleaseDesFileJob(job.run.work);
}

}  // namespace

}  // namespace nc::des

extern "C" NCEXPORT int32_t NCAPI ZqDESF(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::des::DesfJob job;
  job.run.tag = nc::des::kTag;
  job.run.work.file.parent = parent;
  job.run.work.file.titleId = nc::platform::kTitleDesFiles;
  job.options = options;
  return nc::frame::RunOperation(nc::des::kTag, job, nc::des::Process, nc::des::Cleanup, result,
                                 resultSize);
}
