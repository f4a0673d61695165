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
    // The text backend: the terminal, or the console on Windows.
    if (std::strcmp(choice, "terminal") == 0 || std::strcmp(choice, "console") == 0)
      return TerminalUi();
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

}  // namespace nc::platform
