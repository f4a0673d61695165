// Status lines of the carrier dialog.
#include "protect/status_line.h"

#include "platform/library_text.h"

namespace nc::protect {

void WriteStatusLine(CarrierAuthState& state, int control, const char* text) {
  if (platform::CarrierWindow* window = state.window.load()) window->SetText(control, text);
}

void ShowStatusText(CarrierAuthState& state, int control, const char* utf8) {
  if (state.window.load() == nullptr) return;
  char line[kStatusLineSize];
  platform::CopyLibraryText(line, sizeof line, utf8);
  WriteStatusLine(state, control, line);
}

std::uint32_t BeginErrorLine(char (&line)[kStatusLineSize]) {
  return static_cast<std::uint32_t>(platform::CopyLibraryText(line, kStatusLineSize, "Ошибка: "));
}

}  // namespace nc::protect
