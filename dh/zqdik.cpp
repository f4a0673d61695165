// ZqDIK: one user's Diffie-Hellman session key pair for the common numbers
// A and P of an .AP file: a random secret X of a random length in its range
// and the public Y = A^X mod P. X goes into the secret session key file
// (.DSK, enciphered under the master key when the file is protected, vector
// "YQUOL"), Y into the public one (.DPK); both are written in full to
// temporary files and committed as a pair.
//
// X is secret: Y is computed with the constant-time exponentiation, X
// padded to the word count of its range's top, so that neither its value
// nor its drawn length shows. X of 0 or 1, or a Y of 0 or 1, would give a
// key anyone can compute; such an X is drawn again.
#include <cstring>

#include "dh/random_length_number.h"
#include "dh/session_numbers.h"
#include "frame/data_file.h"
#include "frame/file_failure.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/output_file.h"
#include "nccore21.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/string_table.h"
#include "protect/key_material.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::dh {

namespace {

using frame::Outcome;

constexpr char kTag[] = "ZQDIK";
constexpr int kDefaultCommonNumbers = 5009;
constexpr int kDefaultSecretKey = 5010;
constexpr int kDefaultPublicKey = 5011;
constexpr std::uint32_t kMinBits = 9;
constexpr std::uint32_t kMaxBits = 2048;
// Draws of X before the common numbers are given up on: with a prime P and
// A not 0 or 1, a drawn X is 0 or 1 or gives Y = 1 rarely; numbers for
// which nearly every X does (an even P that A shares every factor with)
// are no common numbers.
constexpr int kMaxDraws = 64;

enum Option : int {
  kOptionX = frame::kGeneratorFlagCount,
  kOptionCommonNumbers,
  kOptionSecret,
  kOptionPublic
};
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},  {"/Y", frame::OptionArg::None},
    {"/X:", frame::OptionArg::ToBlank},   {"/AP:", frame::OptionArg::Name},
    {"/SECRET:", frame::OptionArg::Name}, {"/PUBLIC:", frame::OptionArg::Name},
};

struct DikJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  frame::KeyPairFiles files;
  char commonName[platform::kNameBufferSize] = {};
  std::uint32_t xLo = 128, xHi = 256;
  frame::FileFailureText commonFailure;
  Number a{}, p{}, x{}, y{};
  DesKeyContext masterKey{};
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<DikJob*>(context);
  switch (hit.index) {
    case kOptionX:
      return frame::ReadBoundedRange(hit.nameStart, kMinBits, kMaxBits, &job.xLo, &job.xHi);
    case kOptionCommonNumbers:
      frame::CopyNameToken(hit.nameStart, job.commonName, sizeof job.commonName);
      return true;
    case kOptionSecret:
    case kOptionPublic:
      frame::CopyKeyPairName(job.files, hit.index == kOptionSecret, hit.nameStart);
      return true;
    default:
      return false;  // this operation takes no positional names
  }
}

// X from its range and Y = A^X mod P, both other than 0 and 1; false (the
// last error 13, reported with the common numbers' name) when no such
// pair came within kMaxDraws.
bool DrawPair(DikJob& job) {
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    RandomLengthNumber(job.x, job.xLo, job.xHi);
    if (IsZeroOrOne(job.x)) continue;
    // Padded to the range's top: the drawn length does not show.
    SecretPower(job.y, job.a, job.x, (job.xHi + 31) / 32, job.p);
    if (!IsZeroOrOne(job.y)) return true;
  }
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return false;
}

// The public number as written: without leading zero words (at least one).
void TrimCount(Number& n) {
  while (n.count > 1 && n.words[n.count - 1] == 0) --n.count;
}

Outcome Generate(DikJob& job) {
  frame::GeneratorFile& secret = job.files.secret;
  platform::LoadText(kDefaultCommonNumbers, job.commonName, sizeof job.commonName);
  frame::LoadKeyPairNames(job.files, kDefaultSecretKey, kDefaultPublicKey);
  if (!frame::ScanGeneratorOptions(secret, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job))
    return {frame::kResultBadCommand};
  if (Outcome files = frame::SettleKeyPairFiles(job.parent, platform::kTitleDhKeys, job.files);
      files.code != frame::kResultOk)
    return files;

  if (!ReadCommonNumbers(job.commonName, job.a, job.p))
    return frame::FileFailure(kTag, job.commonName, job.commonFailure);

  frame::DataFileHeader secretHeader;
  if (!protect::StartSecretHalf(job.parent, secret.quiet, frame::kAlgDh, job.files.protection,
                                secretHeader, job.masterKey))
    return {frame::kResultHardwareError};

  if (!DrawPair(job)) return frame::FileFailure(kTag, job.commonName, job.commonFailure);
  TrimCount(job.y);
  frame::GuardedFaultPoint();

  frame::DataFileHeader publicHeader =
      frame::NewHeader(frame::kFileKey, frame::kAlgDh, frame::kKeyPublicHalf);
  frame::UpdateIntegrityValue(&publicHeader.integrityValue, job.y.words, 4u * job.y.count);
  protect::ProtectKeyMaterial(protect::KeyMaterialKind::DhSecret, secretHeader, job.masterKey,
                              job.x.get(), nullptr);
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);

  return frame::WriteKeyPairFiles(job.files, secretHeader, {job.x.get()}, publicHeader,
                                  {job.y.get()});
}

void Cleanup(DikJob& job) {
  frame::DiscardKeyPairFiles(job.files);
  nc::SecureWipe(&job.a, sizeof job.a);
  nc::SecureWipe(&job.p, sizeof job.p);
  nc::SecureWipe(&job.x, sizeof job.x);
  nc::SecureWipe(&job.y, sizeof job.y);
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);
}

}  // namespace

}  // namespace nc::dh

extern "C" NCEXPORT int32_t NCAPI ZqDIK(void* parent, const char* options, char* result,
                                        int32_t resultSize) {
  nc::dh::DikJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation(nc::dh::kTag, job, nc::dh::Generate, nc::dh::Cleanup, result,
                                 resultSize);
}
