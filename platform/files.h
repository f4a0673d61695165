// Files, as the operations use them: 64-bit sizes and positions, handles
// owned by the caller. Names are in the library's text encoding (UTF-8 on
// Linux, code page 1251 on Windows). Every failing call sets the last error.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nc::platform {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class SeekOrigin { Begin, Current, End };

// Existing file, read access, others may read too; sequential access hint.
// Never blocks: anything but a regular (disk) file, a FIFO included, is
// refused with kErrorAccessDenied.
FileHandle OpenForRead(const char* path);
// Write access, no sharing, created or truncated.
FileHandle CreateAlways(const char* path);
// Write access, fails when the name exists. The file is private to its
// owner from its first instant: on POSIX always (mode 0600, widened by
// SetFinalPermissions when it is complete); on Windows when `ownerOnly`
// (a DACL for the current user alone, which stays), the folder's inherited
// access otherwise.
FileHandle CreateNewFile(const char* path, bool ownerOnly);
// Gives a complete output its final permissions: private to its owner when
// `ownerOnly`; else those of the file it replaces (`replaced`, a regular
// file), or the usual ones of a new file when `replaced` is null (POSIX:
// 0666 less the process's umask). Nothing on Windows, where the file keeps
// what it was created with.
void SetFinalPermissions(FileHandle file, const char* replaced, bool ownerOnly);
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
// Renames `from` to `to` unless `to` exists, which it never replaces: then
// false with kErrorFileExists or kErrorAlreadyExists. The check and the
// rename are one step where the file system allows it.
bool RenameWithoutReplacing(const char* from, const char* to);
// Both renames make themselves durable: the folder holding `to` is flushed
// after it (POSIX), or the move is written through (Windows).

// What an output written to `destination` would replace. True when the
// output may be written: `*target` is the file the output is to take the
// place of (the destination, or for a symbolic link the file it leads to,
// so that the link stays) and `*exists` tells whether that file exists.
// False with the last error set when the name is longer than the
// platform's names, or it names something other than a regular file (a
// folder, a device, a pipe, a socket), a link that leads nowhere, or a file
// the user may not write (read-only).
bool FindOutputTarget(const char* destination, std::string* target, bool* exists);

// Whether two names given as outputs would be the same file: both exist
// and are one file (a link, a second hard link, another spelling of the
// path), or neither exists and both name the same place in the same
// folder. Names that cannot be examined count as different; writing them
// fails on its own.
bool SameOutputFile(const char* first, const char* second);

// Longest file name the platform's name buffers hold, terminator excluded.
// Every call above refuses a longer name as the system refuses one it cannot
// take (kErrorPathNotFound), never shortening it.
inline constexpr std::uint32_t kMaxPath =
#ifdef _WIN32
    260;
#else
    4095;
#endif
// The size of an operation's file-name buffer: the longest name, room for
// one more character (up to four bytes of UTF-8) and the terminator. A name
// cut to fit the buffer, at a byte or at a character boundary, is still too
// long, and is refused as such, never taken for the shorter name.
inline constexpr std::size_t kNameBufferSize = kMaxPath + 5;

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
