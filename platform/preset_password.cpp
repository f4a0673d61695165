// Preset password lines and the carrier dialog that uses them without a
// window.
#include "platform/preset_password.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/carrier_loop.h"
#include "zq/wipe.h"

namespace nc::platform {

bool PresetPasswordGiven() { return PresetDescriptorOpen(); }

bool PresetEncoding(LineEncoding* encoding) {
  const char* name = std::getenv("NCCORE_PASSWORD_ENCODING");
  if (name == nullptr) {
#ifdef _WIN32
    *encoding = LineEncoding::CodePage1251;
#else
    *encoding = LineEncoding::Utf8;
#endif
    return true;
  }
  if (std::strcmp(name, "utf-8") == 0) {
    *encoding = LineEncoding::Utf8;
    return true;
  }
  if (std::strcmp(name, "cp1251") == 0) {
    *encoding = LineEncoding::CodePage1251;
    return true;
  }
  return false;
}

bool ReadPresetPassword(PasswordBox& box) {
  char line[kPresetLineLimit];
  std::size_t length = 0;
  unsigned char byte = 0;
  while (length < sizeof line && ReadPresetByte(&byte) == 1 && byte != '\n') {
    line[length++] = static_cast<char>(byte);
  }
  if (length > 0 && line[length - 1] == '\r') --length;
  LineEncoding encoding = LineEncoding::Utf8;
  bool usable =
      length > 0 && std::memchr(line, '\0', length) == nullptr && PresetEncoding(&encoding);
  if (usable) {
    box.SetLine(line, length, encoding);
  } else {
    box.Clear();
  }
  SecureWipe(line, sizeof line);
  SecureWipe(&byte, sizeof byte);
  return usable;
}

namespace {

class PresetView final : public CarrierWindow {
 public:
  int Run(CarrierDialogHandler& handler) {
    return loop_.Run(handler, *this, [this] { AfterInit(); });
  }

  void SetText(int, const char*) override {}
  void Enable(int control, bool enabled) override {
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (control == kCarrierOk) okEnabled_ = enabled;
      if (control == kCarrierPassword) passwordEnabled_ = enabled;
    }
    // OK enabled by the polling thread: the password is due now.
    if (control == kCarrierOk && enabled) loop_.PostAction([this] { TypeAndPress(); });
  }
  // The focus back in the password box after the line was given: the
  // dialog refused it (empty once converted, or a character the key cannot
  // be made from). No one is there to type again.
  void Focus(int control) override {
    if (control == kCarrierPassword && typed_) loop_.PostCommand(kCarrierCancel);
  }
  void ReadPassword(char* buffer, std::size_t size) override { box_.Read(buffer, size); }
  void Hide() override {}
  bool StartTimer(std::uint32_t periodMs) override { return loop_.StartTimer(periodMs); }
  void StopTimer() override { loop_.StopTimer(); }
  void End(int result) override {
    box_.Clear();
    loop_.End(result);
  }
  void PostCommand(int command) override { loop_.PostCommand(command); }
  void PostFault() override { loop_.PostFault(); }
  // A simple beep ends a polling round in which a carrier was missing: no
  // one is there to present it, so the dialog is cancelled rather than
  // polling for ever. Any thread (the polling thread beeps).
  void Beep(std::uint32_t type) override {
    if (type == kBeepSimple && !gaveUp_.exchange(true)) loop_.PostCommand(kCarrierCancel);
  }

 private:
  std::pair<bool, bool> State() {
    std::lock_guard<std::mutex> lock(lock_);
    return {okEnabled_, passwordEnabled_};
  }
  void AfterInit() {
    auto [ok, password] = State();
    if (!ok) return;  // hardware first; Enable(OK) brings us back
    if (password) {
      TypeAndPress();
    } else {
      loop_.PostCommand(kCarrierOk);  // nothing to give: accept
    }
  }
  // One line per dialog.
  void TypeAndPress() {
    auto [ok, password] = State();
    // After giving up (a round missed a carrier) the Cancel is on its way:
    // a line taken now would be lost to the next dialog that asks.
    if (!ok || !password || typed_ || gaveUp_.load()) return;
    typed_ = true;
    loop_.PostCommand(ReadPresetPassword(box_) ? kCarrierOk : kCarrierCancel);
  }

  CarrierLoop loop_;
  PasswordBox box_;
  std::mutex lock_;
  bool okEnabled_ = true;
  bool passwordEnabled_ = true;
  bool typed_ = false;  // the loop's thread only
  std::atomic<bool> gaveUp_{false};
};

}  // namespace

int RunPresetPasswordDialog(CarrierDialogHandler& handler) {
  // On the heap: should a fault abandon the loop, the polling thread may
  // still write to the window until it is stopped.
  auto view = std::make_unique<PresetView>();
  return view->Run(handler);
}

}  // namespace nc::platform
