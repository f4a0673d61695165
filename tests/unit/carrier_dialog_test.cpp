// The carrier dialog and AcquireMasterKey through the scripted window and
// the carrier simulators: what the window shows for each code, OK released
// once the hardware is read, the password taken on OK (an empty one, or
// one the code page cannot hold, refused), the dialog ending by itself,
// Cancel (also while a dongle reader is stuck on its mutex: the close waits
// for a later timer tick), silent mode, faults inside a carrier driver and
// on the dialog's own thread.
//
// Master keys are checked against known answers made with
// `openssl enc -des-cbc -nopad -iv 4b4c424e56527a7a` (as in master_key_test).
#include "protect/carrier_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "carriers/quadra.h"
#include "hex_bytes.h"
#include "platform/last_error.h"
#include "platform/ui.h"
#include "protect/factor_readers.h"
#include "protect/master_key.h"
#include "protect_test_support.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::protect {
namespace {

using platform::ScriptedUi;
using Event = ScriptedUi::CarrierEvent;
using Action = ScriptedUi::CarrierAction;
using test::Key8;
using test::Native;
using test::PasswordKeyOf;
namespace ui = platform;

constexpr std::uint32_t kAllFactors = 0x1F;

Key8 KeyOfHex(const char* hex) {
  Key8 key{};
  std::vector<std::uint8_t> bytes = test::Hex(hex);
  std::copy(bytes.begin(), bytes.end(), key.begin());
  return key;
}

// "correct horse battery staple": the 33-byte buffer enciphered under its
// first 8 bytes, the first 32 bytes folded.
const char kPassword[] = "correct horse battery staple";
const Key8 kPasswordKey = KeyOfHex("a4d960a2e37750a1");
// The Touch Memory device of ProtectTest (02 1c b8 01 00 00 00 a2),
// enciphered under itself.
const Key8 kTmKey = KeyOfHex("8b3ce3741a792f80");

const std::uint8_t kChallenge[4] = {0x11, 0x22, 0x33, 0x44};
int g_parent;  // its address stands for the caller's window

// A NorvexQuadra dongle of ours: the master-key record from cell 12.
carriers::SimQuadraDongle QuadraDongle() {
  carriers::SimQuadraDongle dongle;
  dongle.cells[0] = 0x5A5A;
  dongle.cells[8] = 3;
  dongle.cells[9] = 0x0100;
  for (int i = 0; i < 8; ++i) dongle.cells[12 + i] = static_cast<std::uint16_t>(0x1000 * i + 7);
  return dongle;
}

const std::array<std::uint8_t, 8> kSerial = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

carriers::SimTesselToken Token() {
  std::array<std::uint8_t, 36> body{};
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(0x30 + i);
  const std::string hashKey = "Tessel key A";
  return carriers::MakeTesselToken(kSerial, body,
                                   std::vector<std::uint8_t>(hashKey.begin(), hashKey.end()));
}

Action Press(int button) {
  Action action;
  action.press = button;
  return action;
}

Action TypeAndPress(const std::string& text, int button) {
  Action action;
  action.type = true;
  action.text = text;
  action.press = button;
  return action;
}

class CarrierDialogTest : public test::ProtectTest {
 protected:
  CarrierDialogTest() { platform::SetUi(&ui_); }
  ~CarrierDialogTest() override { platform::SetUi(nullptr); }

  // AcquireMasterKey with the scripted window; the key and the events are
  // kept for the test. Checks what holds for every call: count 2 in the
  // out block, the last error 0 or 1326.
  int Acquire(std::uint32_t code, int noLogo = 0) {
    MasterKeyBlock out;
    out.count = 0;
    std::memset(out.key, 0x55, sizeof out.key);
    platform::SetLastErrorCode(12345);
    int result = AcquireMasterKey(&g_parent, code, noLogo, kChallenge, 4, &out);
    EXPECT_EQ(out.count, 2u);
    EXPECT_EQ(platform::GetLastErrorCode(), result == 1 ? 0u : platform::kErrorLogonFailure);
    std::memcpy(key_.data(), out.key, 8);
    events_ = ui_.CarrierEvents();
    return result;
  }

