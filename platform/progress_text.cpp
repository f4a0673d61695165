// The text backends' progress views (platform/progress_ui.h): one status
// line, redrawn in place and erased when the view goes. While a view
// exists, Ctrl-C (and the other requests to end the process) sets the job's
// cancel bit instead of ending the process (platform/termination.h).
#include <mutex>
#include <string>

#include "platform/progress_ui.h"
#include "platform/status_line.h"
#include "platform/termination.h"

namespace nc::platform {

namespace {

using Clock = StatusLine::Clock;

class TextProgress final : public ProgressView {
 public:
  explicit TextProgress(ProgressWord& word) : termination_(&word) {}
  void SetCaption(int, const char* caption) override { title_ = caption; }
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
  void Pump() override {}  // a cancel arrives as a termination request

 private:
  TerminationScope termination_;
  StatusLine line_;
  std::string title_, first_, second_;
  unsigned percent_ = 0;
  bool shown_ = false;
};

class TextGenerator final : public GeneratorView {
 public:
  explicit TextGenerator(ProgressWord& word) : termination_(&word) {}
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

  TerminationScope termination_;
  std::mutex lock_;
  StatusLine line_;
  std::string stage_;
  std::string fields_[kGeneratorFieldCount];
};

}  // namespace

std::unique_ptr<ProgressView> TerminalProgressView(ProgressWord& word) {
  return std::make_unique<TextProgress>(word);
}

std::unique_ptr<GeneratorView> TerminalGeneratorView(ProgressWord& word) {
  return std::make_unique<TextGenerator>(word);
}

}  // namespace nc::platform
