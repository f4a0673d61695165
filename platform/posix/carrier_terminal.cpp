// The carrier dialog on the terminal. The dialog's logic runs in the shared
// modal loop on the caller's thread; a thread of the view reads the keys
// (so that Ctrl-C cancels while the carriers are being polled) and posts
// what they mean to the loop.
#include "platform/posix/carrier_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/carrier_loop.h"
#include "platform/password_box.h"
#include "platform/preset_password.h"
#include "zq/wipe.h"

namespace nc::platform {

namespace {

constexpr char kCaption[] = "Авторизация доступа к криптографическим ключам";
constexpr char kHeading[] = "Для доступа к защищенным криптографическим ключам Вам необходимо:";

// The status lines in the window's order, with their labels.
struct StatusLine {
  int status;
  int label;
  const char* labelText;
};
constexpr StatusLine kStatusLines[] = {
    {kCarrierTmStatus, kCarrierTmLabel, "Чтение прибора Touch Memory:"},
    {kCarrierQuadraStatus, kCarrierQuadraLabel, "Чтение ключа NorvexQuadra:"},
    {kCarrierActivatorStatus, kCarrierActivatorLabel, "Чтение ключа Activator/M:"},
    {kCarrierTesselStatus, kCarrierTesselLabel, "Чтение Tessel"},
};
constexpr char kPasswordPrompt[] = "Пароль: ";
// Why a password was refused when the key cannot be made from it.
constexpr char kUnusableCharacter[] = "В пароле есть символ, который нельзя использовать\n";

constexpr unsigned char kCtrlC = 0x03;
constexpr unsigned char kCtrlD = 0x04;
constexpr unsigned char kCtrlU = 0x15;
constexpr unsigned char kBackspace = 0x08;
constexpr unsigned char kDelete = 0x7F;

class TerminalView final : public CarrierWindow {
 public:
  TerminalView(int tty, bool preset) : tty_(tty), preset_(preset) {}
  ~TerminalView() override {
    StopInput();
    RestoreMode();
    SecureWipe(typed_, sizeof typed_);
    ::close(tty_);
  }
  TerminalView(const TerminalView&) = delete;
  TerminalView& operator=(const TerminalView&) = delete;

  int Run(CarrierDialogHandler& handler) {
    if (!EnterMode() || ::pipe(wake_) != 0) return -1;
    try {
      input_ = std::thread([this] { ReadKeys(); });
    } catch (...) {
      return -1;
    }
    int result = loop_.Run(handler, *this, [this] {
      Draw();
      Consider(true);
    });
    StopInput();
    RestoreMode();
    return result;
  }

  // ---- the window ----