  std::vector<Event> All(Event::Kind kind) const {
    std::vector<Event> out;
    for (const Event& e : events_)
      if (e.kind == kind) out.push_back(e);
    return out;
  }
  std::vector<std::string> TextsOf(int control) const {
    std::vector<std::string> out;
    for (const Event& e : events_)
      if (e.kind == Event::Text && e.control == control) out.push_back(e.text);
    return out;
  }
  // Index of the first event of `kind` (after `from`), or events_.size().
  std::size_t Find(Event::Kind kind, std::size_t from = 0) const {
    for (std::size_t i = from; i < events_.size(); ++i)
      if (events_[i].kind == kind) return i;
    return events_.size();
  }
  std::vector<int> Ends() const {
    std::vector<int> out;
    for (const Event& e : All(Event::End)) out.push_back(static_cast<int>(e.value));
    return out;
  }
  int Beeps(std::uint32_t sound) const {
    int n = 0;
    for (const Event& e : All(Event::Beep)) n += e.value == sound;
    return n;
  }
  // True when the polling thread showed up in the window.
  bool PollingThreadSeen() const {
    return std::any_of(events_.begin(), events_.end(),
                       [](const Event& e) { return !e.dialogThread; });
  }

  ScriptedUi ui_;
  std::vector<Event> events_;
  Key8 key_{};
};

// ---- what the window shows ----------------------------------------------------------

struct WindowSetup {
  const char* name;
  std::uint32_t code;
  const char* steps;
  std::set<int> disabled;  // by the set-up
  int focus;
};

const std::string kStepPassword = "Ввести Ваш пароль";
const std::string kStepTm = "Прикоснуться к считывателю прибором Touch Memory";
const std::string kStepQuadra = "Присоединить ключ NorvexQuadra к разъему порта";
const std::string kStepActivator = "Присоединить ключ Activator/M к разъему порта";
const std::string kStepTessel = "Присоединить Tessel к разъему USB-порта";

const int kTmLine[] = {ui::kCarrierTmStatus, ui::kCarrierTmLabel};
const int kQuadraLine[] = {ui::kCarrierQuadraStatus, ui::kCarrierQuadraLabel};
const int kActivatorLine[] = {ui::kCarrierActivatorStatus, ui::kCarrierActivatorLabel};
const int kTesselLine[] = {ui::kCarrierTesselStatus, ui::kCarrierTesselLabel};

TEST_F(CarrierDialogTest, TheWindowShowsTheRequestedStepsAndLines) {
  const std::set<int> password = {ui::kCarrierPassword, ui::kCarrierPasswordLabel};
  auto plus = [](std::set<int> a, std::initializer_list<int> b) {
    a.insert(b);
    return a;
  };
  const WindowSetup setups[] = {
      {"password only",
       kFactorPassword,
       "\t1. Ввести Ваш пароль\n",
       {ui::kCarrierTmStatus, ui::kCarrierTmLabel, ui::kCarrierQuadraStatus,
        ui::kCarrierQuadraLabel, ui::kCarrierActivatorStatus, ui::kCarrierActivatorLabel,
        ui::kCarrierTesselStatus, ui::kCarrierTesselLabel},
       ui::kCarrierPassword},
      {"Touch Memory only", kFactorTouchMemory,
       "\t1. Прикоснуться к считывателю прибором Touch Memory\n",
       plus(password, {ui::kCarrierOk, ui::kCarrierQuadraStatus, ui::kCarrierQuadraLabel,
                       ui::kCarrierActivatorStatus, ui::kCarrierActivatorLabel,
                       ui::kCarrierTesselStatus, ui::kCarrierTesselLabel}),
       ui::kCarrierOk},
      {"Touch Memory and Tessel", kFactorTouchMemory | kFactorTessel,
       "\t1. Прикоснуться к считывателю прибором Touch Memory\n"
       "\t2. Присоединить Tessel к разъему USB-порта",
       plus(password, {ui::kCarrierOk, ui::kCarrierQuadraStatus, ui::kCarrierQuadraLabel,
                       ui::kCarrierActivatorStatus, ui::kCarrierActivatorLabel}),
       ui::kCarrierOk},
      {"password and NorvexQuadra",
       kFactorPassword | kFactorQuadra,
       "\t1. Ввести Ваш пароль\n\t2. Присоединить ключ NorvexQuadra к разъему порта\n",
       {ui::kCarrierOk, ui::kCarrierTmStatus, ui::kCarrierTmLabel, ui::kCarrierActivatorStatus,
        ui::kCarrierActivatorLabel, ui::kCarrierTesselStatus, ui::kCarrierTesselLabel},
       ui::kCarrierPassword},
      {"all five",
       kAllFactors,
       "\t1. Ввести Ваш пароль\n"
       "\t2. Прикоснуться к считывателю прибором Touch Memory\n"
       "\t3. Присоединить ключ NorvexQuadra к разъему порта\n"
       "\t4. Присоединить ключ Activator/M к разъему порта\n"
       "\t5. Присоединить Tessel к разъему USB-порта",
       {ui::kCarrierOk},
       ui::kCarrierPassword},
  };
  const struct {
    std::uint32_t factor;
    int status;
    const char* attach;
  } lines[] = {
      {kFactorTouchMemory, ui::kCarrierTmStatus, "Присоедините прибор Touch Memory к считывателю"},
      {kFactorQuadra, ui::kCarrierQuadraStatus, "Присоедините ключ NorvexQuadra к разъему порта"},
      {kFactorActivator, ui::kCarrierActivatorStatus,
       "Присоедините ключ Activator/M к разъему порта"},
      {kFactorTessel, ui::kCarrierTesselStatus, "Присоедините Tessel к разъему USB-порта"},
  };
  for (const WindowSetup& s : setups) {
    SCOPED_TRACE(s.name);
    // Cancelled at once: the set-up is everything the window saw before.
    ScriptedUi fresh;
    fresh.carrierScript = [](const Event& e) {
      return e.kind == Event::Open ? Press(ui::kCarrierCancel) : Action{};
    };
    platform::SetUi(&fresh);
    MasterKeyBlock out;
    EXPECT_EQ(AcquireMasterKey(&g_parent, s.code, 0, kChallenge, 4, &out), 0);
    platform::SetUi(&ui_);
    std::vector<Event> events = fresh.CarrierEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].kind, Event::Open);
    EXPECT_EQ(events[0].parent, &g_parent);
    std::set<int> disabled;
    std::vector<int> focus;
    std::string steps;
    std::map<int, std::string> status;
    for (std::size_t i = 1; i < events.size() && events[i].kind != Event::Hide; ++i) {
      const Event& e = events[i];
      if (!e.dialogThread) continue;  // the polling thread at work already
      if (e.kind == Event::Enable && !e.enabled) disabled.insert(e.control);
      if (e.kind == Event::Focus) focus.push_back(e.control);
      if (e.kind == Event::Text && e.control == ui::kCarrierSteps) steps = e.text;
      if (e.kind == Event::Text && e.control != ui::kCarrierSteps && !status.count(e.control))
        status[e.control] = e.text;
    }
    EXPECT_EQ(steps, Native(s.steps));
    EXPECT_EQ(disabled, s.disabled);
    EXPECT_EQ(focus, std::vector<int>{s.focus});
    for (const auto& line : lines) {
      EXPECT_EQ(status[line.status],
                Native((s.code & line.factor) != 0 ? line.attach : "Не требуется"))
          << line.status;
    }
  }
}

