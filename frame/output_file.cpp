#include "frame/output_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "frame/result_text.h"
#include "platform/last_error.h"
#include "platform/termination.h"

namespace nc::frame {

namespace {

// The target's folder, with its trailing separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  std::size_t cut = path.find_last_of("\\/:");
#else
  std::size_t cut = path.find_last_of('/');
#endif
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string TemporaryName(const std::string& folder, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char name[40];
  std::snprintf(name, sizeof name, "~nc%08x%04x.tmp",
                static_cast<unsigned>(ticks ^ (ticks >> 32)) + attempt * 7919u,
                (counter++ & 0xFFFFu));
  return folder + name;
}

bool NameTakenError(std::uint32_t error) {
  return error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists;
}

}  // namespace

OutputFile::~OutputFile() { DiscardOutput(*this); }

bool MayWriteOutput(OutputFile& output, platform::WindowHandle parent, int titleId,
                    const char* name, bool overwrite, bool quiet) {
  output.mayReplace = overwrite;
  if (overwrite || !platform::FileExists(name)) return true;
  if (!ConfirmOverwrite(parent, titleId, name, quiet)) return false;
  output.mayReplace = true;
  return true;
}

bool CreateOutput(OutputFile& output, const char* destination, bool secret) {
  DiscardOutput(output);
  output.destination = destination;
  output.secret = secret;
  output.nameTaken = false;
  output.committed = false;
  bool exists = false;
  if (!platform::FindOutputTarget(destination, &output.target, &exists)) return false;
  if (exists && !output.mayReplace) {  // appeared since the check: not ours to replace
    output.nameTaken = true;
    platform::SetLastErrorCode(platform::kErrorFileExists);
    return false;
  }
  std::string folder = FolderOf(output.target);
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    std::string candidate = TemporaryName(folder, attempt);
    platform::FileHandle file = platform::CreateNewFile(candidate.c_str(), secret);
    if (file != platform::kInvalidFile) {
      output.temporary = candidate;
      output.file = file;
      return true;
    }
    if (!NameTakenError(platform::GetLastErrorCode())) return false;
  }
  return false;
}

bool CommitOutput(OutputFile& output) {
  if (output.file == platform::kInvalidFile) return false;
  // A job asked to end the process never commits: its output goes.
  if (platform::TerminationRequested()) {
    DiscardOutput(output);
    platform::SetLastErrorCode(platform::kErrorWriteFault);
    return false;
  }
  // Replacing a file keeps who may read it: a plaintext written over a
  // private file stays private. Secret outputs stay owner-only.
  platform::SetFinalPermissions(output.file, output.target.c_str(), output.secret);
  bool ok = platform::FlushFile(output.file);
  platform::CloseFile(output.file);
  output.file = platform::kInvalidFile;
  if (ok)
    ok = output.mayReplace
             ? platform::ReplaceFile(output.temporary.c_str(), output.target.c_str())
             : platform::RenameWithoutReplacing(output.temporary.c_str(), output.target.c_str());
  if (!ok) {
    std::uint32_t error = platform::GetLastErrorCode();
    output.nameTaken = !output.mayReplace && NameTakenError(error);
    platform::DeleteFile(output.temporary.c_str());
    platform::SetLastErrorCode(error);
    output.temporary.clear();
    return false;
  }
  output.temporary.clear();
  output.committed = true;
  return true;
}

void DiscardOutput(OutputFile& output) {
  if (output.file != platform::kInvalidFile) {
    platform::CloseFile(output.file);
    output.file = platform::kInvalidFile;
  }
  if (!output.temporary.empty() && !output.committed) {
    std::uint32_t error = platform::GetLastErrorCode();
    platform::DeleteFile(output.temporary.c_str());
    platform::SetLastErrorCode(error);
  }
  output.temporary.clear();
}

Outcome OutputFailure(const OutputFile& output, const char* name) {
  return {output.nameTaken ? kResultFileExists : kResultWriteError, name};
}

bool WriteBlocks(OutputFile& output, const DataFileHeader& header,
                 std::initializer_list<const WordBlock*> blocks) {
  if (!WriteDataFileHeader(output.file, header)) return false;
  for (const WordBlock* block : blocks)
    if (!WriteWordBlock(output.file, block)) return false;
  return platform::SetEndOfFile(output.file);
}

bool WriteBlocksAndCommit(OutputFile& output, const DataFileHeader& header,
                          std::initializer_list<const WordBlock*> blocks) {
  return WriteBlocks(output, header, blocks) && CommitOutput(output);
}

Outcome WriteKeyPair(const KeyPairHalf& secretHalf, const KeyPairHalf& publicHalf) {
  for (const KeyPairHalf* half : {&secretHalf, &publicHalf}) {
    if (!CreateOutput(half->output, half->name, half == &secretHalf) ||
        !WriteBlocks(half->output, half->header, half->blocks))
      return OutputFailure(half->output, half->name);
  }
  if (OutputFile* failed = CommitKeyPair(secretHalf.output, publicHalf.output))
    return OutputFailure(*failed, failed == &secretHalf.output ? secretHalf.name : publicHalf.name);
  return {kResultOk};
}

OutputFile* CommitKeyPair(OutputFile& secretHalf, OutputFile& publicHalf) {
  // A name taken meanwhile by a file neither half may replace stops the
  // pair before either rename (the renames check again, each on its own).
  for (OutputFile* half : {&secretHalf, &publicHalf}) {
    if (half->mayReplace || !platform::FileExists(half->destination.c_str())) continue;
    half->nameTaken = true;
    platform::SetLastErrorCode(platform::kErrorFileExists);
    return half;
  }
  if (!CommitOutput(publicHalf)) return &publicHalf;
  if (!CommitOutput(secretHalf)) return &secretHalf;
  return nullptr;
}

}  // namespace nc::frame
