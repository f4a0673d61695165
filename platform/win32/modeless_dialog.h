// What the modeless progress windows share: made from a template of the
// library's resources with the common controls ready, destroyed with their
// owner object, and the cancel button (or Escape) that sets the cancel bit
// of the job's word and hides the window until the job closes it.
#pragma once
#include "platform/progress_ui.h"
#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

class ModelessDialog {
 public:
  ModelessDialog() = default;
  ModelessDialog(const ModelessDialog&) = delete;
  ModelessDialog& operator=(const ModelessDialog&) = delete;
  ~ModelessDialog();

  // The dialog `name` owned by `parent`, with `procedure` and `param` (the
  // WM_INITDIALOG parameter); false when it cannot be made. The last error
  // is kept.
  bool Create(const wchar_t* name, WindowHandle parent, DLGPROC procedure, LPARAM param);
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// The cancel command of a progress window.
void CancelAndHide(HWND window, ProgressWord* word);

}  // namespace nc::platform::win32