TEST(ComposeStepList, CutToTheBufferWithoutSplittingACharacter) {
  const std::string full = Native("\t1. " + kStepPassword + "\n\t2. " + kStepTessel);
  for (std::size_t size : {std::size_t{1}, std::size_t{5}, std::size_t{6}, std::size_t{7},
                           full.size(), full.size() + 1, std::size_t{512}}) {
    std::vector<char> buffer(size + 1, '#');
    ComposeStepList(kFactorPassword | kFactorTessel, buffer.data(), size);
    std::string got(buffer.data());
    EXPECT_EQ(buffer[size], '#') << size;  // nothing written past the buffer
    EXPECT_LE(got.size(), size - 1);
    EXPECT_EQ(full.compare(0, got.size(), got), 0) << size;
    EXPECT_TRUE(test::IsCharacterBoundary(full, got.size())) << size;
    if (size > full.size()) {
      EXPECT_EQ(got, full);
    }
  }
}

// ---- ending through OK -----------------------------------------------------------------

TEST_F(CarrierDialogTest, PasswordOnlyNeedsNoThreadAndOkWorksAtOnce) {
  ui_.carrierScript = [](const Event& e) {
    return e.kind == Event::Open ? TypeAndPress(kPassword, ui::kCarrierOk) : Action{};
  };
  EXPECT_EQ(Acquire(kFactorPassword), 1);
  EXPECT_EQ(key_, kPasswordKey);
  EXPECT_EQ(Ends(), std::vector<int>{0});
  EXPECT_FALSE(PollingThreadSeen());
  EXPECT_EQ(All(Event::Hide).size(), 0u);
}