  void SetText(int control, const char* text) override {
    std::lock_guard<std::mutex> lock(lock_);
    texts_[control] = text != nullptr ? text : "";
    if (!drawn_ || hidden_ || !EnabledLocked(control)) return;
    for (const StatusLine& line : kStatusLines) {
      if (line.status == control) Write(LineOf(line));
    }
  }
  void Enable(int control, bool enabled) override {
    {
      std::lock_guard<std::mutex> lock(lock_);
      disabled_[control] = !enabled;
    }
    if (control == kCarrierOk && enabled) loop_.PostAction([this] { Consider(false); });
  }
  void Focus(int control) override {
    // Back to the password box after the dialog refused the password: say
    // why when it held an unusable character, then ask again; a preset
    // line cannot be asked again, so the dialog is cancelled.
    if (control != kCarrierPassword || !Drawn()) return;
    if (unusable_) {
      std::lock_guard<std::mutex> lock(lock_);
      if (!hidden_) Write(kUnusableCharacter);
    }
    unusable_ = false;
    if (preset_ && presetUsed_) {
      loop_.PostCommand(kCarrierCancel);
      return;
    }
    Consider(false);
  }
  void ReadPassword(char* buffer, std::size_t size) override {
    unusable_ = !box_.Read(buffer, size);
  }
  void Hide() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (prompting_) Write("\n");
    prompting_ = false;
    hidden_ = true;
  }
  bool StartTimer(std::uint32_t periodMs) override { return loop_.StartTimer(periodMs); }
  void StopTimer() override { loop_.StopTimer(); }
  void End(int result) override {
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (prompting_) Write("\n");
      prompting_ = false;
      hidden_ = true;
    }
    box_.Clear();
    loop_.End(result);
  }
  void PostCommand(int command) override { loop_.PostCommand(command); }
  void PostFault() override { loop_.PostFault(); }
  void Beep(std::uint32_t) override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!hidden_) Write("\a");
  }

 private:
  // ---- drawing (under lock_) ----

  void Write(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(tty_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  bool EnabledLocked(int control) const {
    auto found = disabled_.find(control);
    return found == disabled_.end() || !found->second;
  }
  std::string LineOf(const StatusLine& line) const {
    auto text = texts_.find(line.status);
    return std::string(line.labelText) + " " + (text != texts_.end() ? text->second : "") + "\n";
  }
  bool Drawn() {
    std::lock_guard<std::mutex> lock(lock_);
    return drawn_;
  }

  // The whole window, once the logic has set it up.
  void Draw() {
    std::lock_guard<std::mutex> lock(lock_);
    std::string text = std::string("\n") + kCaption + "\n" + kHeading + "\n";
    auto steps = texts_.find(kCarrierSteps);
    if (steps != texts_.end() && !steps->second.empty()) {
      text += steps->second;
      if (text.back() != '\n') text += "\n";  // the last step has no new line of its own
    }
    for (const StatusLine& line : kStatusLines) {
      if (EnabledLocked(line.status)) text += LineOf(line);
    }
    Write(text);
    drawn_ = true;
  }

  // On the loop's thread, when OK may have become usable: give the
  // password (ask for it, or take the preset line), or accept a dialog
  // that asks for nothing.
  void Consider(bool afterInit) {
    bool ok, password;
    {
      std::lock_guard<std::mutex> lock(lock_);
      ok = EnabledLocked(kCarrierOk);
      password = EnabledLocked(kCarrierPassword);
      if (!ok || hidden_ || (password && prompting_)) return;
    }
    if (!password) {
      if (afterInit) loop_.PostCommand(kCarrierOk);
      return;
    }
    if (preset_) {
      if (presetUsed_) return;  // one line per dialog
      presetUsed_ = true;
      loop_.PostCommand(ReadPresetPassword(box_) ? kCarrierOk : kCarrierCancel);
      return;
    }
    std::lock_guard<std::mutex> lock(lock_);
    SecureWipe(typed_, sizeof typed_);
    typedLength_ = 0;
    prompting_ = true;
    Write(kPasswordPrompt);
  }

  // ---- the keys (the view's thread) ----

  void ReadKeys() {
    for (;;) {
      pollfd fds[2] = {{tty_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      int n = ::poll(fds, 2, -1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || fds[1].revents != 0) return;
      unsigned char key = 0;
      ssize_t got = ::read(tty_, &key, 1);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) {  // end of input
        loop_.PostCommand(kCarrierCancel);
        return;
      }
      Key(key);
      key = 0;
    }
  }

  void Key(unsigned char key) {
    if (key == kCtrlC || key == kCtrlD) {
      loop_.PostCommand(kCarrierCancel);
      return;
    }
    std::lock_guard<std::mutex> lock(lock_);
    if (!prompting_) return;  // nothing asked for yet
    if (key == '\r' || key == '\n') {
      prompting_ = false;
      box_.SetTyped(typed_, typedLength_);
      SecureWipe(typed_, sizeof typed_);
      typedLength_ = 0;
      Write("\n");
      loop_.PostCommand(kCarrierOk);
    } else if (key == kBackspace || key == kDelete) {
      // One character back, all of its bytes.
      while (typedLength_ > 0) {
        unsigned char last = static_cast<unsigned char>(typed_[--typedLength_]);
        typed_[typedLength_] = 0;
        if ((last & 0xC0) != 0x80) break;
      }
    } else if (key == kCtrlU) {
      SecureWipe(typed_, sizeof typed_);
      typedLength_ = 0;
    } else if (key >= 0x20 && typedLength_ < sizeof typed_) {
      typed_[typedLength_++] = static_cast<char>(key);
    }
  }

  void StopInput() {
    if (input_.joinable()) {
      char stop = 1;
      while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
      }
      input_.join();
    }
    for (int& fd : wake_) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }

  // ---- the terminal's mode ----

  bool EnterMode() {
    if (::tcgetattr(tty_, &saved_) != 0) return false;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(tty_, TCSANOW, &raw) != 0) return false;
    modeChanged_ = true;
    return true;
  }
  void RestoreMode() {
    if (!modeChanged_) return;
    while (::tcsetattr(tty_, TCSANOW, &saved_) != 0 && errno == EINTR) {
    }
    modeChanged_ = false;
  }

  const int tty_;
  const bool preset_;
  CarrierLoop loop_;
  PasswordBox box_;
  std::thread input_;
  int wake_[2] = {-1, -1};
  termios saved_{};
  bool modeChanged_ = false;
  bool presetUsed_ = false;  // the loop's thread only
  bool unusable_ = false;    // the loop's thread only: the last password read was refused

  std::mutex lock_;  // what follows, and the writes to the terminal
  std::map<int, std::string> texts_;
  std::map<int, bool> disabled_;
  bool drawn_ = false;
  bool hidden_ = false;
  bool prompting_ = false;
  char typed_[kPasswordBoxSize] = {};
  std::size_t typedLength_ = 0;
};

}  // namespace

int RunTerminalCarrierDialog(CarrierDialogHandler& handler) {
  int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return PresetPasswordGiven() ? RunPresetPasswordDialog(handler) : -1;
  // On the heap: should a fault abandon the loop, the polling thread may
  // still write to the window until it is stopped.
  auto view = std::make_unique<TerminalView>(tty, PresetPasswordGiven());
  return view->Run(handler);
}

}  // namespace nc::platform
