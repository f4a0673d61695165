// User-interface backends. The frame decides what to ask and show; a
// backend only presents it and reports the answer. Texts are in the
// library's text encoding.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/carrier_ui.h"
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
  virtual std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle parent, ProgressWord& word,
                                                       GeneratorKind kind);

  // The carrier dialog (platform/carrier_ui.h), modal, owned by `parent`:
  // the result the logic ended it with (0 for OK, -1 for cancel), or -1
  // when it cannot be shown. The default shows it only when a password is
  // given in advance (platform/preset_password.h), without a window.
  virtual int RunCarrierDialog(WindowHandle parent, CarrierDialogHandler& handler);
};

// The backend the operations use. Chosen on first use from NCCORE_UI
// ("terminal" or "console", "headless", "win32" where built), otherwise the
// platform's default: on Windows the library's own dialogs and message
// boxes; on POSIX the terminal when the process has a controlling terminal,
// else headless. (Tests select the scripted backend with SetUi.)
UiBackend& CurrentUi();
// Replaces the backend (tests, hosts); null restores the default choice.
void SetUi(UiBackend* backend);

// No user present: every question is answered "no", nothing is shown.
UiBackend& HeadlessUi();
// Questions and messages on the controlling terminal (POSIX), and the
// carrier dialog there. Falls back to headless behaviour when there is no
// terminal.
UiBackend& TerminalUi();
#ifdef _WIN32
// The library's dialogs (progress windows, the carrier dialog) and message
// boxes, owned by the parent window.
UiBackend& Win32Ui();
#endif

}  // namespace nc::platform
