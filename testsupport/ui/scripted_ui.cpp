// The scripted backend's questions and messages: each is recorded, and the
// questions take the test's answers in order.
#include "testsupport/ui/scripted_ui.h"

namespace nc::platform {

bool ScriptedUi::AskYesNo(WindowHandle parent, const char* caption, const char* text) {
  shown.push_back({Shown::Question, caption, text, parent});
  std::size_t asked = 0;
  for (const Shown& s : shown) asked += s.kind == Shown::Question;
  return asked <= answers.size() && answers[asked - 1];
}

void ScriptedUi::ShowInfo(WindowHandle parent, const char* caption, const char* text) {
  shown.push_back({Shown::Info, caption, text, parent});
}

}  // namespace nc::platform
