// Terminal bit rates. Linux: struct termios2 with BOTHER, which takes any
// rate; the kernel's termios headers cannot share a file with <termios.h>,
// hence this file of its own. Elsewhere (the BSDs, macOS) speed_t is the
// rate itself.
#include "platform/posix/serial_port_baud.h"

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

namespace nc::platform::posix {

#ifdef __linux__

bool SetTerminalBaud(int fd, std::uint32_t baud) {
  struct termios2 t;
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = baud;
  t.c_ospeed = baud;
  return ::ioctl(fd, TCSETS2, &t) == 0;
}

bool GetTerminalBaud(int fd, std::uint32_t* baud) {
  struct termios2 t;
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  *baud = t.c_ospeed;
  return true;
}

#else

bool SetTerminalBaud(int fd, std::uint32_t baud) {
  struct termios t;
  if (::tcgetattr(fd, &t) != 0) return false;
  if (::cfsetispeed(&t, static_cast<speed_t>(baud)) != 0 ||
      ::cfsetospeed(&t, static_cast<speed_t>(baud)) != 0) {
    return false;
  }
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

bool GetTerminalBaud(int fd, std::uint32_t* baud) {
  struct termios t;
  if (::tcgetattr(fd, &t) != 0) return false;
  *baud = static_cast<std::uint32_t>(::cfgetospeed(&t));
  return true;
}

#endif

}  // namespace nc::platform::posix
