// Serial and parallel ports on POSIX: termios, with the port names mapped to
// device paths through the settings store (see platform/serial_port.h).
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/last_error.h"
#include "platform/posix/serial_port_baud.h"
#include "platform/settings.h"

namespace nc::platform {

struct SerialPort {
  int fd = -1;
  bool terminal = false;
};

namespace {

constexpr char kSerialPortsKey[] = "SOFTWARE\\NCCORE\\SerialPorts";
constexpr char kParallelPortsKey[] = "SOFTWARE\\NCCORE\\ParallelPorts";
constexpr std::uint32_t kBaud = 115200;
constexpr std::int64_t kMsPerByte = 500;

// "COM<n>" or "LPT<n>" (any case, n from 1 to 255): the prefix in capitals
// and n; false for anything else.
bool ParsePortName(const char* name, std::string* prefix, unsigned* number) {
  if (name == nullptr || std::strlen(name) < 4 || std::strlen(name) > 6) return false;
  std::string head;
  for (int i = 0; i < 3; ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    head += c;
  }
  if (head != "COM" && head != "LPT") return false;
  unsigned n = 0;
  for (const char* p = name + 3; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + static_cast<unsigned>(*p - '0');
  }
  if (n < 1 || n > 255 || name[3] == '0') return false;
  *prefix = head;
  *number = n;
  return true;
}

std::uint32_t OpenErrorCode(int error) {
  switch (error) {
    case EBUSY:
    case EWOULDBLOCK:
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
      return kErrorFileNotFound;
    default:
      return kErrorInvalidParameter;
  }
}

// The I/O errors after "abort on error" would be a line fault on Windows;
// here a device that went away (a USB adapter pulled out) or a hung-up line.
constexpr std::uint32_t kErrorGenFailure = 31;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Waits for `events` until `deadline`; true when ready, false on time-out
// (errno 0) or an error.
bool WaitFor(int fd, short events, std::int64_t deadline) {
  for (;;) {
    std::int64_t left = deadline - NowMs();
    if (left <= 0) {
      errno = 0;
      return false;
    }
    pollfd p{fd, events, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) continue;
    if ((p.revents & events) != 0) return true;
    if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      errno = EIO;
      return false;
    }
  }
}

}  // namespace

std::string SerialPortDevicePath(const char* name) {
  std::string prefix;
  unsigned number = 0;
  if (!ParsePortName(name, &prefix, &number)) return std::string();
  std::string canonical = prefix + std::to_string(number);
  bool serial = prefix == "COM";
  std::string path;
  if (ReadSettingText(serial ? kSerialPortsKey : kParallelPortsKey, canonical.c_str(), &path) &&
      !path.empty()) {
    return path;
  }
  return (serial ? "/dev/ttyS" : "/dev/parport") + std::to_string(number - 1);
}

SerialPortHandle OpenSerialPort(const char* name) {
  std::string path = SerialPortDevicePath(name);
  if (path.empty()) {
    SetLastErrorCode(kErrorFileNotFound);
    return nullptr;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastErrorCode(OpenErrorCode(errno));
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
    ::close(fd);
    SetLastErrorCode(kErrorFileNotFound);  // not a device: no such port
    return nullptr;
  }
  // Held exclusively, as a port opened without sharing on Windows.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    SetLastErrorCode(error == EWOULDBLOCK ? kErrorAccessDenied : OpenErrorCode(error));
    return nullptr;
  }
  auto* port = new SerialPort;
  port->fd = fd;
  port->terminal = ::isatty(fd) == 1;
  if (port->terminal) ::ioctl(fd, TIOCEXCL);
  SetLastErrorCode(kErrorSuccess);
  return port;
}

void CloseSerialPort(SerialPortHandle port) {
  if (port == nullptr) return;
  if (port->terminal) ::ioctl(port->fd, TIOCNXCL);  // the flag outlives our descriptor
  ::close(port->fd);                                // releases the lock too
  delete port;
}

bool ConfigureSerialPort(SerialPortHandle port) {
  if (port == nullptr || !port->terminal) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  struct termios t;
  if (::tcgetattr(port->fd, &t) != 0) {
    SetLastErrorCode(kErrorGenFailure);
    return false;
  }
  // Binary: no translation, no echo, no signals, no flow control; reads
  // return what is there (time-outs are ours, see ReadSerialPort).
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::tcsetattr(port->fd, TCSANOW, &t) != 0 || !posix::SetTerminalBaud(port->fd, kBaud)) {
    SetLastErrorCode(kErrorGenFailure);
    return false;
  }
  // DTR and RTS on. A pseudo-terminal has no modem lines and says so.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(port->fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
    SetLastErrorCode(kErrorGenFailure);
    return false;
  }
  return PurgeSerialPort(port);
}

bool SetSerialBaud(SerialPortHandle port, std::uint32_t baud) {
  if (port == nullptr || !port->terminal || baud == 0) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  if (!posix::SetTerminalBaud(port->fd, baud)) {
    SetLastErrorCode(kErrorGenFailure);
    return false;
  }
  return true;
}

bool PurgeSerialPort(SerialPortHandle port) {
  if (port == nullptr || !port->terminal) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  if (::tcflush(port->fd, TCIOFLUSH) != 0) {
    SetLastErrorCode(kErrorGenFailure);
    return false;
  }
  return true;
}

bool WriteSerialPort(SerialPortHandle port, const void* data, std::uint32_t size,
                     std::uint32_t* done) {
  *done = 0;
  if (port == nullptr) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::int64_t deadline = NowMs() + kMsPerByte * size;
  while (*done < size) {
    ssize_t n = ::write(port->fd, bytes + *done, size - *done);
    if (n > 0) {
      *done += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      SetLastErrorCode(kErrorGenFailure);
      return false;
    }
    if (!WaitFor(port->fd, POLLOUT, deadline)) {
      if (errno == 0) return true;  // time-out: *done tells how far it got
      SetLastErrorCode(kErrorGenFailure);
      return false;
    }
  }
  return true;
}

bool ReadSerialPort(SerialPortHandle port, void* data, std::uint32_t size, std::uint32_t* done) {
  *done = 0;
  if (port == nullptr) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  auto* bytes = static_cast<unsigned char*>(data);
  std::int64_t deadline = NowMs() + kMsPerByte * size;
  while (*done < size) {
    ssize_t n = ::read(port->fd, bytes + *done, size - *done);
    if (n > 0) {
      *done += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // 0 is "nothing there yet" for a terminal read with VMIN = VTIME = 0.
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      SetLastErrorCode(kErrorGenFailure);
      return false;
    }
    if (!WaitFor(port->fd, POLLIN, deadline)) {
      if (errno == 0) return true;  // time-out: *done tells how much came
      SetLastErrorCode(kErrorGenFailure);
      return false;
    }
  }
  return true;
}

bool ClearSerialErrors(SerialPortHandle port, std::uint32_t* errors, std::uint32_t* queued) {
  *errors = 0;
  *queued = 0;
  if (port == nullptr) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  int count = 0;
  if (port->terminal && ::ioctl(port->fd, FIONREAD, &count) == 0 && count > 0) {
    *queued = static_cast<std::uint32_t>(count);
  }
  return true;
}

}  // namespace nc::platform
