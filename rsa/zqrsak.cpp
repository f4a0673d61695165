// ZqRSAK: an RSA key pair: the primes and the modulus N, then the secret
// exponent E and the public exponent D, generated on a worker thread behind
// a progress window with a line each for P, Q and E; then the secret key
// file (.RSK: N in the clear, E enciphered under the master key when the
// file is protected, vector "MXRQTB") and the public key file (.RPK: N and
// D), written in full to temporary files and committed as a pair.
//
// E is never shorter than half of N's length: a shorter secret exponent can
// be recovered from the public key (Wiener, Boneh-Durfee). Without "/E:" the
// range is raised to that floor where N needs it; an "/E:" range that
// cannot reach it for every modulus length asked for is refused.
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/data_file.h"
#include "frame/generator_file.h"
#include "frame/operation.h"
#include "frame/options.h"
#include "frame/output_file.h"
#include "frame/progress_generator.h"
#include "frame/worker.h"
#include "nccore21.h"
#include "platform/files.h"
#include "platform/string_table.h"
#include "platform/termination.h"
#include "protect/key_material.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::rsa {

namespace {

using frame::Outcome;
using platform::GeneratorField;

constexpr char kTag[] = "ZQRSAK";
constexpr int kDefaultSecretKey = 5002;
constexpr int kDefaultPublicKey = 5003;
constexpr int kTextLine = 10003;  // "длина в битах %lu, попытка %lu"
constexpr char kDone[] = " ... OK";

constexpr std::uint32_t kModulusMin = 18, kModulusMax = 2048;
constexpr std::uint32_t kExponentMin = 9, kExponentMax = 1024;

// The window's state bits beside the cancel bit: P's and Q's lines closed.
constexpr std::uint32_t kPFinished = 2;
constexpr std::uint32_t kQFinished = 4;

enum Option : int {
  kOptionModulus = frame::kGeneratorFlagCount,
  kOptionExponent,
  kOptionSecret,
  kOptionPublic
};
constexpr frame::OptionSpec kOptions[] = {
    {"/NOLOGO", frame::OptionArg::None},  {"/Y", frame::OptionArg::None},
    {"/N:", frame::OptionArg::ToBlank},   {"/E:", frame::OptionArg::ToBlank},
    {"/SECRET:", frame::OptionArg::Name}, {"/PUBLIC:", frame::OptionArg::Name},
};

struct RsakJob {
  platform::WindowHandle parent = nullptr;
  const char* options = nullptr;
  frame::KeyPairFiles files;
  std::uint32_t nLo = 512, nHi = 516;
  std::uint32_t eLo = 256, eHi = 258;
  bool exponentGiven = false;
  RSAContext context{};
  DesKeyContext masterKey{};
  frame::GeneratorWindow window;
  frame::Worker worker;
  // The texts of the P and Q lines as last shown (the worker's), so that
  // " ... OK" can be added when the next line starts.
  std::string lineP, lineQ;
};

bool TakeOption(void* context, const frame::OptionHit& hit) {
  auto& job = *static_cast<RsakJob*>(context);
  switch (hit.index) {
    case kOptionModulus:
      return frame::ReadBoundedRange(hit.nameStart, kModulusMin, kModulusMax, &job.nLo, &job.nHi);
    case kOptionExponent:
      job.exponentGiven = true;
      return frame::ReadBoundedRange(hit.nameStart, kExponentMin, kExponentMax, &job.eLo, &job.eHi);
    case kOptionSecret:
    case kOptionPublic:
      frame::CopyKeyPairName(job.files, hit.index == kOptionSecret, hit.nameStart);
      return true;
    default:
      return false;  // this operation takes no positional names
  }
}

// The range of E's length for every modulus of nLo..nHi bits: at least half
// of the longest modulus, and below the shortest one (the primitive keeps E
// within both for the modulus it made). False for a given range that
// cannot hold such an E.
bool SettleExponentRange(RsakJob& job) {
  const std::uint32_t floor = (job.nHi + 1) / 2;
  if (job.exponentGiven) return job.eHi >= floor && job.eLo <= job.nLo - 1;
  if (job.eHi < floor) job.eHi = floor + 2 > kExponentMax ? kExponentMax : floor + 2;
  if (job.eLo > job.nLo - 1) job.eLo = job.nLo - 1;
  return true;
}

// ---- the progress lines (worker thread) ---------------------------------------------

// The context's window word holds the job while its window is open.
RsakJob& JobOf(RSAContext* context) { return *static_cast<RsakJob*>(context->progressWindow); }

std::string Line(const RSANumber& number, std::uint32_t attempt) {
  char format[256] = {};
  platform::LoadText(kTextLine, format, sizeof format);
  char text[64] = {};
  const auto bits = static_cast<unsigned long>(zq_bit(reinterpret_cast<const WordBlock*>(&number)));
  std::snprintf(text, sizeof text, format, bits, static_cast<unsigned long>(attempt));
  return text;
}

bool Stopping(const RsakJob& job) {
  return (job.window.word.load() & platform::kProgressCancel) != 0 ||
         platform::TerminationRequested();
}

std::int32_t ZQCDECL PqProgress(RSAContext* context, std::uint32_t pAttempt,
                                std::uint32_t qAttempt) {
  RsakJob& job = JobOf(context);
  if (Stopping(job)) return 1;
  if (qAttempt == 0) {
    job.lineP = Line(context->p, pAttempt);
    frame::ShowGeneratorField(job.window, GeneratorField::PrimeP, job.lineP.c_str());
    return 0;
  }
  if ((job.window.word.fetch_or(kPFinished) & kPFinished) == 0)
    frame::ShowGeneratorField(job.window, GeneratorField::PrimeP, (job.lineP + kDone).c_str());
  job.lineQ = Line(context->q, qAttempt);
  frame::ShowGeneratorField(job.window, GeneratorField::PrimeQ, job.lineQ.c_str());
  return 0;
}

std::int32_t ZQCDECL EProgress(RSAContext* context, std::uint32_t attempt) {
  RsakJob& job = JobOf(context);
  if (Stopping(job)) return 1;
  if ((job.window.word.fetch_or(kQFinished) & kQFinished) == 0)
    frame::ShowGeneratorField(job.window, GeneratorField::PrimeQ, (job.lineQ + kDone).c_str());
  frame::ShowGeneratorField(job.window, GeneratorField::ExponentE,
                            Line(context->e, attempt).c_str());
  return 0;
}

// Quiet: no window, but a request to end the process still stops the work.
std::int32_t ZQCDECL QuietPqProgress(RSAContext*, std::uint32_t, std::uint32_t) {
  return platform::TerminationRequested() ? 1 : 0;
}
std::int32_t ZQCDECL QuietEProgress(RSAContext*, std::uint32_t) {
  return platform::TerminationRequested() ? 1 : 0;
}

// ---- the worker-thread protocol's steps -----------------------------------------

bool OpenDialog(void* context) {
  auto& job = *static_cast<RsakJob*>(context);
  if (!frame::OpenGeneratorWindow(job.window, job.parent, platform::GeneratorKind::RsaKeyPair))
    return false;
  job.context.progressWindow = &job;
  return true;
}

void CloseDialog(void* context) {
  frame::CloseGeneratorWindow(static_cast<RsakJob*>(context)->window);
}

std::int32_t Generate(void* context) {
  auto& job = *static_cast<RsakJob*>(context);
  const bool shown = job.context.progressWindow != nullptr;
  if (RSAGenPQN(&job.context, shown ? PqProgress : QuietPqProgress) != kRsaGenDone) return 1;
  // A cancel pressed during the last progress call has no later call to see it.
  return RSAGenED(&job.context, shown ? EProgress : QuietEProgress) != kRsaGenDone || Stopping(job);
}

// ---- the operation ------------------------------------------------------------------------

WordBlock* Block(RSANumber& number) { return reinterpret_cast<WordBlock*>(&number); }

bool IsZeroOrOne(const RSANumber& n) {
  for (std::uint32_t i = 0; i < n.count && i < kRsaMaxWords; ++i)
    if (n.words[i] > (i == 0 ? 1u : 0u)) return false;
  return true;
}

Outcome Run(RsakJob& job) {
  frame::GeneratorFile& secret = job.files.secret;
  frame::LoadKeyPairNames(job.files, kDefaultSecretKey, kDefaultPublicKey);
  job.context.size = sizeof(RSAContext);
  job.context.param = 2;
  if (!frame::ScanGeneratorOptions(secret, job.options, kOptions, std::size(kOptions),
                                   frame::kWholeNameTokens, TakeOption, &job) ||
      !SettleExponentRange(job))
    return {frame::kResultBadCommand};
  if (Outcome files = frame::SettleKeyPairFiles(job.parent, platform::kTitleRsaKeys, job.files);
      files.code != frame::kResultOk)
    return files;

  RSAContext& c = job.context;
  c.pBitsLo = job.nLo / 2;
  c.pBitsHi = job.nHi / 2;
  c.nBitsLo = job.nLo;
  c.nBitsHi = job.nHi;
  c.eBitsLo = job.eLo;
  c.eBitsHi = job.eHi;
  frame::WorkerSteps steps;
  steps.context = &job;
  steps.openDialog = OpenDialog;
  steps.closeDialog = CloseDialog;
  steps.work = Generate;
  steps.word = &job.window.word;
  if (int code = frame::RunWorker(job.worker, steps, secret.quiet); code != frame::kResultOk)
    return {code};
  // What the primitive gave must be a key before it is written.
  if (c.n.count == 0 || c.n.count > kRsaMaxWords || c.e.count > kRsaMaxWords ||
      c.d.count > kRsaMaxWords || IsZeroOrOne(c.e) || IsZeroOrOne(c.d))
    return {frame::kResultUnknownError};

  frame::DataFileHeader secretHeader;
  if (!protect::StartSecretHalf(job.parent, secret.quiet, frame::kAlgRsa, job.files.protection,
                                secretHeader, job.masterKey))
    return {frame::kResultHardwareError};
  protect::ProtectKeyMaterial(protect::KeyMaterialKind::RsaSecret, secretHeader, job.masterKey,
                              Block(c.n), Block(c.e));

  frame::DataFileHeader publicHeader =
      frame::NewHeader(frame::kFileKey, frame::kAlgRsa, frame::kKeyPublicHalf);
  frame::UpdateIntegrityValue(&publicHeader.integrityValue, c.n.words, 4u * c.n.count);
  frame::UpdateIntegrityValue(&publicHeader.integrityValue, c.d.words, 4u * c.d.count);
  frame::GuardedFaultPoint();

  return frame::WriteKeyPairFiles(job.files, secretHeader, {Block(c.n), Block(c.e)}, publicHeader,
                                  {Block(c.n), Block(c.d)});
}

void Cleanup(RsakJob& job) {
  // A worker still running (the wait was cut short by a fault) is told to
  // stop and joined before its window and context go.
  job.window.word.fetch_or(platform::kProgressCancel);
  frame::JoinWorker(job.worker);
  frame::CloseGeneratorWindow(job.window);
  frame::DiscardKeyPairFiles(job.files);
  nc::SecureWipe(&job.context, sizeof job.context);
  nc::SecureWipe(&job.masterKey, sizeof job.masterKey);
}

}  // namespace

}  // namespace nc::rsa

extern "C" NCEXPORT int32_t NCAPI ZqRSAK(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  nc::rsa::RsakJob job;
  job.parent = parent;
  job.options = options;
  return nc::frame::RunOperation(nc::rsa::kTag, job, nc::rsa::Run, nc::rsa::Cleanup, result,
                                 resultSize);
}
