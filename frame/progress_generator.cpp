#include "frame/progress_generator.h"

#include "platform/ui.h"

namespace nc::frame {

bool OpenGeneratorWindow(GeneratorWindow& window, platform::WindowHandle parent,
                         platform::GeneratorKind kind) {
  std::unique_ptr<platform::GeneratorView> view =
      platform::CurrentUi().OpenGenerator(parent, window.word, kind);
  if (view == nullptr) return false;
  std::lock_guard<std::mutex> lock(window.lock);
  window.view = std::move(view);
  return true;
}

void CloseGeneratorWindow(GeneratorWindow& window) {
  // Destroyed under the lock: no update is half-way through it.
  std::lock_guard<std::mutex> lock(window.lock);
  window.view.reset();
}

void ShowGeneratorStage(GeneratorWindow& window, const char* caption) {
  std::lock_guard<std::mutex> lock(window.lock);
  if (window.view != nullptr) window.view->SetStage(caption);
}

void ShowGeneratorField(GeneratorWindow& window, platform::GeneratorField field, const char* text) {
  std::lock_guard<std::mutex> lock(window.lock);
  if (window.view != nullptr) window.view->SetField(field, text);
}

}  // namespace nc::frame
