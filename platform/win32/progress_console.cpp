// Progress on the console (the text backend on Windows): one line on the
// standard error when it is a console, redrawn in place at most 20 times a
// second, cleared when the view goes; nothing otherwise. While a view
// exists, Ctrl-C and Ctrl-Break set the job's cancel bit instead of ending
// the process. The dialogs of the Win32 backend replace this in a window.
#include <chrono>
#include <mutex>
#include <string>

#include "platform/progress_ui.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

using Clock = std::chrono::steady_clock;
constexpr Clock::duration kRedrawInterval = std::chrono::milliseconds(50);
constexpr std::size_t kDefaultColumns = 80;

// ---- Ctrl-C ------------------------------------------------------------------

std::atomic<ProgressWord*> g_interrupted{nullptr};
std::mutex g_interruptLock;
int g_interruptUsers = 0;

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  ProgressWord* word = g_interrupted.load();
  if (word == nullptr) return FALSE;
  word->fetch_or(kProgressCancel);
  return TRUE;
}

class InterruptScope {
 public:
  explicit InterruptScope(ProgressWord& word) {
    std::lock_guard<std::mutex> lock(g_interruptLock);
    previousWord_ = g_interrupted.load();
    g_interrupted.store(&word);
    if (g_interruptUsers++ == 0) {
      DWORD error = ::GetLastError();
      ::SetConsoleCtrlHandler(OnControl, TRUE);
      ::SetLastError(error);
    }
  }
  ~InterruptScope() {
    std::lock_guard<std::mutex> lock(g_interruptLock);
    if (--g_interruptUsers == 0) {
      DWORD error = ::GetLastError();
      ::SetConsoleCtrlHandler(OnControl, FALSE);
      ::SetLastError(error);
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
  StatusLine() : handle_(::GetStdHandle(STD_ERROR_HANDLE)) {
    DWORD error = ::GetLastError();
    DWORD mode = 0;
    enabled_ =
        handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode);
    ::SetLastError(error);
  }
  ~StatusLine() {
    if (drawn_) Write(L"\r" + std::wstring(shown_, L' ') + L"\r");
  }
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool enabled() const { return enabled_; }
  std::size_t Columns() const {
    CONSOLE_SCREEN_BUFFER_INFO info;
    DWORD error = ::GetLastError();
    std::size_t columns = kDefaultColumns;
    if (::GetConsoleScreenBufferInfo(handle_, &info) && info.srWindow.Right > info.srWindow.Left)
      columns = static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    ::SetLastError(error);
    return columns;
  }
  bool Due(Clock::time_point now) const { return !drawn_ || now - last_ >= kRedrawInterval; }
  // The line, padded with blanks over what the last one left.
  void Draw(const std::string& line, Clock::time_point now) {
    std::wstring wide = win32::Widen(line.c_str());
    std::size_t length = wide.size();
    if (length < shown_) wide.append(shown_ - length, L' ');
    Write(L"\r" + wide);
    shown_ = length > shown_ ? length : shown_;
    drawn_ = true;
    last_ = now;
  }

 private:
  void Write(const std::wstring& text) const {
    DWORD error = ::GetLastError();
    const wchar_t* at = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
      DWORD written = 0;
      if (!::WriteConsoleW(handle_, at, left, &written, nullptr) || written == 0) break;
      at += written;
      left -= written;
    }
    ::SetLastError(error);
  }

  HANDLE handle_;
  bool enabled_ = false;
  bool drawn_ = false;
  std::size_t shown_ = 0;
  Clock::time_point last_{};
};

class ConsoleProgress final : public ProgressView {
 public:
  explicit ConsoleProgress(ProgressWord& word) : interrupt_(word) {}
  void SetCaption(const char* caption) override { title_ = caption; }
  void SetDescription(int, const char*, const char* firstName, const char* secondName) override {
    first_ = firstName;
    second_ = secondName;
  }
  void SetPercent(unsigned percent) override {
    if (!line_.enabled() || (shown_ && percent == percent_)) return;
    Clock::time_point now = Clock::now();
    if (!line_.Due(now)) return;
    line_.Draw(ComposeProgressLine(title_, first_, second_, percent, line_.Columns()), now);
    percent_ = percent;
    shown_ = true;
  }
  void Pump() override {}  // Ctrl-C arrives through the control handler

 private:
  InterruptScope interrupt_;
  StatusLine line_;
  std::string title_, first_, second_;
  unsigned percent_ = 0;
  bool shown_ = false;
};

class ConsoleGenerator final : public GeneratorView {
 public:
  explicit ConsoleGenerator(ProgressWord& word) : interrupt_(word) {}
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
    line_.Draw(ComposeGeneratorLine(stage_, fields_, line_.Columns()), time);
  }

  InterruptScope interrupt_;
  std::mutex lock_;
  StatusLine line_;
  std::string stage_;
  std::string fields_[kGeneratorFieldCount];
};

}  // namespace

std::unique_ptr<ProgressView> TerminalProgressView(ProgressWord& word) {
  return std::make_unique<ConsoleProgress>(word);
}

std::unique_ptr<GeneratorView> TerminalGeneratorView(ProgressWord& word) {
  return std::make_unique<ConsoleGenerator>(word);
}

}  // namespace nc::platform
