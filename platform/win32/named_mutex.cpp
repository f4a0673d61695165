// Named mutexes on Windows: kernel mutexes by name. With the system clock a
// wait blocks in WaitForSingleObject; with a test clock it polls, so that
// the test clock decides when the time is up.
#include "platform/named_mutex.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

constexpr std::uint32_t kPollMs = 10;

HANDLE HandleOf(NamedMutexHandle mutex) { return reinterpret_cast<HANDLE>(mutex); }

MutexWait ResultOf(DWORD wait) {
  switch (wait) {
    case WAIT_OBJECT_0:
      return MutexWait::Acquired;
    case WAIT_ABANDONED:
      return MutexWait::Abandoned;
    case WAIT_TIMEOUT:
      return MutexWait::TimedOut;
    default:
      return MutexWait::Failed;
  }
}

}  // namespace

NamedMutexHandle CreateNamedMutex(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastErrorCode(kErrorInvalidParameter);
    return kNoMutex;
  }
  // The names are ASCII; the A call takes them as they are. Only the rights
  // to wait and release are asked for: a mutex that another account's
  // process made may grant no more.
  HANDLE mutex = ::CreateMutexExA(nullptr, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
  if (mutex == nullptr) return kNoMutex;  // the last error is Windows' own
  ::SetLastError(ERROR_SUCCESS);          // ERROR_ALREADY_EXISTS is no failure here
  return reinterpret_cast<NamedMutexHandle>(mutex);
}

MutexWait WaitNamedMutex(NamedMutexHandle mutex, std::uint32_t timeoutMs) {
  if (mutex == kNoMutex) {
    SetLastErrorCode(ERROR_INVALID_HANDLE);
    return MutexWait::Failed;
  }
  if (UsingSystemClock()) return ResultOf(::WaitForSingleObject(HandleOf(mutex), timeoutMs));
  Clock& clock = CurrentClock();
  const std::uint64_t start = clock.NowMs();
  for (;;) {
    DWORD wait = ::WaitForSingleObject(HandleOf(mutex), 0);
    if (wait != WAIT_TIMEOUT) return ResultOf(wait);
    std::uint64_t elapsed = clock.NowMs() - start;
    if (elapsed >= timeoutMs) return MutexWait::TimedOut;
    clock.SleepMs(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kPollMs, timeoutMs - elapsed)));
  }
}

void ReleaseNamedMutex(NamedMutexHandle mutex) {
  if (mutex != kNoMutex) ::ReleaseMutex(HandleOf(mutex));
}

void CloseNamedMutex(NamedMutexHandle mutex) {
  if (mutex != kNoMutex) ::CloseHandle(HandleOf(mutex));
}

}  // namespace nc::platform
