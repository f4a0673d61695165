// Files, as the operations use them: 64-bit sizes and positions, handles
// owned by the caller. Names are in the library's text encoding (UTF-8 on
// Linux, code page 1251 on Windows). Every failing call sets the last error.
#pragma once
#include <cstdint>

namespace nc::platform {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class SeekOrigin { Begin, Current, End };

// Existing file, read access, others may read too; sequential access hint.
FileHandle OpenForRead(const char* path);
// Write access, no sharing, created or truncated.
FileHandle CreateAlways(const char* path);
// Write access, fails when the name exists. `ownerOnly` restricts the
// permissions to the current user where the platform has such a notion.
FileHandle CreateNewFile(const char* path, bool ownerOnly);
// Gives `file` the access permissions of the existing file `model` (POSIX
// mode bits; nothing on Windows, where a replaced file's place keeps the
// folder's inherited access). Nothing when `model` is not a regular file.
void AdoptPermissions(FileHandle file, const char* model);
void CloseFile(FileHandle file);

// Short reads happen only at the end of the file; *done tells how much moved.
bool ReadFile(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* done);
bool WriteFile(FileHandle file, const void* buffer, std::uint32_t size, std::uint32_t* done);
bool SeekFile(FileHandle file, std::int64_t offset, SeekOrigin origin, std::uint64_t* position);
bool SetEndOfFile(FileHandle file);
bool GetFileSize(FileHandle file, std::uint64_t* size);
bool FlushFile(FileHandle file);

// The access check the operations use before asking to overwrite.
bool FileExists(const char* path);
bool DeleteFile(const char* path);
// Renames `from` over `to`, replacing an existing `to` in one step.
bool ReplaceFile(const char* from, const char* to);

// Longest file name the platform's name buffers hold, terminator excluded.
inline constexpr std::uint32_t kMaxPath =
#ifdef _WIN32
    260;
#else
    4095;
#endif

// Owns a handle and closes it on release.
class ScopedFile {
 public:
  ScopedFile() = default;
  explicit ScopedFile(FileHandle file) : file_(file) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Close(); }
  FileHandle get() const { return file_; }
  bool valid() const { return file_ != kInvalidFile; }
  void reset(FileHandle file) {
    Close();
    file_ = file;
  }
  FileHandle release() {
    FileHandle file = file_;
    file_ = kInvalidFile;
    return file;
  }
  void Close() {
    if (file_ != kInvalidFile) CloseFile(file_);
    file_ = kInvalidFile;
  }

 private:
  FileHandle file_ = kInvalidFile;
};

}  // namespace nc::platform
