// ZqGOSP: a GOST R 34.10-94 signature key pair from the common numbers p, q,
// a of a .PQA file: the secret key x in a .GSK file, in the clear or
// enciphered under the master key (vector "BVCXTE"), and the public key
// y = a^x mod p in a .GPK file.
//
// Both questions are asked and the .PQA file is read and checked before
// anything is written; the two files are written in full to temporary files
// and committed as a pair (frame/output_file.h), so a failure leaves both
// old files as they were. The same file named as both halves is refused.
#include <cstring>

#include "frame/data_file.h"
#include "frame/file_failure.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/output_file.h"
#include "gost/pqa_file.h"
#include "nccore21.h"
#include "platform/files.h"
#include "platform/string_table.h"
#include "protect/key_material.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::gost {

namespace {

using frame::Outcome;

constexpr char kTag[] = "ZQGOSP";
constexpr int kDefaultCommonNumbers = 5006;
constexpr int kDefaultSecretKey = 5007;
constexpr int kDefaultPublicKey = 5008;
// The secret key's token: up to five protection keywords before the name.
constexpr std::size_t kSpecSize = platform::kNameBufferSize + 50;

enum Option : int {
  kOptionQuiet,
  kOptionOverwrite,
  kOptionSkip,
  kOptionSecret,
  kOptionPublic,
  kOptionPqa
};
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},  {"/Y", frame::OptionArg::None},
    {"/X:", frame::OptionArg::ToBlank},   {"/SECRET:", frame::OptionArg::Name},
    {"/PUBLIC:", frame::OptionArg::Name}, {"/PQA:", frame::OptionArg::Name},
};

struct GospJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  bool quiet = false;
  bool overwrite = false;
  char spec[kSpecSize] = {};
  char secretName[platform::kNameBufferSize] = {};
  char publicName[platform::kNameBufferSize] = {};
  char pqaName[platform::kNameBufferSize] = {};
  std::uint32_t protection = 0;
  GOSPairContext pair{};
  DesKeyContext masterKey{};
  frame::OutputFile secretFile;
  frame::OutputFile publicFile;
  frame::FileFailureText pqaFailure;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<GospJob*>(context);
  switch (hit.index) {
    case kOptionQuiet:
      job.quiet = true;
      return true;
    case kOptionOverwrite:
      job.overwrite = true;
      return true;
    case kOptionSkip:
      return true;  // accepted and ignored
    case kOptionSecret:
      frame::CopyNameToken(hit.nameStart, job.spec, sizeof job.spec);
      return true;
    case kOptionPublic:
      frame::CopyNameToken(hit.nameStart, job.publicName, sizeof job.publicName);
      return true;
    case kOptionPqa:
      frame::CopyNameToken(hit.nameStart, job.pqaName, sizeof job.pqaName);
      return true;
    default:
      return false;  // this operation takes no positional names
  }
}

WordBlock* Block(GOSNumber32& number) { return reinterpret_cast<WordBlock*>(&number); }
WordBlock* Block(GOSNumber8& number) { return reinterpret_cast<WordBlock*>(&number); }

// Whether n is at most `limit` (0 or 1).
bool AtMost(const WordBlock* n, std::uint32_t limit) {
  for (std::uint32_t i = 0; i < n->count; ++i)
    if (n->words[i] > (i == 0 ? limit : 0u)) return false;
  return true;
}

Outcome Run(GospJob& job) {
  platform::LoadText(kDefaultSecretKey, job.spec, sizeof job.spec);
  platform::LoadText(kDefaultPublicKey, job.publicName, sizeof job.publicName);
  platform::LoadText(kDefaultCommonNumbers, job.pqaName, sizeof job.pqaName);
  job.pair.size = sizeof(GOSPairContext);
  if (!frame::ScanOptions(job.options, kOptions, std::size(kOptions), frame::kWholeNameTokens,
                          TakeOption, &job))
    return {frame::kResultBadCommand};
  frame::ParseProtectionSpec(job.spec, &job.protection, job.secretName, sizeof job.secretName);
  // One file cannot hold both halves: the second would overwrite the first.
  if (platform::SameOutputFile(job.secretName, job.publicName)) return {frame::kResultBadCommand};

  if (!frame::MayWriteOutput(job.secretFile, job.parent, platform::kTitleGostPairs, job.secretName,
                             job.overwrite, job.quiet))
    return {frame::kResultFileExists, job.secretName};
  if (!frame::MayWriteOutput(job.publicFile, job.parent, platform::kTitleGostPairs, job.publicName,
                             job.overwrite, job.quiet))
    return {frame::kResultFileExists, job.publicName};

  if (!ReadPqaFile(job.pqaName, OverCapacity::ReadFault, {&job.pair.p, &job.pair.q, &job.pair.a}))
    return frame::FileFailure(kTag, job.pqaName, job.pqaFailure);

  GOSSignGenPair(&job.pair);
  WordBlock* x = Block(job.pair.x);
  WordBlock* y = Block(job.pair.y);
  // Checked numbers give 0 < x < q and y > 1; anything else is not a key.
  if (x->count == 0 || x->count > 8 || y->count > 32 || AtMost(x, 0) || AtMost(y, 1))
    return {frame::kResultUnknownError};

  frame::DataFileHeader secretHeader;
  if (!protect::StartSecretHalf(job.parent, job.quiet, frame::kAlgGost, job.protection,
                                secretHeader, job.masterKey))
    return {frame::kResultHardwareError};
  protect::ProtectKeyMaterial(protect::KeyMaterialKind::GostSignSecret, secretHeader, job.masterKey,
                              x, nullptr);

  frame::DataFileHeader publicHeader =
      frame::NewHeader(frame::kFileKey, frame::kAlgGost, frame::kKeyPublicHalf);
  frame::UpdateIntegrityValue(&publicHeader.integrityValue, y->words, 4u * y->count);
  frame::GuardedFaultPoint();

  return frame::WriteKeyPair({job.secretFile, job.secretName, secretHeader, {x}},
                             {job.publicFile, job.publicName, publicHeader, {y}});
}

void Cleanup(GospJob& job) {
  frame::DiscardOutput(job.secretFile);
  frame::DiscardOutput(job.publicFile);
  nc::SecureWipe(&job.pair, sizeof job.pair);
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);
}

}  // namespace

}  // namespace nc::gost

extern "C" NCEXPORT int32_t NCAPI ZqGOSP(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::gost::GospJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation(nc::gost::kTag, job, nc::gost::Run, nc::gost::Cleanup, result,
                                 resultSize);
}
