// The status line on a POSIX terminal: stderr, redrawn after a carriage
// return and erased to the end of the line with the usual escape.
#include "platform/status_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace nc::platform {

namespace {

constexpr std::size_t kDefaultColumns = 80;

void Write(const std::string& text) {
  int saved = errno;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  errno = saved;
}

}  // namespace

StatusLine::StatusLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}

StatusLine::~StatusLine() {
  if (drawn_) Write("\r\033[K");
}

std::size_t StatusLine::Columns() const {
  struct winsize size = {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

void StatusLine::Draw(const std::string& line, Clock::time_point now) {
  Write("\r" + line + "\033[K");
  drawn_ = true;
  last_ = now;
}

}  // namespace nc::platform
