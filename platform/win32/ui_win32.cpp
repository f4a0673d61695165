// The Windows interface: message boxes, the progress windows and the
// carrier dialog, owned by the operation's parent window. Texts are
// converted from code page 1251, so they read right whatever the ANSI code
// page is.
#include "platform/preset_password.h"
#include "platform/ui.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

class Win32 final : public UiBackend {
 public:
  bool AskYesNo(WindowHandle parent, const char* caption, const char* text) override {
    return Show(parent, caption, text, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) == IDYES;
  }
  void ShowInfo(WindowHandle parent, const char* caption, const char* text) override {
    Show(parent, caption, text, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
  }
  std::unique_ptr<ProgressView> OpenProgress(WindowHandle parent, ProgressWord& word) override {
    return win32::OpenProgressDialog(parent, word);
  }
  std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle parent, ProgressWord& word,
                                               GeneratorKind kind) override {
    return win32::OpenGeneratorDialog(
        parent, word,
        kind == GeneratorKind::RsaKeyPair ? win32::kRsakTemplate : win32::kGoscTemplate);
  }
  int RunCarrierDialog(WindowHandle parent, CarrierDialogHandler& handler) override {
    // A password given in advance (a host's --password-file) is typed by
    // the windowless dialog, as on every backend.
    if (PresetPasswordGiven()) return UiBackend::RunCarrierDialog(parent, handler);
    return win32::RunCarrierDialogWindow(parent, handler);
  }

 private:
  static int Show(WindowHandle parent, const char* caption, const char* text, UINT flags) {
    DWORD error = ::GetLastError();  // a question must not disturb a pending error
    int answer = ::MessageBoxW(static_cast<HWND>(parent), win32::Widen(text).c_str(),
                               win32::Widen(caption).c_str(), flags);
    ::SetLastError(error);
    return answer;
  }
};

}  // namespace

UiBackend& Win32Ui() {
  static Win32 backend;
  return backend;
}

}  // namespace nc::platform
