#include <cstdlib>
#include <cstring>

#include "platform/preset_password.h"
#include "platform/ui.h"

namespace nc::platform {

namespace {

class Headless final : public UiBackend {
 public:
  bool AskYesNo(WindowHandle, const char*, const char*) override { return false; }
  void ShowInfo(WindowHandle, const char*, const char*) override {}
};

UiBackend* g_override = nullptr;

UiBackend& DefaultUi() {
  const char* choice = std::getenv("NCCORE_UI");
  if (choice != nullptr) {
    if (std::strcmp(choice, "headless") == 0) return HeadlessUi();
    if (std::strcmp(choice, "terminal") == 0) return TerminalUi();
#ifdef _WIN32
    if (std::strcmp(choice, "win32") == 0) return Win32Ui();
#endif
  }
#ifdef _WIN32
  return Win32Ui();
#else
  return TerminalUi();
#endif
}

}  // namespace

int UiBackend::RunCarrierDialog(WindowHandle, CarrierDialogHandler& handler) {
  return PresetPasswordGiven() ? RunPresetPasswordDialog(handler) : -1;
}

UiBackend& HeadlessUi() {
  static Headless headless;
  return headless;
}

UiBackend& CurrentUi() { return g_override != nullptr ? *g_override : DefaultUi(); }

void SetUi(UiBackend* backend) { g_override = backend; }

bool ScriptedUi::AskYesNo(WindowHandle parent, const char* caption, const char* text) {
  shown.push_back({Shown::Question, caption, text, parent});
  std::size_t asked = 0;
  for (const Shown& s : shown) asked += s.kind == Shown::Question;
  return asked <= answers.size() && answers[asked - 1];
}

void ScriptedUi::ShowInfo(WindowHandle parent, const char* caption, const char* text) {
  shown.push_back({Shown::Info, caption, text, parent});
}

}  // namespace nc::platform
