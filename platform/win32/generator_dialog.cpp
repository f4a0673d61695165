// The long generators' progress windows ("DLGGOSCPROGRESS" and
// "DLGRSAKPROGRESS"): a stage caption and read-only fields, and a button
// that asks for the abort. The window lives on the caller's
// thread, which pumps it while it waits for the worker; the worker's
// updates are stored under a lock and announced by one posted message, so
// the worker never waits for the caller's thread and a closed window just
// drops the announcement.
#include <mutex>
#include <string>

#include "platform/win32/dialogs.h"
#include "platform/win32/keep_last_error.h"
#include "platform/win32/modeless_dialog.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform::win32 {

const GeneratorTemplate kGoscTemplate = {
    L"DLGGOSCPROGRESS", 1004, {1001, 1000, 1002, 1009, 0, 0, 0}};
const GeneratorTemplate kRsakTemplate = {L"DLGRSAKPROGRESS", 0, {0, 0, 0, 0, 1000, 1002, 1003}};

namespace {

constexpr UINT kMessageRefresh = WM_APP + 1;
constexpr int kTexts = kGeneratorFieldCount + 1;  // the fields, then the stage

struct GeneratorState {
  ProgressWord* word;
  const GeneratorTemplate* form;
  std::mutex lock;
  std::wstring texts[kTexts];
  bool changed[kTexts] = {};
  bool announced = false;
};

GeneratorState* StateOf(HWND window) {
  return reinterpret_cast<GeneratorState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

void Refresh(HWND window, GeneratorState& state) {
  std::wstring texts[kTexts];
  bool changed[kTexts] = {};
  {
    std::lock_guard<std::mutex> hold(state.lock);
    for (int i = 0; i < kTexts; ++i) {
      changed[i] = state.changed[i];
      if (changed[i]) texts[i] = state.texts[i];
      state.changed[i] = false;
    }
    state.announced = false;
  }
  for (int i = 0; i < kTexts; ++i) {
    if (!changed[i]) continue;
    int control =
        i < kGeneratorFieldCount ? state.form->fieldControls[i] : state.form->stageControl;
    if (control != 0) ::SetDlgItemTextW(window, control, texts[i].c_str());
  }
}

INT_PTR CALLBACK GeneratorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
      return TRUE;
    case kMessageRefresh:
      if (GeneratorState* state = StateOf(window)) Refresh(window, *state);
      return TRUE;
    case WM_COMMAND:
      // The button, or Escape (the caller's wait lets the dialog see its keys).
      if (LOWORD(wParam) == IDCANCEL) {
        GeneratorState* state = StateOf(window);
        CancelAndHide(window, state != nullptr ? state->word : nullptr);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

class GeneratorDialog final : public GeneratorView {
 public:
  GeneratorDialog(ProgressWord& word, const GeneratorTemplate& form) {
    state_.word = &word;
    state_.form = &form;
  }
  GeneratorDialog(const GeneratorDialog&) = delete;
  GeneratorDialog& operator=(const GeneratorDialog&) = delete;

  bool Create(WindowHandle parent) {
    if (!dialog_.Create(state_.form->name, parent, GeneratorProc,
                        reinterpret_cast<LPARAM>(&state_)))
      return false;
    window_ = dialog_.get();
    return true;
  }

  void SetStage(const char* caption) override { Store(kGeneratorFieldCount, caption); }
  void SetField(GeneratorField field, const char* text) override {
    Store(static_cast<int>(field), text);
  }

 private:
  void Store(int index, const char* text) {
    KeepLastError keep;
    bool announce = false;
    {
      std::lock_guard<std::mutex> hold(state_.lock);
      state_.texts[index] = Widen(text);
      state_.changed[index] = true;
      announce = !state_.announced;
      state_.announced = true;
    }
    if (announce && !::PostMessageW(window_, kMessageRefresh, 0, 0)) {
      std::lock_guard<std::mutex> hold(state_.lock);
      state_.announced = false;  // the next update tries again
    }
  }

  GeneratorState state_;
  ModelessDialog dialog_;  // after state_, which it uses until destroyed
  HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<GeneratorView> OpenGeneratorDialog(WindowHandle parent, ProgressWord& word,
                                                   const GeneratorTemplate& form) {
  auto dialog = std::make_unique<GeneratorDialog>(word, form);
  if (!dialog->Create(parent)) return nullptr;
  return dialog;
}

}  // namespace nc::platform::win32
