#include "frame/output_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/last_error.h"

namespace nc::frame {

namespace {

// The destination's folder, with its trailing separator ("" for a bare name).
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

}  // namespace

OutputFile::~OutputFile() { DiscardOutput(*this); }

bool CreateOutput(OutputFile& output, const char* destination, bool secret) {
  DiscardOutput(output);
  output.destination = destination;
  output.committed = false;
  std::string folder = FolderOf(output.destination);
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    std::string candidate = TemporaryName(folder, attempt);
    platform::FileHandle file = platform::CreateNewFile(candidate.c_str(), secret);
    if (file != platform::kInvalidFile) {
      // Replacing a file keeps who may read it: a plaintext written over a
      // private file stays private. Secret outputs stay owner-only.
      if (!secret) platform::AdoptPermissions(file, destination);
      output.temporary = candidate;
      output.file = file;
      return true;
    }
    std::uint32_t error = platform::GetLastErrorCode();
    if (error != platform::kErrorFileExists && error != platform::kErrorAlreadyExists) return false;
  }
  return false;
}

bool CommitOutput(OutputFile& output) {
  if (output.file == platform::kInvalidFile) return false;
  bool ok = platform::FlushFile(output.file);
  platform::CloseFile(output.file);
  output.file = platform::kInvalidFile;
  if (ok) ok = platform::ReplaceFile(output.temporary.c_str(), output.destination.c_str());
  if (!ok) {
    std::uint32_t error = platform::GetLastErrorCode();
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

bool WriteBlocksAndCommit(OutputFile& output, const DataFileHeader& header,
                          std::initializer_list<const WordBlock*> blocks) {
  if (!WriteDataFileHeader(output.file, header)) return false;
  for (const WordBlock* block : blocks)
    if (!WriteWordBlock(output.file, block)) return false;
  return platform::SetEndOfFile(output.file) && CommitOutput(output);
}

}  // namespace nc::frame
