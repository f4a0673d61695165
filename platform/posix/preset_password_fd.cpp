// The preset password's descriptor on POSIX: a file descriptor number.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/posix/termination_wait.h"
#include "platform/preset_password.h"

namespace nc::platform {

namespace {

// The descriptor NCCORE_PASSWORD_FD names (decimal digits only), or -1.
int NamedDescriptor() {
  const char* text = std::getenv("NCCORE_PASSWORD_FD");
  if (text == nullptr || *text == '\0') return -1;
  long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

bool PresetDescriptorOpen() {
  int fd = NamedDescriptor();
  if (fd < 0) return false;
  int flags = ::fcntl(fd, F_GETFL);
  // A terminal is where a person types: the normal prompt reads it.
  return flags != -1 && (flags & O_ACCMODE) != O_WRONLY && ::isatty(fd) == 0;
}

int ReadPresetByte(unsigned char* byte) {
  int fd = NamedDescriptor();
  if (fd < 0) return -1;
  for (;;) {
    if (!WaitForInput(fd)) return -1;  // asked to end while the writer is silent
    ssize_t n = ::read(fd, byte, 1);
    if (n < 0 && errno == EINTR) continue;
    return n == 1 ? 1 : n == 0 ? 0 : -1;
  }
}

}  // namespace nc::platform
