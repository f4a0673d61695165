// POSIX files with the Windows error codes the operations expect.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>

#include "platform/last_error.h"

namespace nc::platform {

namespace {

std::uint32_t WindowsCodeOf(int error) {
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kErrorAccessDenied;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EEXIST:
      return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    default:
      return kErrorInvalidParameter;
  }
}

void SetFromErrno() { SetLastErrorCode(WindowsCodeOf(errno)); }

int Fd(FileHandle file) { return static_cast<int>(file); }

FileHandle Open(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetFromErrno();
    return kInvalidFile;
  }
  // Only regular files are data files here: a directory or device name is
  // refused as the Windows calls would refuse it.
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SetLastErrorCode(kErrorAccessDenied);
    return kInvalidFile;
  }
  return fd;
}

}  // namespace

FileHandle OpenForRead(const char* path) {
  FileHandle file = Open(path, O_RDONLY | O_NOCTTY, 0);
  if (file != kInvalidFile) ::posix_fadvise(Fd(file), 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

FileHandle CreateAlways(const char* path) {
  return Open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0666);
}

FileHandle CreateNewFile(const char* path, bool ownerOnly) {
  return Open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, ownerOnly ? 0600 : 0666);
}

void AdoptPermissions(FileHandle file, const char* model) {
  struct stat status;
  if (file == kInvalidFile || ::stat(model, &status) != 0 || !S_ISREG(status.st_mode)) return;
  ::fchmod(Fd(file), status.st_mode & 07777);
}

void CloseFile(FileHandle file) {
  if (file != kInvalidFile) ::close(Fd(file));  // our last error is not errno
}

bool ReadFile(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* done) {
  std::uint32_t total = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (total < size) {
    ssize_t got = ::read(Fd(file), bytes + total, size - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      SetFromErrno();
      if (done) *done = total;
      return false;
    }
    if (got == 0) break;
    total += static_cast<std::uint32_t>(got);
  }
  if (done) *done = total;
  return true;
}

bool WriteFile(FileHandle file, const void* buffer, std::uint32_t size, std::uint32_t* done) {
  std::uint32_t total = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (total < size) {
    ssize_t put = ::write(Fd(file), bytes + total, size - total);
    if (put < 0) {
      if (errno == EINTR) continue;
      SetFromErrno();
      if (done) *done = total;
      return false;
    }
    total += static_cast<std::uint32_t>(put);
  }
  if (done) *done = total;
  return true;
}

bool SeekFile(FileHandle file, std::int64_t offset, SeekOrigin origin, std::uint64_t* position) {
  int whence = origin == SeekOrigin::Begin     ? SEEK_SET
               : origin == SeekOrigin::Current ? SEEK_CUR
                                               : SEEK_END;
  off_t at = ::lseek(Fd(file), static_cast<off_t>(offset), whence);
  if (at < 0) {
    SetFromErrno();
    return false;
  }
  if (position) *position = static_cast<std::uint64_t>(at);
  return true;
}

bool SetEndOfFile(FileHandle file) {
  off_t at = ::lseek(Fd(file), 0, SEEK_CUR);
  if (at < 0 || ::ftruncate(Fd(file), at) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  struct stat st;
  if (::fstat(Fd(file), &st) != 0) {
    SetFromErrno();
    return false;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool FlushFile(FileHandle file) {
  if (::fsync(Fd(file)) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool FileExists(const char* path) { return ::access(path, F_OK) == 0; }

bool DeleteFile(const char* path) {
  if (::unlink(path) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool ReplaceFile(const char* from, const char* to) {
  if (::rename(from, to) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

}  // namespace nc::platform
