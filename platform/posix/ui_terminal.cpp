// Questions, messages and the carrier dialog on the controlling terminal.
// Without a terminal the backend behaves as headless: every question is
// answered "no".
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/carrier_terminal.h"
#include "platform/posix/termination_wait.h"
#include "platform/ui.h"

namespace nc::platform {

namespace {

class TerminalFd {
 public:
  TerminalFd() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~TerminalFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool valid() const { return fd_ >= 0; }
  void Write(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  // One line without its end; false at end of input, on an error, or when
  // the process is asked to end meanwhile.
  bool ReadLine(std::string* line) const {
    line->clear();
    char c;
    for (;;) {
      if (!WaitForInput(fd_)) return false;
      ssize_t n = ::read(fd_, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      if (c == '\n') return true;
      if (line->size() < 256) line->push_back(c);
    }
  }

 private:
  int fd_;
};

bool IsYes(std::string answer) {
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
    answer.pop_back();
  std::size_t start = 0;
  while (start < answer.size() && std::isspace(static_cast<unsigned char>(answer[start]))) ++start;
  answer.erase(0, start);
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes" || answer == "д" || answer == "да" || answer == "Д" ||
         answer == "ДА" || answer == "Да";
}

class Terminal final : public UiBackend {
 public:
  bool AskYesNo(WindowHandle, const char* caption, const char* text) override {
    TerminalFd tty;
    if (!tty.valid()) return false;
    tty.Write(std::string("\n") + caption + "\n" + text + " [д/н, y/n] ");
    std::string line;
    if (!tty.ReadLine(&line)) {
      tty.Write("\n");  // end of input: leave the prompt line, answer "no"
      return false;
    }
    return IsYes(line);
  }
  void ShowInfo(WindowHandle, const char* caption, const char* text) override {
    TerminalFd tty;
    if (!tty.valid()) return;
    tty.Write(std::string("\n") + caption + "\n" + text + "\n");
  }
  // Progress on stderr (platform/progress_text.cpp).
  std::unique_ptr<ProgressView> OpenProgress(WindowHandle, ProgressWord& word) override {
    return TerminalProgressView(word);
  }
  std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle, ProgressWord& word,
                                               GeneratorKind) override {
    return TerminalGeneratorView(word);
  }
  // The carrier dialog on the terminal (platform/posix/carrier_terminal.cpp).
  int RunCarrierDialog(WindowHandle, CarrierDialogHandler& handler) override {
    return RunTerminalCarrierDialog(handler);
  }
};

}  // namespace

UiBackend& TerminalUi() {
  static Terminal terminal;
  return terminal;
}

}  // namespace nc::platform
