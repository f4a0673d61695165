// The one line a text backend's progress redraws in place: on POSIX stderr
// when it is a terminal, on Windows the standard error when it is a
// console. Nothing is drawn elsewhere. What the line says is composed by the
// views (platform/progress_text.cpp); how it reaches the screen is the
// platform's (platform/posix/status_line.cpp, platform/win32/status_line.cpp).
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

namespace nc::platform {

class StatusLine {
 public:
  using Clock = std::chrono::steady_clock;

  StatusLine();
  ~StatusLine();  // erases a line that was drawn
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool enabled() const { return enabled_; }
  // The width of the screen in characters (80 when it cannot be told).
  std::size_t Columns() const;
  // True when the last redraw is long enough ago (or there was none): at
  // most 20 redraws a second.
  bool Due(Clock::time_point now) const {
    return !drawn_ || now - last_ >= std::chrono::milliseconds(50);
  }
  // Replaces the line with `line` (in the library's text encoding).
  void Draw(const std::string& line, Clock::time_point now);

 private:
  void* handle_ = nullptr;  // Windows: the console's handle
  bool enabled_ = false;
  bool drawn_ = false;
  std::size_t shown_ = 0;  // the longest line drawn, in characters
  Clock::time_point last_{};
};

}  // namespace nc::platform
