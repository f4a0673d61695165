// The scripted backend's carrier dialog: records every call the logic makes
// on the window, with the thread it came from, and plays the test's script
// (typing into the password box, pressing buttons) after each event. A
// disabled button or box ignores the script, as a real one ignores clicks.
#include <map>

#include "platform/carrier_loop.h"
#include "platform/password_box.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::platform {

using Event = ScriptedUi::CarrierEvent;

namespace {
Event Make(Event::Kind kind) {
  Event event{};
  event.kind = kind;
  return event;
}
}  // namespace

class ScriptedUi::CarrierView final : public CarrierWindow {
 public:
  explicit CarrierView(ScriptedUi& ui) : ui_(ui) {}

  int Run(WindowHandle parent, CarrierDialogHandler& handler) {
    Event open = Make(Event::Open);
    open.parent = parent;
    Record(open, true);
    return loop_.Run(handler, *this, {}, [this] { Record(Make(Event::Timer)); });
  }

  void SetText(int control, const char* text) override {
    Event event = Make(Event::Text);
    event.control = control;
    event.text = text != nullptr ? text : "";
    Record(event);
  }
  void Enable(int control, bool enabled) override {
    {
      std::lock_guard<std::mutex> lock(lock_);
      disabled_[control] = !enabled;
    }
    Event event = Make(Event::Enable);
    event.control = control;
    event.enabled = enabled;
    Record(event);
  }
  void Focus(int control) override {
    Event event = Make(Event::Focus);
    event.control = control;
    Record(event);
  }
  void ReadPassword(char* buffer, std::size_t size) override { box_.Read(buffer, size); }
  void Hide() override { Record(Make(Event::Hide)); }
  bool StartTimer(std::uint32_t periodMs) override {
    return !ui_.failCarrierTimer && loop_.StartTimer(periodMs);
  }
  void StopTimer() override { loop_.StopTimer(); }
  void End(int result) override {
    Event event = Make(Event::End);
    event.value = result;
    Record(event);
    loop_.End(result);
  }
  void PostCommand(int command) override { loop_.PostCommand(command); }
  void PostFault() override { loop_.PostFault(); }
  void Beep(std::uint32_t type) override {
    Event event = Make(Event::Beep);
    event.value = type;
    Record(event);
  }

 private:
  bool Enabled(int control) {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = disabled_.find(control);
    return found == disabled_.end() || !found->second;
  }

  void Record(Event event) { Record(event, loop_.OnLoopThread()); }
  void Record(Event event, bool dialogThread) {
    event.dialogThread = dialogThread;
    std::function<CarrierAction(const CarrierEvent&)> script;
    {
      std::lock_guard<std::mutex> lock(ui_.carrierLock_);
      ui_.carrier_.push_back(event);
      script = ui_.carrierScript;
    }
    if (!script) return;
    CarrierAction action = script(event);
    if (action.type && Enabled(kCarrierPassword)) {
      box_.SetTyped(action.text.data(), action.text.size());
    }
    if (action.press != 0 && Enabled(action.press)) loop_.PostCommand(action.press);
  }

  ScriptedUi& ui_;
  CarrierLoop loop_;
  PasswordBox box_;
  std::mutex lock_;
  std::map<int, bool> disabled_;
};

ScriptedUi::ScriptedUi() = default;
ScriptedUi::~ScriptedUi() = default;

int ScriptedUi::RunCarrierDialog(WindowHandle parent, CarrierDialogHandler& handler) {
  if (refuseCarrier) return -1;
  // Kept until the next dialog: should a fault abandon the loop, the
  // polling thread may still write to the window until it is stopped.
  carrierView_ = std::make_unique<CarrierView>(*this);
  return carrierView_->Run(parent, handler);
}

std::vector<ScriptedUi::CarrierEvent> ScriptedUi::CarrierEvents() {
  std::lock_guard<std::mutex> lock(carrierLock_);
  return carrier_;
}

}  // namespace nc::platform
