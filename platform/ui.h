// User-interface backends. The frame decides what to ask and show; a
// backend only presents it and reports the answer. Texts are in the
// library's text encoding.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/progress_ui.h"

namespace nc::platform {

using WindowHandle = void*;

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  // A yes/no question with a question icon; true only for "yes".
  virtual bool AskYesNo(WindowHandle parent, const char* caption, const char* text) = 0;
  // An information message; returns when the user has seen it.
  virtual void ShowInfo(WindowHandle parent, const char* caption, const char* text) = 0;

  // Progress windows (platform/progress_ui.h). `word` outlives the view; the
  // view sets kProgressCancel in it when the user cancels. Null when the
  // window cannot be created. The defaults show nothing and never cancel.
  // A file job's window (it runs without one when this is null):
  virtual std::unique_ptr<ProgressView> OpenProgress(WindowHandle parent, ProgressWord& word);
  // A generator's window (the operation fails with 28 when this is null):
  virtual std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle parent, ProgressWord& word);
};

// The backend the operations use. Chosen on first use from NCCORE_UI
// ("terminal", "headless", "win32" where built), otherwise the platform's
// default: the Win32 message boxes on Windows; on POSIX the terminal when the
// process has a controlling terminal, else headless.
UiBackend& CurrentUi();
// Replaces the backend (tests, hosts); null restores the default choice.
void SetUi(UiBackend* backend);

// No user present: every question is answered "no", nothing is shown.
UiBackend& HeadlessUi();
// Questions and messages on the controlling terminal (POSIX). Falls back to
// headless behaviour when there is no terminal.
UiBackend& TerminalUi();
#ifdef _WIN32
// Real message boxes owned by the parent window.
UiBackend& Win32Ui();
#endif

// For tests: records everything shown and plays scripted answers.
class ScriptedUi final : public UiBackend {
 public:
  struct Shown {
    enum Kind { Question, Info } kind;
    std::string caption;
    std::string text;
    WindowHandle parent;
  };
  bool AskYesNo(WindowHandle parent, const char* caption, const char* text) override;
  void ShowInfo(WindowHandle parent, const char* caption, const char* text) override;

  // Answers given to the questions in order; once used up, "no".
  std::vector<bool> answers;
  std::vector<Shown> shown;

  // Progress windows: every event in order. The generator's updates come
  // from the worker thread; read the list once the job has returned.
  struct ProgressEvent {
    enum Kind {
      Open,         // a file job's window
      Caption,      // text
      Description,  // id = text id, text = the formatted description
      Percent,      // percent
      Close,
      GeneratorOpen,  // a generator's window
      Stage,          // text
      Field,          // id = GeneratorField, text
      GeneratorClose,
      Cancel,  // the cancel button pressed
    } kind;
    std::string text;
    int id = 0;
    unsigned percent = 0;
    WindowHandle parent = nullptr;
  };
  std::unique_ptr<ProgressView> OpenProgress(WindowHandle parent, ProgressWord& word) override;
  std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle parent, ProgressWord& word) override;
  // Called after each recorded event, on the thread that caused it; when it
  // returns true the cancel button is pressed right then.
  std::function<bool(const ProgressEvent&)> cancelWhen;
  // Make the window creation fail.
  bool refuseProgress = false;
  bool refuseGenerator = false;
  std::vector<ProgressEvent> progress;
  // Records `event` and presses cancel in `word` when cancelWhen says so.
  void RecordProgress(const ProgressEvent& event, ProgressWord& word);

 private:
  std::mutex progressLock_;
};

}  // namespace nc::platform