TEST_F(CarrierDialogTest, TouchMemoryOnlyEndsByItselfOnceTheDeviceIsRead) {
  EXPECT_EQ(Acquire(kFactorTouchMemory), 1);
  EXPECT_EQ(key_, kTmKey);
  EXPECT_EQ(Ends(), std::vector<int>{0});
  // OK came back from the polling thread after the device was read.
  std::vector<Event> enables;
  for (const Event& e : All(Event::Enable))
    if (e.control == ui::kCarrierOk) enables.push_back(e);
  ASSERT_EQ(enables.size(), 2u);
  EXPECT_FALSE(enables[0].enabled);
  EXPECT_TRUE(enables[1].enabled);
  EXPECT_FALSE(enables[1].dialogThread);
  EXPECT_EQ(TextsOf(ui::kCarrierTmStatus).back(), "OK");
  EXPECT_EQ(tm_.vtmd().openSessions(), 0);
}

TEST_F(CarrierDialogTest, PasswordAndTesselWaitForOkAndRefuseAnEmptyPassword) {
  devices_.tessel = {Token()};
  ASSERT_EQ(Acquire(kFactorTessel, 1), 1);  // the token's contribution alone
  const Key8 tesselKey = key_;
  ASSERT_NE(tesselKey, Key8{});

  // OK pressed with the box empty as soon as it is enabled; then the
  // password typed and OK again.
  ui_.carrierScript = [](const Event& e) {
    if (e.kind == Event::Enable && e.control == ui::kCarrierOk && e.enabled)
      return Press(ui::kCarrierOk);
    if (e.kind == Event::Beep && e.value == ui::kBeepQuestion)
      return TypeAndPress(kPassword, ui::kCarrierOk);
    return Action{};
  };
  EXPECT_EQ(Acquire(kFactorPassword | kFactorTessel), 1);
  EXPECT_EQ(key_, test::Xor(kPasswordKey, tesselKey));
  EXPECT_EQ(Ends(), std::vector<int>{0});
  EXPECT_EQ(Beeps(ui::kBeepQuestion), 1);
  EXPECT_EQ(Beeps(ui::kBeepSimple), 0);  // the token was there at once
  // The refusal: a beep, the focus back in the box, the dialog still open.
  std::size_t beep = Find(Event::Beep);
  ASSERT_LT(beep + 1, events_.size());
  EXPECT_TRUE(events_[beep].dialogThread);
  EXPECT_EQ(events_[beep + 1].kind, Event::Focus);
  EXPECT_EQ(events_[beep + 1].control, ui::kCarrierPassword);
  EXPECT_LT(beep, Find(Event::End));
  // OK was released only after the token's line said so.
  std::size_t tesselOk = events_.size(), okEnabled = events_.size();
  for (std::size_t i = 0; i < events_.size(); ++i) {
    const Event& e = events_[i];
    if (e.kind == Event::Text && e.control == ui::kCarrierTesselStatus && e.text == "OK")
      tesselOk = std::min(tesselOk, i);
    if (e.kind == Event::Enable && e.control == ui::kCarrierOk && e.enabled)
      okEnabled = std::min(okEnabled, i);
  }
  EXPECT_LT(tesselOk, okEnabled);
  EXPECT_LT(okEnabled, events_.size());
}

