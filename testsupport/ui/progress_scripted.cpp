// The scripted backend's progress windows: they record what they are told to
// show and press the cancel button when the test's script says so.
#include "testsupport/ui/scripted_ui.h"

namespace nc::platform {

namespace {

using Event = ScriptedUi::ProgressEvent;

class ScriptedProgress final : public ProgressView {
 public:
  ScriptedProgress(ScriptedUi& ui, ProgressWord& word) : ui_(ui), word_(word) {}
  ~ScriptedProgress() override { ui_.RecordProgress({Event::Close, {}}, word_); }
  void SetCaption(int, const char* caption) override {
    ui_.RecordProgress({Event::Caption, caption}, word_);
  }
  void SetDescription(int textId, const char* text, const char*, const char*) override {
    ui_.RecordProgress({Event::Description, text, textId}, word_);
  }
  void SetPercent(unsigned percent) override {
    ui_.RecordProgress({Event::Percent, {}, 0, percent}, word_);
  }
  void Pump() override {}

 private:
  ScriptedUi& ui_;
  ProgressWord& word_;
};

class ScriptedGenerator final : public GeneratorView {
 public:
  ScriptedGenerator(ScriptedUi& ui, ProgressWord& word) : ui_(ui), word_(word) {}
  ~ScriptedGenerator() override { ui_.RecordProgress({Event::GeneratorClose, {}}, word_); }
  void SetStage(const char* caption) override {
    ui_.RecordProgress({Event::Stage, caption}, word_);
  }
  void SetField(GeneratorField field, const char* text) override {
    ui_.RecordProgress({Event::Field, text, static_cast<int>(field)}, word_);
  }

 private:
  ScriptedUi& ui_;
  ProgressWord& word_;
};

}  // namespace

std::unique_ptr<ProgressView> ScriptedUi::OpenProgress(WindowHandle parent, ProgressWord& word) {
  if (refuseProgress) return nullptr;
  RecordProgress({Event::Open, {}, 0, 0, parent}, word);
  return std::make_unique<ScriptedProgress>(*this, word);
}

std::unique_ptr<GeneratorView> ScriptedUi::OpenGenerator(WindowHandle parent, ProgressWord& word,
                                                         GeneratorKind) {
  if (refuseGenerator) return nullptr;
  RecordProgress({Event::GeneratorOpen, {}, 0, 0, parent}, word);
  return std::make_unique<ScriptedGenerator>(*this, word);
}

void ScriptedUi::RecordProgress(const ProgressEvent& event, ProgressWord& word) {
  std::lock_guard<std::mutex> lock(progressLock_);
  progress.push_back(event);
  if (event.kind != Event::Cancel && cancelWhen && cancelWhen(event)) {
    // As the button does: the cancel bit, nothing else.
    word.fetch_or(kProgressCancel);
    progress.push_back({Event::Cancel, {}});
  }
}

}  // namespace nc::platform
