// The carrier dialog's logic and its polling procedure.
//
// The dialog runs on the caller's thread inside the backend's modal loop;
// one polling thread per dialog runs the hardware readers. The thread talks
// to the dialog only through the window (status lines, OK enabled, posted
// commands and the fault message); the dialog talks to the thread only
// through the stop event. Ending the dialog signals the event and waits a
// moment for the thread; a thread still busy in a reader (a dongle's mutex
// may hold it for minutes) leaves the close pending, and the timer finishes
// it once the thread has ended. The thread is always joined, never left
// behind.
#include "protect/carrier_dialog.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "carriers/touch_memory.h"
#include "platform/exception_guard.h"
#include "platform/library_text.h"
#include "platform/ui.h"
#include "protect/factor_readers.h"
#include "protect/master_key.h"
#include "zq/wipe.h"

namespace nc::protect {

using platform::CarrierWindow;

namespace {

constexpr std::size_t kStepListSize = 512;

constexpr char kPasswordStep[] = "Ввести Ваш пароль";
constexpr char kNotRequired[] = "Не требуется";

// The hardware factors in the order of the steps and of the polling.
struct HardwareLine {
  std::uint32_t factor;
  int status;
  int label;
  const char* step;
  const char* attach;  // the status line until the carrier is read
  void (*poll)(CarrierAuthState&);
};
constexpr HardwareLine kHardware[] = {
    {kFactorTouchMemory, platform::kCarrierTmStatus, platform::kCarrierTmLabel,
     "Прикоснуться к считывателю прибором Touch Memory",
     "Присоедините прибор Touch Memory к считывателю", PollTouchMemory},
    {kFactorQuadra, platform::kCarrierQuadraStatus, platform::kCarrierQuadraLabel,
     "Присоединить ключ NorvexQuadra к разъему порта",
     "Присоедините ключ NorvexQuadra к разъему порта", PollQuadra},
    {kFactorActivator, platform::kCarrierActivatorStatus, platform::kCarrierActivatorLabel,
     "Присоединить ключ Activator/M к разъему порта",
     "Присоедините ключ Activator/M к разъему порта", PollActivator},
    {kFactorTessel, platform::kCarrierTesselStatus, platform::kCarrierTesselLabel,
     "Присоединить Tessel к разъему USB-порта", "Присоедините Tessel к разъему USB-порта",
     PollTessel},
};

void CloseTmSession(CarrierAuthState& state) {
  if (state.tmSession == 0) return;
  // The driver may fault here as anywhere else.
  (void)platform::RunGuarded(
      [](void* context) {
        carriers::TmCloseSession(static_cast<CarrierAuthState*>(context)->tmSession);
      },
      &state);
  state.tmSession = 0;
}

// ---- the polling procedure -----------------------------------------------------

// Waits on the stop event; true when the procedure must leave (the event is
// signalled, or there is none to wait on).
bool StopRequested(CarrierAuthState& state, std::uint32_t ms) {
  return state.stopEvent == nullptr || state.stopEvent->Wait(ms);
}

void Poll(void* context) {
  CarrierAuthState& state = *static_cast<CarrierAuthState*>(context);
  const bool silent = (state.noLogo & 1) != 0;
  const std::uint32_t wanted = state.code & kHardwareFactors;
  for (;;) {
    for (const HardwareLine& line : kHardware) {
      if ((wanted & line.factor) == 0 || (state.obtained.load() & line.factor) != 0) continue;
      line.poll(state);
      if (!silent && StopRequested(state, kPollWaitMs)) return;
    }
    if ((state.obtained.load() & wanted) == wanted) break;
    if (silent) {
      if (CarrierWindow* window = state.window.load())
        window->PostCommand(platform::kCarrierCancel);
      return;
    }
    if (StopRequested(state, kPollWaitMs)) return;
    if (CarrierWindow* window = state.window.load()) window->Beep(platform::kBeepSimple);
  }
  if (CarrierWindow* window = state.window.load()) {
    window->Enable(platform::kCarrierOk, true);
    // Nothing left for the user to give: the dialog ends by itself.
    if ((state.code & kFactorPassword) == 0) window->PostCommand(platform::kCarrierOk);
  }
}

// ---- the dialog --------------------------------------------------------------------

class CarrierDialog final : public platform::CarrierDialogHandler {
 public:
  explicit CarrierDialog(CarrierAuthState& state) : state_(state) {}
  CarrierDialog(const CarrierDialog&) = delete;
  CarrierDialog& operator=(const CarrierDialog&) = delete;

  // True once the logic has ended the dialog (the result is in the state).
  bool finished() const { return finished_; }