TEST_F(CarrierDialogTest, TypedPasswordsReachTheKeyAsCodePage1251CutTo32Bytes) {
  const struct {
    const char* typed;  // UTF-8
    std::string bytes;  // what the key is made from
  } cases[] = {
      {"пароль", "\xEF\xE0\xF0\xEE\xEB\xFC"},
      {"Ёё№ «»", "\xA8\xB8\xB9 \xAB\xBB"},
      {"a€", "a\x88"},
      {"абвгдежзийклмнопрстуфхцчшщъыьэюяабвгдеж",
       "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
       "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    std::string typed = c.typed;
    ui_.carrierScript = [typed](const Event& e) {
      return e.kind == Event::Open ? TypeAndPress(typed, ui::kCarrierOk) : Action{};
    };
    ASSERT_EQ(Acquire(kFactorPassword), 1);
    EXPECT_EQ(key_, PasswordKeyOf(c.bytes));
  }
}

TEST_F(CarrierDialogTest, APasswordTheCodePageCannotHoldIsRefusedLikeAnEmptyOne) {
  // Were such characters made '?', these would all open the key of "???????".
  for (const char* typed : {"κωδικός", "ξένοςφί", "пароль ä", "\xC0\200abc", "abc\xD0"}) {
    SCOPED_TRACE(typed);
    std::string first = typed;
    ui_.carrierScript = [first](const Event& e) {
      if (e.kind == Event::Open) return TypeAndPress(first, ui::kCarrierOk);
      if (e.kind == Event::Beep && e.value == ui::kBeepQuestion)
        return TypeAndPress("???????", ui::kCarrierOk);
      return Action{};
    };
    const std::size_t before = ui_.CarrierEvents().size();  // earlier dialogs' events
    ASSERT_EQ(Acquire(kFactorPassword), 1);
    EXPECT_EQ(key_, PasswordKeyOf("???????"));
    // One refusal: the question beep, the focus back in the box.
    std::size_t beep = Find(Event::Beep, before);
    ASSERT_LT(beep + 1, events_.size());
    EXPECT_EQ(events_[beep].value, ui::kBeepQuestion);
    EXPECT_EQ(Find(Event::Beep, beep + 1), events_.size());
    EXPECT_EQ(events_[beep + 1].kind, Event::Focus);
    EXPECT_EQ(events_[beep + 1].control, ui::kCarrierPassword);
  }
}

// ---- polling goes on; Cancel -------------------------------------------------------------

TEST_F(CarrierDialogTest, PollingBeepsOncePerRoundUntilTheDeviceComesAndHelpDoesNothing) {
  tm_.SetDevices({});
  int beeps = 0;
  carriers::SimulatedTouchMemory* tm = &tm_;
  ui_.carrierScript = [&beeps, tm](const Event& e) {
    if (e.kind == Event::Open) return Press(ui::kCarrierHelp);
    if (e.kind == Event::Beep && e.value == ui::kBeepSimple && ++beeps == 3)
      tm->SetDevices({kTmDevice});  // the device comes after three rounds
    return Action{};
  };
  EXPECT_EQ(Acquire(kFactorTouchMemory), 1);
  EXPECT_EQ(key_, kTmKey);
  EXPECT_EQ(Ends(), std::vector<int>{0});
  EXPECT_GE(Beeps(ui::kBeepSimple), 3);
  for (const Event& e : All(Event::Beep)) EXPECT_FALSE(e.dialogThread);
  // The missing device's line: set up by the dialog, written once by the
  // reader however long the device is missing, then "OK".
  const std::string attach = Native("Присоедините прибор Touch Memory к считывателю");
  std::vector<std::pair<std::string, bool>> lines;
  for (const Event& e : All(Event::Text))
    if (e.control == ui::kCarrierTmStatus) lines.push_back({e.text, e.dialogThread});
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, bool>>{
                       {attach, true}, {attach, false}, {"OK", false}}));
  EXPECT_EQ(tm_.switches().Calls("vtmd.read_rom"), beeps + 1);
}

