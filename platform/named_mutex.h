// Mutexes shared by every process on the machine, by name. Windows: named
// kernel mutexes. POSIX: an flock()ed lock file per name in a runtime folder
// ($NCCORE_RUNTIME_DIR, else $XDG_RUNTIME_DIR/nccore, else /tmp/nccore-<uid>),
// released by the system when its owner dies (the "abandoned" case).
// Waits poll through CurrentClock(), so test clocks shorten them.
#pragma once
#include <cstdint>

namespace nc::platform {

using NamedMutexHandle = std::intptr_t;
inline constexpr NamedMutexHandle kNoMutex = 0;

enum class MutexWait { Acquired, Abandoned, TimedOut, Failed };

// Opens or creates the mutex, not owned; kNoMutex with the last error set on
// failure.
NamedMutexHandle CreateNamedMutex(const char* name);
// Waits at most `timeoutMs` for ownership. Abandoned means the previous
// owner ended without releasing it; the caller owns it then too.
MutexWait WaitNamedMutex(NamedMutexHandle mutex, std::uint32_t timeoutMs);
void ReleaseNamedMutex(NamedMutexHandle mutex);
void CloseNamedMutex(NamedMutexHandle mutex);

}  // namespace nc::platform
