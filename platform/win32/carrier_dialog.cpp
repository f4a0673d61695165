// The carrier dialog "DLGHRD" as a modal Win32 dialog. Its logic
// (protect/carrier_dialog.cpp) decides everything; this file only carries
// the window's messages to it and its requests to the window.
//
// The polling thread writes status lines and enables OK from its own
// thread. Those calls are stored under a lock and announced by a posted
// message, never sent: the dialog's thread may be waiting for the polling
// thread at that moment, and a sent message would then wait for ever. The
// announcement is posted before any command the thread posts afterwards,
// so the dialog sees the lines before it sees the OK they lead to.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/termination.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/keep_last_error.h"
#include "platform/win32/module.h"
#include "platform/win32/startup.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"
#include "zq/wipe.h"

namespace nc::platform::win32 {

namespace {

constexpr UINT kMessageFault = WM_USER + 10;  // 1034
constexpr UINT kMessageApply = WM_APP + 2;
constexpr UINT_PTR kTimerId = 1;
// The password box's characters read: 32, as the key takes them.
constexpr int kPasswordCharacters = 32;

class Win32CarrierWindow final : public CarrierWindow {
 public:
  explicit Win32CarrierWindow(CarrierDialogHandler& handler) : handler_(handler) {}

  CarrierDialogHandler& handler() { return handler_; }
  void Attach(HWND window) {
    window_ = window;
    thread_ = ::GetCurrentThreadId();
  }

  void SetText(int control, const char* text) override {
    std::wstring wide = Widen(text);
    if (OnDialogThread()) {
      ::SetDlgItemTextW(window_, control, wide.c_str());
      return;
    }
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back({control, std::move(wide), false, false});
    Announce();
  }
  void Enable(int control, bool enabled) override {
    if (OnDialogThread()) {
      ::EnableWindow(::GetDlgItem(window_, control), enabled);
      return;
    }
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back({control, std::wstring(), true, enabled});
    Announce();
  }
  void Focus(int control) override { ::SetFocus(::GetDlgItem(window_, control)); }
  void ReadPassword(char* buffer, std::size_t size) override {
    if (size == 0) return;
    buffer[0] = '\0';
    wchar_t typed[kPasswordCharacters + 1] = {};
    int length = ::GetDlgItemTextW(window_, kCarrierPassword, typed, kPasswordCharacters + 1);
    if (length > 0) {
      // A character code page 1251 lacks gives no password at all (never a
      // '?' in its place), as on the other platforms' dialogs.
      BOOL lossy = FALSE;
      int bytes = ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, typed, length, buffer,
                                        static_cast<int>(size - 1), nullptr, &lossy);
      if (bytes <= 0 || lossy) bytes = 0;
      buffer[bytes] = '\0';
      if (bytes > 0) ClearPasswordBox();
    }
    SecureWipe(typed, sizeof typed);
  }
  void Hide() override { ::ShowWindow(window_, SW_HIDE); }
  bool StartTimer(std::uint32_t periodMs) override {
    return ::SetTimer(window_, kTimerId, periodMs, nullptr) != 0;
  }
  void StopTimer() override { ::KillTimer(window_, kTimerId); }
  void End(int result) override { ::EndDialog(window_, result); }
  void PostCommand(int command) override {
    ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
  }
  void PostFault() override { ::PostMessageW(window_, kMessageFault, 0, 0); }
  void Beep(std::uint32_t type) override { ::MessageBeep(type); }

  // On the dialog's thread, at the announcement.
  void ApplyPending() {
    std::vector<Change> changes;
    {
      std::lock_guard<std::mutex> hold(lock_);
      changes.swap(pending_);
      announced_ = false;
    }
    for (const Change& change : changes) {
      if (change.enable) {
        ::EnableWindow(::GetDlgItem(window_, change.control), change.enabled);
      } else {
        ::SetDlgItemTextW(window_, change.control, change.text.c_str());
      }
    }
  }

 private:
  struct Change {
    int control;
    std::wstring text;
    bool enable;
    bool enabled;
  };

  bool OnDialogThread() const { return ::GetCurrentThreadId() == thread_; }
  // The password taken, the box forgets it: its text is overwritten in
  // place with as many blanks (the edit control reuses its buffer for a
  // text of the same length), then emptied.
  void ClearPasswordBox() {
    HWND box = ::GetDlgItem(window_, kCarrierPassword);
    int length = ::GetWindowTextLengthW(box);
    if (length > 0)
      ::SetWindowTextW(box, std::wstring(static_cast<std::size_t>(length), L' ').c_str());
    ::SetWindowTextW(box, L"");
  }
  // Under lock_.
  void Announce() {
    if (announced_) return;
    announced_ = ::PostMessageW(window_, kMessageApply, 0, 0) != 0;
  }

  CarrierDialogHandler& handler_;
  HWND window_ = nullptr;
  DWORD thread_ = 0;
  std::mutex lock_;
  std::vector<Change> pending_;
  bool announced_ = false;
};

Win32CarrierWindow* WindowOf(HWND window) {
  return reinterpret_cast<Win32CarrierWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

INT_PTR CALLBACK CarrierProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* carrier = reinterpret_cast<Win32CarrierWindow*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    carrier->Attach(window);
    carrier->handler().OnInit(*carrier);
    return FALSE;  // the logic has set the focus
  }
  Win32CarrierWindow* carrier = WindowOf(window);
  if (carrier == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const int command = LOWORD(wParam);
      carrier->handler().OnCommand(*carrier, command);
      return command == kCarrierOk || command == kCarrierCancel || command == kCarrierHelp;
    }
    case WM_TIMER:
      if (wParam != kTimerId) return FALSE;
      // Ctrl-C or a closing console asked the job to end: as Cancel.
      if (TerminationRequested()) {
        carrier->handler().OnCommand(*carrier, kCarrierCancel);
      } else {
        carrier->handler().OnTimer(*carrier);
      }
      return TRUE;
    case WM_HELP:
      return TRUE;
    case kMessageFault:
      carrier->handler().OnFault(*carrier);
      return TRUE;
    case kMessageApply:
      carrier->ApplyPending();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int RunCarrierDialogWindow(WindowHandle parent, CarrierDialogHandler& handler) {
  KeepLastError keep;
  InitCommonControlsOnce();
  Win32CarrierWindow window(handler);
  INT_PTR result = ::DialogBoxParamW(LibraryModule(), L"DLGHRD", static_cast<HWND>(parent),
                                     CarrierProc, reinterpret_cast<LPARAM>(&window));
  return result == 0 ? 0 : -1;
}

}  // namespace nc::platform::win32
