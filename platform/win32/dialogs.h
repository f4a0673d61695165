// The library's own windows on Windows, made from the dialog templates of
// its resources (res/dialogs.rc): the file jobs' progress window, the
// generators' progress windows and the carrier dialog. They present what
// the portable logic decides (platform/progress_ui.h, platform/carrier_ui.h)
// and report the user's clicks.
#pragma once
#include <memory>

#include "platform/carrier_ui.h"
#include "platform/progress_ui.h"

namespace nc::platform::win32 {

// Window messages of the progress windows: the caption from a string id,
// the description (and its animation) from a text id.
inline constexpr unsigned kMessageSetCaption = 0x400 + 10;      // WM_USER + 10, 1034
inline constexpr unsigned kMessageSetDescription = 0x400 + 11;  // WM_USER + 11, 1035

// "DLGPROGRESSEX", modeless, owned by `parent`; null when it cannot be made.
std::unique_ptr<ProgressView> OpenProgressDialog(WindowHandle parent, ProgressWord& word);

// A generator's progress window: its template and the controls that show
// the stage caption and each field (GeneratorField order; 0 where the
// window has no such control). Escape and the button with id 2 ask for the
// abort.
struct GeneratorTemplate {
  const wchar_t* name;
  int stageControl;
  int fieldControls[kGeneratorFieldCount];
};
// "DLGGOSCPROGRESS", the generator of the signature common numbers.
extern const GeneratorTemplate kGoscTemplate;
// "DLGRSAKPROGRESS", the RSA key pair generator.
extern const GeneratorTemplate kRsakTemplate;

// Modeless on the caller's thread; updates may come from any thread (they
// are posted, never sent). Null when it cannot be made.
std::unique_ptr<GeneratorView> OpenGeneratorDialog(WindowHandle parent, ProgressWord& word,
                                                   const GeneratorTemplate& form);

// "DLGHRD", modal, owned by `parent`: the logic's result (0 for OK, -1 for
// cancel), or -1 when it cannot be shown.
int RunCarrierDialogWindow(WindowHandle parent, CarrierDialogHandler& handler);

}  // namespace nc::platform::win32
