// The scripted user-interface backend, for tests: it records everything
// shown and plays scripted answers, clicks, typed passwords and cancels.
// Test support: linked into the tests, never into the shipped library.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace nc::platform {

// For tests: records everything shown and plays scripted answers.
class ScriptedUi final : public UiBackend {
 public:
  struct Shown {
    enum Kind { Question, Info } kind;
    std::string caption;
    std::string text;
    WindowHandle parent;
  };
  bool AskYesNo(WindowHandle parent, const char* caption, const char* text) override;
  void ShowInfo(WindowHandle parent, const char* caption, const char* text) override;

  // Answers given to the questions in order; once used up, "no".
  std::vector<bool> answers;
  std::vector<Shown> shown;

  // Progress windows: every event in order. The generator's updates come
  // from the worker thread; read the list once the job has returned.
  struct ProgressEvent {
    enum Kind {
      Open,         // a file job's window
      Caption,      // text
      Description,  // id = text id, text = the formatted description
      Percent,      // percent
      Close,
      GeneratorOpen,  // a generator's window
      Stage,          // text
      Field,          // id = GeneratorField, text
      GeneratorClose,
      Cancel,  // the cancel button pressed
    } kind;
    std::string text;
    int id = 0;
    unsigned percent = 0;
    WindowHandle parent = nullptr;
  };
  std::unique_ptr<ProgressView> OpenProgress(WindowHandle parent, ProgressWord& word) override;
  std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle parent, ProgressWord& word,
                                               GeneratorKind kind) override;
  // Called after each recorded event, on the thread that caused it; when it
  // returns true the cancel button is pressed right then.
  std::function<bool(const ProgressEvent&)> cancelWhen;
  // Make the window creation fail.
  bool refuseProgress = false;
  bool refuseGenerator = false;
  std::vector<ProgressEvent> progress;
  // Records `event` and presses cancel in `word` when cancelWhen says so.
  void RecordProgress(const ProgressEvent& event, ProgressWord& word);

  // The carrier dialog: every call of the logic on the window, in order,
  // and the timer's ticks.
  struct CarrierEvent {
    enum Kind {
      Open,    // the window is shown; parent
      Text,    // control, text
      Enable,  // control, enabled
      Focus,   // control
      Beep,    // value: the sound
      Hide,
      Timer,  // a tick, before the logic sees it
      End,    // value: the result
    } kind;
    int control = 0;
    std::string text;
    bool enabled = false;
    std::int64_t value = 0;
    // False when the call came from another thread than the dialog's (the
    // polling thread).
    bool dialogThread = true;
    WindowHandle parent = nullptr;
  };
  // What the script does after an event: replace the password box's text
  // (UTF-8, as typed; the box gives it to the logic in code page 1251, as
  // the terminal does), then press a button (kCarrierOk, kCarrierCancel,
  // kCarrierHelp; 0: none). A disabled box or button ignores it.
  struct CarrierAction {
    bool type = false;
    std::string text;
    int press = 0;
  };
  int RunCarrierDialog(WindowHandle parent, CarrierDialogHandler& handler) override;
  // Called after each recorded carrier event, on the thread that caused it,
  // with no lock held (it may press buttons, change simulated devices or
  // block).
  std::function<CarrierAction(const CarrierEvent&)> carrierScript;
  bool refuseCarrier = false;     // the dialog cannot be shown
  bool failCarrierTimer = false;  // its timer cannot be started
  // The events so far (the polling thread adds to them while a dialog runs).
  std::vector<CarrierEvent> CarrierEvents();

  ScriptedUi();
  ~ScriptedUi() override;

 private:
  std::mutex progressLock_;
  std::mutex carrierLock_;
  std::vector<CarrierEvent> carrier_;
  class CarrierView;
  std::unique_ptr<CarrierView> carrierView_;
};

// A carrier script that types `password` and presses OK as the window opens.
inline std::function<ScriptedUi::CarrierAction(const ScriptedUi::CarrierEvent&)> TypePassword(
    std::string password) {
  return [password](const ScriptedUi::CarrierEvent& e) {
    if (e.kind != ScriptedUi::CarrierEvent::Open) return ScriptedUi::CarrierAction{};
    return ScriptedUi::CarrierAction{true, password, kCarrierOk};
  };
}

}  // namespace nc::platform
