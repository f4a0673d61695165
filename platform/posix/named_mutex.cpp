// Named mutexes on POSIX: one lock file per name in the runtime folder,
// owned by whoever holds an flock() on it. The system drops the lock when
// the owning process ends, however it ends, so a dead owner never blocks
// the others.
//
// The Windows behaviour kept here:
// - Ownership belongs to a thread, and the owning thread may wait again
//   (each wait needs a release). flock() alone knows only open files, so a
//   process-local record per name keeps the owning thread and the count,
//   and all handles of one name in a process share it and its one file.
// - "Abandoned": byte 0 of the lock file is '1' while an owner holds the
//   mutex and '0' after a proper release. A new owner that finds '1' knows
//   that the previous one ended without releasing.
// A thread that ends while owning the mutex in a process that goes on is not
// detected (the lock stays with the process until it releases or ends).
#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace nc::platform {

namespace {

constexpr std::uint32_t kPollMs = 10;
constexpr std::uint32_t kErrorNotOwner = 288;  // ERROR_NOT_OWNER

struct Shared {
  std::string name;
  pid_t pid = 0;  // the process that opened the file (a forked child opens its own)
  int fd = -1;
  int handles = 0;
  std::mutex lock;  // guards the fields below
  bool owned = false;
  std::thread::id owner;
  std::uint32_t count = 0;
};

struct Handle {
  Shared* shared;
};

std::mutex g_registryLock;
std::map<std::string, Shared*>& Registry() {
  static auto* registry = new std::map<std::string, Shared*>();  // lives until exit
  return *registry;
}

std::string RuntimeFolder() {
  if (const char* dir = std::getenv("NCCORE_RUNTIME_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && *dir == '/') {
    return std::string(dir) + "/nccore";
  }
  return "/tmp/nccore-" + std::to_string(static_cast<unsigned long>(::getuid()));
}

// The folder and its parents (mode 0700 for new ones).
bool MakeFolder(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// A name becomes a file name: characters other than letters, digits, '-'
// and '.' (the escape '_' included) turn into '_' followed by their hex
// value, so "Global\\X" and "Global_X" stay apart.
std::string FileNameOf(const char* name) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char* p = name; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '_';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + ".lock";
}

void SetFromErrno() {
  SetLastErrorCode(errno == EACCES || errno == EPERM ? kErrorAccessDenied : kErrorInvalidParameter);
}

bool WriteState(int fd, char state) {
  ssize_t n;
  do {
    n = ::pwrite(fd, &state, 1, 0);
  } while (n < 0 && errno == EINTR);
  return n == 1;
}

char ReadState(int fd) {
  char state = '0';
  ssize_t n;
  do {
    n = ::pread(fd, &state, 1, 0);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? state : '0';
}

enum class Try { Got, GotAbandoned, Busy, Error };

// One attempt, with shared->lock held.
Try TryTake(Shared* shared) {
  if (shared->owned) {
    if (shared->owner != std::this_thread::get_id()) return Try::Busy;
    ++shared->count;
    return Try::Got;
  }
  if (::flock(shared->fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK || errno == EINTR) return Try::Busy;
    SetFromErrno();
    return Try::Error;
  }
  bool abandoned = ReadState(shared->fd) == '1';
  if (!WriteState(shared->fd, '1')) {
    ::flock(shared->fd, LOCK_UN);
    SetFromErrno();
    return Try::Error;
  }
  shared->owned = true;
  shared->owner = std::this_thread::get_id();
  shared->count = 1;
  return abandoned ? Try::GotAbandoned : Try::Got;
}

}  // namespace

NamedMutexHandle CreateNamedMutex(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastErrorCode(kErrorInvalidParameter);
    return kNoMutex;
  }
  std::lock_guard<std::mutex> guard(g_registryLock);
  auto& registry = Registry();
  auto found = registry.find(name);
  Shared* shared = nullptr;
  if (found != registry.end() && found->second->pid == ::getpid()) {
    shared = found->second;
  } else {
    // New here, or inherited across fork(): the child needs a file of its
    // own (an inherited descriptor would share the parent's lock). The
    // parent's record is left behind in the child.
    std::string folder = RuntimeFolder();
    if (!MakeFolder(folder)) {
      SetFromErrno();
      return kNoMutex;
    }
    std::string path = folder + "/" + FileNameOf(name);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      SetFromErrno();
      return kNoMutex;
    }
    shared = new Shared();
    shared->name = name;
    shared->pid = ::getpid();
    shared->fd = fd;
    registry[name] = shared;
  }
  ++shared->handles;
  SetLastErrorCode(kErrorSuccess);
  return reinterpret_cast<NamedMutexHandle>(new Handle{shared});
}

MutexWait WaitNamedMutex(NamedMutexHandle mutex, std::uint32_t timeoutMs) {
  if (mutex == kNoMutex) {
    SetLastErrorCode(6);  // ERROR_INVALID_HANDLE
    return MutexWait::Failed;
  }
  Shared* shared = reinterpret_cast<Handle*>(mutex)->shared;
  Clock& clock = CurrentClock();
  const std::uint64_t start = clock.NowMs();
  for (;;) {
    Try result;
    {
      std::lock_guard<std::mutex> guard(shared->lock);
      result = TryTake(shared);
    }
    switch (result) {
      case Try::Got:
        return MutexWait::Acquired;
      case Try::GotAbandoned:
        return MutexWait::Abandoned;
      case Try::Error:
        return MutexWait::Failed;
      case Try::Busy:
        break;
    }
    std::uint64_t elapsed = clock.NowMs() - start;
    if (elapsed >= timeoutMs) return MutexWait::TimedOut;
    clock.SleepMs(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kPollMs, timeoutMs - elapsed)));
  }
}

void ReleaseNamedMutex(NamedMutexHandle mutex) {
  if (mutex == kNoMutex) return;
  Shared* shared = reinterpret_cast<Handle*>(mutex)->shared;
  std::lock_guard<std::mutex> guard(shared->lock);
  if (!shared->owned || shared->owner != std::this_thread::get_id()) {
    SetLastErrorCode(kErrorNotOwner);
    return;
  }
  if (--shared->count != 0) return;
  WriteState(shared->fd, '0');
  shared->owned = false;
  shared->owner = std::thread::id();
  ::flock(shared->fd, LOCK_UN);
}

void CloseNamedMutex(NamedMutexHandle mutex) {
  if (mutex == kNoMutex) return;
  auto* handle = reinterpret_cast<Handle*>(mutex);
  Shared* shared = handle->shared;
  delete handle;
  std::lock_guard<std::mutex> guard(g_registryLock);
  if (--shared->handles != 0) return;
  // The last handle: closing the file drops a lock still held, and the
  // state byte left at '1' makes the next owner see the mutex abandoned, as
  // Windows does for a mutex whose owner went away without releasing it.
  auto& registry = Registry();
  auto found = registry.find(shared->name);
  if (found != registry.end() && found->second == shared) registry.erase(found);
  ::close(shared->fd);
  delete shared;
}

}  // namespace nc::platform
