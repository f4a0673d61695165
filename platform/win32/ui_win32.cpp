// Message boxes owned by the operation's parent window. Texts are converted
// from code page 1251, so they read right whatever the ANSI code page is.
#include "platform/ui.h"
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
