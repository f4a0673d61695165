// Progress on the terminal: one line on stderr, redrawn in place, cleared
// when the job ends; nothing when stderr is not a terminal. While a view
// exists, Ctrl-C (SIGINT) sets the job's cancel bit instead of ending the
// process; the handler that was there before comes back with the last view
// (a host that ignores SIGINT keeps ignoring it).
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>

#include "platform/progress_ui.h"

namespace nc::platform {

namespace {

using Clock = std::chrono::steady_clock;
// At most 20 redraws a second.
constexpr Clock::duration kRedrawInterval = std::chrono::milliseconds(50);
constexpr std::size_t kDefaultColumns = 80;

// ---- Ctrl-C ------------------------------------------------------------------

std::atomic<ProgressWord*> g_interrupted{nullptr};
static_assert(std::atomic<ProgressWord*>::is_always_lock_free);

void OnInterrupt(int) {
  if (ProgressWord* word = g_interrupted.load()) word->fetch_or(kProgressCancel);
}

std::mutex g_interruptLock;
int g_interruptUsers = 0;
bool g_interruptInstalled = false;
struct sigaction g_previousInterrupt;

// Routes SIGINT to `word` while it lives. Views may overlap (one job at a
// time shows progress, but a view may open before the last one is gone);
// the newest word receives the cancel.
class InterruptScope {
 public:
  explicit InterruptScope(ProgressWord& word) {
    std::lock_guard<std::mutex> lock(g_interruptLock);
    previousWord_ = g_interrupted.load();
    g_interrupted.store(&word);
    if (g_interruptUsers++ > 0) return;
    struct sigaction current;
    if (sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    g_interruptInstalled = sigaction(SIGINT, &action, &g_previousInterrupt) == 0;
  }
  ~InterruptScope() {
    std::lock_guard<std::mutex> lock(g_interruptLock);
    if (--g_interruptUsers == 0 && g_interruptInstalled) {
      sigaction(SIGINT, &g_previousInterrupt, nullptr);
      g_interruptInstalled = false;
    }
    g_interrupted.store(g_interruptUsers == 0 ? nullptr : previousWord_);
  }
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  ProgressWord* previousWord_ = nullptr;
};

// ---- the line ----------------------------------------------------------------

class StatusLine {
 public:
  StatusLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}
  ~StatusLine() {
    if (drawn_) Write("\r\033[K");
  }
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool enabled() const { return enabled_; }
  static std::size_t Columns() {
    struct winsize size = {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
  }
  // True when the last redraw is long enough ago (or there was none).
  bool Due(Clock::time_point now) const { return !drawn_ || now - last_ >= kRedrawInterval; }
  void Draw(const std::string& line, Clock::time_point now) {
    Write("\r" + line + "\033[K");
    drawn_ = true;
    last_ = now;
  }

 private:
  static void Write(const std::string& text) {
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

  bool enabled_;
  bool drawn_ = false;
  Clock::time_point last_{};
};

class TerminalProgress final : public ProgressView {
 public:
  explicit TerminalProgress(ProgressWord& word) : interrupt_(word) {}
  void SetCaption(const char* caption) override { title_ = caption; }
  void SetDescription(int, const char*, const char* firstName, const char* secondName) override {
    first_ = firstName;
    second_ = secondName;
  }
  void SetPercent(unsigned percent) override {
    if (!line_.enabled() || (shown_ && percent == percent_)) return;
    Clock::time_point now = Clock::now();
    if (!line_.Due(now)) return;
    line_.Draw(ComposeProgressLine(title_, first_, second_, percent, StatusLine::Columns()), now);
    percent_ = percent;
    shown_ = true;
  }
  void Pump() override {}  // Ctrl-C arrives as a signal

 private:
  InterruptScope interrupt_;
  StatusLine line_;
  std::string title_, first_, second_;
  unsigned percent_ = 0;
  bool shown_ = false;
};

class TerminalGenerator final : public GeneratorView {
 public:
  explicit TerminalGenerator(ProgressWord& word) : interrupt_(word) {}
  void SetStage(const char* caption) override {
    std::lock_guard<std::mutex> lock(lock_);
    stage_ = caption;
    Draw(true);
  }
  void SetField(GeneratorField field, const char* text) override {
    std::lock_guard<std::mutex> lock(lock_);
    std::string& slot = fields_[static_cast<int>(field)];
    if (slot == text) return;
    slot = text;
    Draw(false);
  }

 private:
  void Draw(bool now) {
    if (!line_.enabled()) return;
    Clock::time_point time = Clock::now();
    if (!now && !line_.Due(time)) return;
    line_.Draw(ComposeGeneratorLine(stage_, fields_, StatusLine::Columns()), time);
  }

  InterruptScope interrupt_;
  std::mutex lock_;
  StatusLine line_;
  std::string stage_;
  std::string fields_[kGeneratorFieldCount];
};

}  // namespace

std::unique_ptr<ProgressView> TerminalProgressView(ProgressWord& word) {
  return std::make_unique<TerminalProgress>(word);
}

std::unique_ptr<GeneratorView> TerminalGeneratorView(ProgressWord& word) {
  return std::make_unique<TerminalGenerator>(word);
}

}  // namespace nc::platform