TEST_F(CarrierDialogTest, CancelHidesTheWindowAndFails) {
  tm_.SetDevices({});
  ui_.carrierScript = [](const Event& e) {
    return e.kind == Event::Beep && e.value == ui::kBeepSimple ? Press(ui::kCarrierCancel)
                                                               : Action{};
  };
  EXPECT_EQ(Acquire(kFactorTouchMemory | kFactorPassword), 0);
  EXPECT_EQ(key_, Key8{});
  EXPECT_EQ(Ends(), std::vector<int>{-1});
  EXPECT_LT(Find(Event::Hide), Find(Event::End));
  EXPECT_EQ(tm_.vtmd().openSessions(), 0);
}

// A test clock whose sleeps on other threads than the dialog's block until
// the test opens the gate: the polling thread stays stuck inside its first
// wait (a dongle reader waiting for the dongle's mutex).
class GateClock : public platform::InstantClock {
 public:
  void SleepMs(std::uint32_t ms) override {
    if (std::this_thread::get_id() != dialog_) {
      std::unique_lock<std::mutex> lock(mutex_);
      stuck_ = true;
      opened_.wait(lock, [this] { return open_; });
    }
    InstantClock::SleepMs(ms);
  }
  bool stuck() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stuck_;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }

 private:
  const std::thread::id dialog_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::condition_variable opened_;
  bool stuck_ = false;
  bool open_ = false;
};

TEST_F(CarrierDialogTest, CancelWhileADongleReaderWaitsForItsMutexClosesOnALaterTick) {
  test::MutexHolder holder(carriers::kQuadraMutexName);  // another user of the dongle
  ASSERT_TRUE(holder.held());
  GateClock gate;
  platform::ScopedClock useGate(&gate);
  struct Script {
    bool cancelled = false;
    int ticksAfterHide = 0;
    std::size_t opened = 0;  // events before the dongle came free
  } s;
  ScriptedUi* scripted = &ui_;
  ui_.carrierScript = [&s, &gate, &holder, scripted](const Event& e) {
    if (e.kind == Event::Timer && !s.cancelled && gate.stuck()) {
      s.cancelled = true;
      return Press(ui::kCarrierCancel);
    }
    // The dialog goes on ticking while the reader is stuck; two ticks after
    // the window was hidden the other user lets the dongle go.
    if (e.kind == Event::Timer && s.cancelled && ++s.ticksAfterHide == 2) {
      s.opened = scripted->CarrierEvents().size();
      holder.Release();
      gate.Open();
    }
    return Action{};
  };
  EXPECT_EQ(Acquire(kFactorQuadra), 0);
  EXPECT_EQ(Ends(), std::vector<int>{-1});
  std::size_t hide = Find(Event::Hide);
  std::size_t end = Find(Event::End);
  ASSERT_LT(hide, end);
  EXPECT_GT(end, s.opened) << "the dialog ended while the reader was stuck";
  // The tick at which the dongle came free, or a later one, finished it.
  EXPECT_LT(Find(Event::Timer, s.opened - 1), end);
  EXPECT_EQ(end, events_.size() - 1) << "the window was used after it ended";
}

// ---- silent mode ---------------------------------------------------------------------------

TEST_F(CarrierDialogTest, SilentModeReadsEachCarrierOnceWithoutAWindow) {
  const struct {
    const char* name;
    std::uint32_t code;
    bool quadraThere;
    int result;
  } cases[] = {
      {"a password cannot be asked", kFactorPassword | kFactorTouchMemory, true, 0},
      {"one of two carriers missing", kFactorTouchMemory | kFactorQuadra, false, 0},
      {"both carriers there", kFactorTouchMemory | kFactorQuadra, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.quadraThere) {
      devices_.quadra = {QuadraDongle()};
    } else {
      devices_.quadra.clear();
    }
    // What one attempt of each requested reader asks of the drivers, and
    // the key it makes (none of it when a password is asked for).
    std::map<std::string, int> once;
    int tmReadsOnce = 0;
    Key8 expected{};
    if ((c.code & kFactorPassword) == 0) {
      devices_.log = {};
      int before = tm_.switches().Calls("vtmd.read_rom");
      auto state = test::NewAuthState(c.code, kChallenge, 4);
      PollTouchMemory(*state);
      PollQuadra(*state);
      CloseDongleAccess(*state);
      once = devices_.log.calls;
      tmReadsOnce = tm_.switches().Calls("vtmd.read_rom") - before;
      expected = test::KeyOf(*state);
      ASSERT_EQ(tmReadsOnce, 1);
    }
    devices_.log = {};
    int before = tm_.switches().Calls("vtmd.read_rom");
    EXPECT_EQ(Acquire(c.code, 1), c.result);
    EXPECT_TRUE(events_.empty()) << "a window was shown";
    EXPECT_EQ(tm_.switches().Calls("vtmd.read_rom") - before, tmReadsOnce);
    EXPECT_EQ(devices_.log.calls, once);
    EXPECT_EQ(key_, expected);
  }
}

