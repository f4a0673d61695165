// Questions and messages on the process's console (CONIN$/CONOUT$, which
// stay the console even when the standard handles are redirected). Without a
// console the backend behaves as headless: every question is answered "no".
#include <string>

#include "platform/ui.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

class ConsoleHandle {
 public:
  explicit ConsoleHandle(const wchar_t* name)
      : handle_(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr)) {
    DWORD mode = 0;
    if (handle_ != INVALID_HANDLE_VALUE && !::GetConsoleMode(handle_, &mode)) {
      ::CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
    }
  }
  ~ConsoleHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  ConsoleHandle(const ConsoleHandle&) = delete;
  ConsoleHandle& operator=(const ConsoleHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

  void Write(const std::string& text) const {
    std::wstring wide = win32::Widen(text.c_str());
    const wchar_t* at = wide.data();
    DWORD left = static_cast<DWORD>(wide.size());
    while (left > 0) {
      DWORD written = 0;
      if (!::WriteConsoleW(handle_, at, left, &written, nullptr) || written == 0) return;
      at += written;
      left -= written;
    }
  }
  // One line without its end; false at end of input or on an error.
  bool ReadLine(std::wstring* line) const {
    line->clear();
    for (;;) {
      wchar_t c;
      DWORD got = 0;
      if (!::ReadConsoleW(handle_, &c, 1, &got, nullptr) || got == 0) return false;
      if (c == L'\n') return true;
      if (c == 0x1A) return false;  // Ctrl+Z: end of input
      if (c != L'\r' && line->size() < 256) line->push_back(c);
    }
  }

 private:
  HANDLE handle_;
};

bool IsYes(std::wstring answer) {
  const wchar_t* blanks = L" \t";
  std::size_t first = answer.find_first_not_of(blanks);
  if (first == std::wstring::npos) return false;
  answer = answer.substr(first, answer.find_last_not_of(blanks) - first + 1);
  ::CharLowerBuffW(answer.data(), static_cast<DWORD>(answer.size()));
  return answer == L"y" || answer == L"yes" || answer == L"\u0434" /* д */ ||
         answer == L"\u0434\u0430" /* да */;
}

class Console final : public UiBackend {
 public:
  bool AskYesNo(WindowHandle, const char* caption, const char* text) override {
    DWORD error = ::GetLastError();
    bool yes = Ask(caption, text);
    ::SetLastError(error);
    return yes;
  }
  void ShowInfo(WindowHandle, const char* caption, const char* text) override {
    DWORD error = ::GetLastError();
    ConsoleHandle out(L"CONOUT$");
    if (out.valid()) out.Write(std::string("\n") + caption + "\n" + text + "\n");
    ::SetLastError(error);
  }
  // Progress on the console (platform/progress_text.cpp).
  std::unique_ptr<ProgressView> OpenProgress(WindowHandle, ProgressWord& word) override {
    return TerminalProgressView(word);
  }
  std::unique_ptr<GeneratorView> OpenGenerator(WindowHandle, ProgressWord& word,
                                               GeneratorKind) override {
    return TerminalGeneratorView(word);
  }

 private:
  static bool Ask(const char* caption, const char* text) {
    ConsoleHandle in(L"CONIN$");
    ConsoleHandle out(L"CONOUT$");
    if (!in.valid() || !out.valid()) return false;
    // "[д/н, y/n]" spelled in code page 1251.
    out.Write(std::string("\n") + caption + "\n" + text + " [\xE4/\xED, y/n] ");
    std::wstring line;
    if (!in.ReadLine(&line)) {
      out.Write("\n");  // end of input: leave the prompt line, answer "no"
      return false;
    }
    return IsYes(line);
  }
};

}  // namespace

UiBackend& TerminalUi() {
  static Console console;
  return console;
}

}  // namespace nc::platform
