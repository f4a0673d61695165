#include "platform/win32/modeless_dialog.h"

#include "platform/win32/keep_last_error.h"
#include "platform/win32/module.h"
#include "platform/win32/startup.h"

namespace nc::platform::win32 {

ModelessDialog::~ModelessDialog() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

bool ModelessDialog::Create(const wchar_t* name, WindowHandle parent, DLGPROC procedure,
                            LPARAM param) {
  KeepLastError keep;
  InitCommonControlsOnce();
  window_ =
      ::CreateDialogParamW(LibraryModule(), name, static_cast<HWND>(parent), procedure, param);
  return window_ != nullptr;
}

void CancelAndHide(HWND window, ProgressWord* word) {
  if (word != nullptr) word->fetch_or(kProgressCancel);
  ::ShowWindow(window, SW_HIDE);
}

}  // namespace nc::platform::win32
