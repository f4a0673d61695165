// POSIX files with the Windows error codes the operations expect.
#include "platform/files.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

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

// A name the kernel would refuse as too long is refused here, the same way.
bool NameTooLong(const char* path) {
  if (std::strlen(path) <= kMaxPath) return false;
  SetLastErrorCode(WindowsCodeOf(ENAMETOOLONG));
  return true;
}

// Opens without waiting: a FIFO without a writer, or a device that waits for
// a carrier, would otherwise hold open() forever. The descriptor goes back to
// blocking reads and writes once it is known to be a regular file.
FileHandle Open(const char* path, int flags, mode_t mode) {
  if (NameTooLong(path)) return kInvalidFile;
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // A FIFO opened for writing without a reader: not a data file either.
    if (errno == ENXIO) errno = EACCES;
    SetFromErrno();
    return kInvalidFile;
  }
  // Only regular files are data files here: a directory or device name is
  // refused as the Windows calls would refuse it.
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    SetLastErrorCode(kErrorAccessDenied);
    return kInvalidFile;
  }
  return fd;
}

// The folder holding `path`, for flushing it after a rename.
std::string FolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return ".";
  if (slash == path) return "/";
  return std::string(path, static_cast<std::size_t>(slash - path));
}

// Makes a rename into the folder of `path` survive a power cut. A file
// system that cannot flush a folder has nothing more to do: not an error.
void SyncFolderOf(const char* path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  while (::fsync(fd) != 0 && errno == EINTR) {
  }
  ::close(fd);
}

// The process's umask, read without changing it where the kernel tells it
// (Linux 4.7 and later); otherwise set and restored at once.
mode_t CurrentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[128];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr)
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  mode_t mask = ::umask(077);
  ::umask(mask);
  return mask;
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

FileHandle CreateNewFile(const char* path, bool) {
  return Open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_NOFOLLOW, 0600);
}

void SetFinalPermissions(FileHandle file, const char* replaced, bool ownerOnly) {
  if (file == kInvalidFile) return;
  mode_t mode = 0600;  // a secret stays private
  struct stat status;
  if (!ownerOnly) {
    if (replaced != nullptr && ::stat(replaced, &status) == 0 && S_ISREG(status.st_mode))
      mode = status.st_mode & 0777;  // never a set-user or set-group bit on new contents
    else
      mode = 0666 & ~CurrentUmask();
  }
  // A file system without modes keeps the file private: nothing to report.
  ::fchmod(Fd(file), mode);
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

bool FindOutputTarget(const char* destination, std::string* target, bool* exists) {
  *exists = false;
  target->clear();
  if (NameTooLong(destination)) return false;
  struct stat status;
  if (::lstat(destination, &status) != 0) {
    if (errno != ENOENT) {
      SetFromErrno();
      return false;
    }
    *target = destination;  // a new file; its folder is tried when it is created
    return true;
  }
  if (S_ISLNK(status.st_mode)) {
    // Followed to the end: the file replaced is the one the links lead to.
    char* resolved = ::stat(destination, &status) == 0 ? ::realpath(destination, nullptr) : nullptr;
    if (resolved == nullptr) {  // leads nowhere (or round in a circle)
      SetFromErrno();
      return false;
    }
    *target = resolved;
    std::free(resolved);
  } else {
    *target = destination;
  }
  if (!S_ISREG(status.st_mode)) {
    SetLastErrorCode(kErrorAccessDenied);
    return false;
  }
  // A file its user may not write stays, although the folder would let a
  // rename replace it.
  if (::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) {
    SetFromErrno();
    return false;
  }
  *exists = true;
  return true;
}

namespace {

// A name that does not exist yet, made absolute through its folder's real
// path (links and "." and ".." resolved), or empty when the folder cannot
// be resolved.
std::string PlaceOf(const char* name) {
  std::string text = name;
  const std::size_t slash = text.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : text.substr(0, slash + 1);
  const std::string leaf = slash == std::string::npos ? text : text.substr(slash + 1);
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string place = std::string(resolved) + "/" + leaf;
  std::free(resolved);
  return place;
}

}  // namespace

bool SameOutputFile(const char* first, const char* second) {
  const int saved = errno;
  struct stat a, b;
  const bool firstExists = ::stat(first, &a) == 0;
  const bool secondExists = ::stat(second, &b) == 0;
  bool same = false;
  if (firstExists && secondExists) {
    same = a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  } else if (!firstExists && !secondExists) {
    const std::string x = PlaceOf(first), y = PlaceOf(second);
    same = !x.empty() && x == y;
  }
  errno = saved;
  return same;
}

bool DeleteFile(const char* path) {
  if (::unlink(path) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool ReplaceFile(const char* from, const char* to) {
  if (NameTooLong(to)) return false;
  if (::rename(from, to) != 0) {
    SetFromErrno();
    return false;
  }
  SyncFolderOf(to);
  return true;
}

bool RenameWithoutReplacing(const char* from, const char* to) {
  if (NameTooLong(to)) return false;
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      SetFromErrno();
      return false;
    }
    // A file system without the no-replace rename: a second name, which is
    // refused when `to` exists, then the first name removed.
    if (::link(from, to) != 0) {
      if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) {
        SetFromErrno();
        return false;
      }
      // Neither (FAT and the like): the check and the rename are two steps.
      if (::access(to, F_OK) == 0) {
        SetLastErrorCode(kErrorFileExists);
        return false;
      }
      if (errno != ENOENT) {
        SetFromErrno();
        return false;
      }
      if (::rename(from, to) != 0) {
        SetFromErrno();
        return false;
      }
    } else {
      ::unlink(from);
    }
  }
  SyncFolderOf(to);
  return true;
}

}  // namespace nc::platform