  void OnInit(CarrierWindow& window) override {
    const std::uint32_t code = state_.code;
    char steps[kStepListSize];
    ComposeStepList(code, steps, sizeof steps);
    if ((code & kFactorPassword) != 0) {
      window.Focus(platform::kCarrierPassword);
    } else {
      window.Enable(platform::kCarrierPassword, false);
      window.Enable(platform::kCarrierPasswordLabel, false);
      window.Focus(platform::kCarrierOk);
    }
    for (const HardwareLine& line : kHardware) {
      if ((code & line.factor) != 0) {
        window.SetText(line.status, platform::LibraryText(line.attach).c_str());
      } else {
        window.SetText(line.status, platform::LibraryText(kNotRequired).c_str());
        window.Enable(line.status, false);
        window.Enable(line.label, false);
      }
    }
    window.SetText(platform::kCarrierSteps, steps);
    state_.window.store(&window);
    state_.dialogResult = -1;

    if (!window.StartTimer(kDialogTimerMs)) {
      RequestEnd(window, -1);
      return;
    }
    state_.timer = 1;
    if ((code & kHardwareFactors) == 0) return;  // OK stays enabled
    window.Enable(platform::kCarrierOk, false);
    try {
      state_.stopEvent = std::make_unique<StopEvent>();
      CarrierAuthState* state = &state_;
      state_.pollingThread = std::thread([state] {
        PollCarriers(*state);
        state->pollingEnded.Signal();  // the thread's last act
      });
    } catch (...) {
      state_.stopEvent.reset();
      RequestEnd(window, -1);
    }
  }

  void OnCommand(CarrierWindow& window, int command) override {
    if (state_.closePending != 0) return;  // closing: nothing more to do
    switch (command) {
      case platform::kCarrierOk:
        Accept(window);
        break;
      case platform::kCarrierCancel:
        window.Hide();
        RequestEnd(window, -1);
        break;
      default:  // Help, and anything else: nothing
        break;
    }
  }

  void OnTimer(CarrierWindow& window) override {
    if (state_.closePending != 0 && state_.pollingEnded.Wait(kEndWaitMs)) {
      state_.closePending = 0;
      FinishClose(window);
    }
  }

  void OnFault(CarrierWindow& window) override { RequestEnd(window, -1); }

 private:
  void Accept(CarrierWindow& window) {
    // OK is disabled until every hardware factor is in; a click that comes
    // anyway is not taken.
    const std::uint32_t hardware = state_.code & kHardwareFactors;
    if ((state_.obtained.load() & hardware) != hardware) return;
    if ((state_.code & kFactorPassword) != 0 && (state_.obtained.load() & kFactorPassword) == 0) {
      char password[platform::kCarrierPasswordSize] = {};
      window.ReadPassword(password, sizeof password);
      password[sizeof password - 1] = '\0';
      if (password[0] == '\0') {
        window.Beep(platform::kBeepQuestion);
        window.Focus(platform::kCarrierPassword);
        return;
      }
      AddPasswordFactor(state_, password);
      SecureWipe(password, sizeof password);
    }
    RequestEnd(window, 0);
  }

  void RequestEnd(CarrierWindow& window, int result) {
    if (state_.closePending != 0) return;
    state_.dialogResult = result;
    if (state_.pollingThread.joinable()) {
      state_.stopEvent->Signal();
      if (!state_.pollingEnded.Wait(kEndWaitMs)) {
        state_.closePending = 1;  // the timer finishes it
        return;
      }
    }
    FinishClose(window);
  }

  void FinishClose(CarrierWindow& window) {
    if (state_.timer != 0) {
      window.StopTimer();
      state_.timer = 0;
    }
    StopCarrierPolling(state_);
    window.End(state_.dialogResult);
    state_.window.store(nullptr);
    finished_ = true;
  }

  CarrierAuthState& state_;
  bool finished_ = false;
};

}  // namespace

void ComposeStepList(std::uint32_t code, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  std::string list;
  unsigned number = 0;
  auto add = [&](std::uint32_t factor, const char* step) {
    if ((code & factor) == 0) return;
    // The Tessel step is always the last one: no new line after it.
    const char* format = factor == kFactorTessel ? "\t%u. %s" : "\t%u. %s\n";
    std::string text = platform::LibraryText(step);
    char line[256];
    std::snprintf(line, sizeof line, format, ++number, text.c_str());
    list += line;
  };
  add(kFactorPassword, kPasswordStep);
  for (const HardwareLine& line : kHardware) add(line.factor, line.step);
  std::size_t length = platform::CharacterBoundary(list.data(), list.size(), size - 1);
  std::memcpy(buffer, list.data(), length);
  buffer[length] = '\0';
}

bool RunPolling(CarrierAuthState& state) {
  if (platform::RunGuarded(Poll, &state)) return true;
  // A fault inside a reader: the session it had open is closed here, and
  // the dialog is told to end.
  CloseTmSession(state);
  if (CarrierWindow* window = state.window.load()) window->PostFault();
  return false;
}

void PollCarriers(CarrierAuthState& state) { (void)RunPolling(state); }

void StopCarrierPolling(CarrierAuthState& state) {
  if (state.pollingThread.joinable()) {
    if (state.stopEvent != nullptr) state.stopEvent->Signal();
    state.pollingThread.join();
  }
  state.stopEvent.reset();
  CloseTmSession(state);
}

int RunCarrierDialog(CarrierAuthState& state) {
  CarrierDialog dialog(state);
  (void)platform::CurrentUi().RunCarrierDialog(state.parent, dialog);
  if (dialog.finished()) return state.dialogResult;
  // The window went without the logic ending it (or never came).
  StopCarrierPolling(state);
  state.window.store(nullptr);
  return -1;
}

}  // namespace nc::protect
