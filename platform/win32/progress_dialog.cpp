// The file jobs' progress window, "DLGPROGRESSEX": an animation chosen by
// the description, the description naming the two files, the bar and its
// percentage, and the cancel button, which hides the window and sets the
// cancel bit of the job's word. The job keeps the window alive by pumping
// its thread's messages at every report.
#include "platform/win32/windows_api.h"
// After <windows.h>:
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "platform/library_text.h"
#include "platform/string_table.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/keep_last_error.h"
#include "platform/win32/modeless_dialog.h"
#include "platform/win32/module.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

namespace {

constexpr int kAnimation = 1021;
constexpr int kDescription = 1020;
constexpr int kPercent = 1019;
constexpr int kBar = 1018;
constexpr std::size_t kLoadedCharacters = 127;

// The clip each description plays.
struct Clip {
  int textId;
  int clipId;
};
constexpr Clip kClips[] = {{2010, 110}, {2011, 136}, {2012, 137},
                           {2013, 138}, {2014, 142}, {2015, 139}};

// What the window procedure reads through the window's user-data slot.
struct ProgressState {
  ProgressWord* word;
  std::wstring description;  // shown at kMessageSetDescription
};

ProgressState* StateOf(HWND window) {
  return reinterpret_cast<ProgressState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

void StartClip(HWND window, int textId) {
  for (const Clip& clip : kClips) {
    if (clip.textId != textId) continue;
    HWND animation = ::GetDlgItem(window, kAnimation);
    ::SetWindowLongPtrW(
        animation, GWL_STYLE,
        WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY | ACS_TIMER);
    ::SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(LibraryModule()),
                   reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(clip.clipId)));
    return;
  }
}

INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
      ::SendDlgItemMessageW(window, kBar, PBM_SETRANGE32, 0, 100);
      ::SendDlgItemMessageW(window, kBar, PBM_SETPOS, 0, 0);
      return FALSE;  // the default button does not take the focus
    case kMessageSetCaption: {
      std::string caption = LoadText(static_cast<int>(lParam));
      caption.resize(CharacterPrefix(caption.c_str(), kLoadedCharacters));
      ::SetWindowTextW(window, Widen(caption.c_str()).c_str());
      return TRUE;
    }
    case kMessageSetDescription:
      StartClip(window, static_cast<int>(lParam));
      if (ProgressState* state = StateOf(window))
        ::SetDlgItemTextW(window, kDescription, state->description.c_str());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        ProgressState* state = StateOf(window);
        CancelAndHide(window, state != nullptr ? state->word : nullptr);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

class ProgressDialog final : public ProgressView {
 public:
  explicit ProgressDialog(ProgressWord& word) : state_{&word, {}} {}
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  bool Create(WindowHandle parent) {
    if (!dialog_.Create(L"DLGPROGRESSEX", parent, ProgressProc, reinterpret_cast<LPARAM>(&state_)))
      return false;
    window_ = dialog_.get();
    return true;
  }

  void SetCaption(int titleId, const char*) override {
    ::SendMessageW(window_, kMessageSetCaption, 0, titleId);
  }
  void SetDescription(int textId, const char* text, const char*, const char*) override {
    state_.description = Widen(text);
    ::SendMessageW(window_, kMessageSetDescription, 0, textId);
  }
  // The job's last error is its own: the window's calls must not touch it.
  void SetPercent(unsigned percent) override {
    if (percent > 100) percent = 100;
    if (percent == shown_) return;
    KeepLastError keep;
    shown_ = percent;
    ::SendDlgItemMessageW(window_, kBar, PBM_SETPOS, percent, 0);
    wchar_t text[8];
    std::swprintf(text, 8, L"%u%%", percent);
    ::SetDlgItemTextW(window_, kPercent, text);
  }
  void Pump() override {
    KeepLastError keep;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // The host's own loop must still see it.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      ::DispatchMessageW(&message);
    }
  }

 private:
  ProgressState state_;
  ModelessDialog dialog_;  // after state_, which it uses until destroyed
  HWND window_ = nullptr;
  unsigned shown_ = 0;  // the template shows "0%"
};

}  // namespace

std::unique_ptr<ProgressView> OpenProgressDialog(WindowHandle parent, ProgressWord& word) {
  auto dialog = std::make_unique<ProgressDialog>(word);
  if (!dialog->Create(parent)) return nullptr;
  return dialog;
}

}  // namespace nc::platform::win32