// ---- failures -------------------------------------------------------------------------------

TEST_F(CarrierDialogTest, AFaultInsideACarrierDriverFailsTheCall) {
  const struct {
    const char* name;
    std::uint32_t code;
    const char* tmFault;
    const char* deviceFault;
  } faults[] = {
      {"Touch Memory driver", kFactorTouchMemory, "vtmd.read_rom", ""},
      {"Tessel driver", kFactorTessel | kFactorPassword, "", "tessel.open"},
  };
  for (const auto& f : faults) {
    for (int noLogo : {0, 1}) {
      SCOPED_TRACE(std::string(f.name) + (noLogo ? ", silent" : ", dialog"));
      if (noLogo && (f.code & kFactorPassword)) continue;
      ScriptedUi fresh;
      platform::SetUi(&fresh);
      devices_.tessel = {Token()};
      if (*f.tmFault) tm_.switches().FaultOn(f.tmFault);
      devices_.faultOn = f.deviceFault;
      EXPECT_EQ(Acquire(f.code, noLogo), 0);
      tm_.switches().Clear();
      devices_.faultOn.clear();
      events_ = fresh.CarrierEvents();
      platform::SetUi(&ui_);
      if (!noLogo) {
        EXPECT_EQ(Ends(), std::vector<int>{-1});
        EXPECT_EQ(All(Event::Hide).size(), 0u) << "ended by the fault message, not by Cancel";
      }
      EXPECT_EQ(tm_.vtmd().openSessions(), 0) << "the session the fault left open";
    }
  }
  // Everything works again afterwards.
  EXPECT_EQ(Acquire(kFactorTouchMemory), 1);
  EXPECT_EQ(key_, kTmKey);
}

// Faults on purpose: an address in the never-mapped first page, hidden
// from the optimiser.
volatile std::uintptr_t g_faultAddress = 16;
[[gnu::noinline]] void FaultHere() { *reinterpret_cast<volatile int*>(g_faultAddress) = 1; }

TEST_F(CarrierDialogTest, AFaultOnTheDialogsThreadStopsThePollingThreadAndFails) {
  tm_.SetDevices({});
  ui_.carrierScript = [](const Event& e) {
    if (e.kind == Event::Timer) FaultHere();
    return Action{};
  };
  EXPECT_EQ(Acquire(kFactorTouchMemory), 0);
  EXPECT_TRUE(PollingThreadSeen());
  EXPECT_EQ(Ends(), std::vector<int>{});  // the window's loop was abandoned
  // Nothing is left running or open: the next call works as ever.
  ui_.carrierScript = nullptr;
  tm_.SetDevices({kTmDevice});
  EXPECT_EQ(Acquire(kFactorTouchMemory), 1);
  EXPECT_EQ(key_, kTmKey);
}

TEST_F(CarrierDialogTest, AWindowThatCannotBeShownOrTimedFails) {
  ui_.refuseCarrier = true;
  EXPECT_EQ(Acquire(kFactorTouchMemory), 0);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(tm_.switches().Calls("vtmd.read_rom"), 0);

  ScriptedUi noTimer;
  noTimer.failCarrierTimer = true;
  platform::SetUi(&noTimer);
  EXPECT_EQ(Acquire(kFactorTouchMemory), 0);
  events_ = noTimer.CarrierEvents();
  platform::SetUi(&ui_);
  EXPECT_EQ(Ends(), std::vector<int>{-1});
  EXPECT_FALSE(PollingThreadSeen());
  EXPECT_EQ(tm_.switches().Calls("vtmd.read_rom"), 0);
}

}  // namespace
}  // namespace nc::protect
