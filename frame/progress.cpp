// Progress windows of the file jobs: name buffers, descriptions, the window
// and the percentage.
#include "frame/progress.h"

#include <cstring>

#include "frame/text_util.h"
#include "platform/string_table.h"
#include "platform/termination.h"
#include "platform/ui.h"

namespace nc::frame {

namespace {

char g_firstName[kProgressNameSize];
char g_secondName[kProgressNameSize];

void CopyName(char* buffer, const char* name) {
  if (name == nullptr) name = "";
  std::size_t n = CharacterBoundary(name, std::strlen(name), kProgressNameSize - 1);
  std::memcpy(buffer, name, n);
  buffer[n] = '\0';
}

std::string LoadCut(int id) {
  std::string text = platform::LoadText(id);
  return text.substr(0, CharacterPrefix(text.c_str(), kProgressTextCharacters));
}

}  // namespace

char* ProgressFirstName() { return g_firstName; }
char* ProgressSecondName() { return g_secondName; }

void SetProgressNames(const char* first, const char* second) {
  CopyName(g_firstName, first);
  CopyName(g_secondName, second);
}

std::string FormatProgressDescription(int textId, const char* first, const char* second) {
  const std::string format = LoadCut(textId);
  const char* names[2] = {first != nullptr ? first : "", second != nullptr ? second : ""};
  int used = 0;
  std::string text;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's' && used < 2) {
        text += names[used++];
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        text += '%';
        ++i;
        continue;
      }
    }
    text += format[i];
  }
  return text;
}

ProgressHandle OpenProgressWindow(platform::WindowHandle parent, int titleId, int textId) {
  auto window = std::make_unique<ProgressWindow>();
  window->view = platform::CurrentUi().OpenProgress(parent, window->word);
  if (window->view == nullptr) return nullptr;
  window->view->SetCaption(titleId, LoadCut(titleId).c_str());
  window->view->SetDescription(textId,
                               FormatProgressDescription(textId, g_firstName, g_secondName).c_str(),
                               g_firstName, g_secondName);
  return window;
}

int UpdateProgress(ProgressWindow* window, unsigned percent) {
  if (window != nullptr) {
    window->view->SetPercent(percent);
    window->view->Pump();
    if ((window->word.load() & platform::kProgressCancel) != 0) return 1;
  }
  return platform::TerminationRequested() ? 1 : 0;
}

void CloseProgressWindow(ProgressHandle& window) { window.reset(); }

unsigned ProgressPercent(std::uint64_t done, std::uint64_t total) {
  if (total == 0 || done >= total) return 100;
  // Beyond 2^57 bytes both are scaled down by the same shift, chosen from
  // `total` alone, so that 100 * done fits; the quotient stays monotonic in
  // `done`. Below that it is exact.
  while (total > UINT64_MAX / 100) {
    done >>= 1;
    total >>= 1;
  }
  unsigned percent = static_cast<unsigned>(done * 100 / total);
  return percent < 100 ? percent : 99;
}

}  // namespace nc::frame
