// ZqDIF: one DES command over a source and a destination file, as ZqDESF
// runs it, under a key two users agree on by Diffie-Hellman: this user's
// secret session key X (.DSK, deciphered under the master key when its file
// is protected), the common numbers A and P (.AP) and the other user's
// public session key Y (.DPK) give K = Y^X mod P, and the DES key is K mod
// 2^64 (K's words 0 and 1, a word K does not have being zero). Its outputs
// are ordinary DES files. "/COMP" reads no key file.
//
// X is secret: K is computed with the constant-time exponentiation. A K of
// 0 or 1 (which degenerate numbers would give) is refused, never used.
#include <cstring>

#include "des/des_file_command.h"
#include "dh/session_numbers.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "nccore21.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "zq/wipe.h"

namespace nc::dh {

namespace {

using frame::Outcome;

constexpr char kTag[] = "ZQDIF";
constexpr int kDefaultCommonNumbers = 5009;
constexpr int kDefaultSecretKey = 5010;
constexpr int kDefaultPublicKey = 5011;

enum Option : int {
  kOptionCommonNumbers = des::kDesFileOptionCount,
  kOptionSecret,
  kOptionPublic,
};
constexpr frame::OptionSpec kOwnOptions[] = {
    {"/AP:", frame::OptionArg::Name},
    {"/SECRET:", frame::OptionArg::Name},
    {"/PUBLIC:", frame::OptionArg::Name},
};
constexpr auto kOptions = des::DesFileOptionTable(kOwnOptions);

struct DifJob {
  const char* options = nullptr;
  char commonName[platform::kNameBufferSize] = {};
  char secretName[platform::kNameBufferSize] = {};
  char publicName[platform::kNameBufferSize] = {};
  Number x{}, a{}, p{}, y{}, k{};
  des::DesFileRun run;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<DifJob*>(context);
  switch (hit.index) {
    case kOptionCommonNumbers:
      frame::CopyNameToken(hit.nameStart, job.commonName, sizeof job.commonName);
      return true;
    case kOptionSecret:
      frame::CopyNameToken(hit.nameStart, job.secretName, sizeof job.secretName);
      return true;
    case kOptionPublic:
      frame::CopyNameToken(hit.nameStart, job.publicName, sizeof job.publicName);
      return true;
    default:
      return des::TakeDesFileOption(job.run, hit);
  }
}

// The three key files in order (each closed before the next is opened), K,
// and the DES key from it.
bool DeriveKey(void* context, des::DesFileJob& work, const char** failed) {
  auto& job = *static_cast<DifJob*>(context);
  *failed = job.secretName;
  if (!ReadSecretSessionKey(work.file.parent, job.secretName, work.file.quiet, job.x)) return false;
  *failed = job.commonName;
  if (!ReadCommonNumbers(job.commonName, job.a, job.p)) return false;
  *failed = job.publicName;
  if (!ReadPublicSessionKey(job.publicName, job.p, job.y)) return false;
  // Nothing tells the range X was drawn from: padded to the most words.
  SecretPower(job.k, job.y, job.x, kNumberWords, job.p);
  if (IsZeroOrOne(job.k)) {
    platform::SetLastErrorCode(platform::kErrorInvalidData);
    return false;
  }
  DesKeyContext& key = work.context.key;
  key.count = 2;
  key.key[0] = job.k.count > 0 ? job.k.words[0] : 0;
  key.key[1] = job.k.count > 1 ? job.k.words[1] : 0;
  nc::SecureWipe(&job.x, sizeof job.x);
  nc::SecureWipe(&job.k, sizeof job.k);
  return true;
}

Outcome Process(DifJob& job) {
  platform::LoadText(kDefaultCommonNumbers, job.commonName, sizeof job.commonName);
  platform::LoadText(kDefaultSecretKey, job.secretName, sizeof job.secretName);
  platform::LoadText(kDefaultPublicKey, job.publicName, sizeof job.publicName);
  if (!frame::ScanOptions(job.options, kOptions.data(), kOptions.size(), frame::kWholeNameTokens,
                          TakeOption, &job))
    return {frame::kResultBadCommand};
  return des::RunDesFileCommand(job.run, {&job, DeriveKey});
}

void Cleanup(DifJob& job) {
  des::ReleaseDesFileJob(job.run.work);
  nc::SecureWipe(&job.x, sizeof job.x);
  nc::SecureWipe(&job.k, sizeof job.k);
  nc::SecureWipe(&job.a, sizeof job.a);
  nc::SecureWipe(&job.p, sizeof job.p);
  nc::SecureWipe(&job.y, sizeof job.y);
}

}  // namespace

}  // namespace nc::dh

extern "C" NCEXPORT int32_t NCAPI ZqDIF(void* parent, const char* options, char* result,
                                        int32_t resultSize) {
  nc::dh::DifJob job;
  job.run.tag = nc::dh::kTag;
  job.run.work.file.parent = parent;
  job.run.work.file.titleId = nc::platform::kTitleDhFiles;
  job.options = options;
  return nc::frame::RunOperation(nc::dh::kTag, job, nc::dh::Process, nc::dh::Cleanup, result,
                                 resultSize);
}
