// User-interface backends. The frame decides what to ask and show; a
// backend only presents it and reports the answer. Texts are in the
// library's text encoding.
#pragma once
#include <string>
#include <vector>

namespace nc::platform {

using WindowHandle = void*;

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  // A yes/no question with a question icon; true only for "yes".
  virtual bool AskYesNo(WindowHandle parent, const char* caption, const char* text) = 0;
  // An information message; returns when the user has seen it.
  virtual void ShowInfo(WindowHandle parent, const char* caption, const char* text) = 0;
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
};

}  // namespace nc::platform
