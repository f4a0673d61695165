// The progress window of a long generator (the GOST common numbers): opened
// and closed by the caller's thread, updated by the generator's progress
// callback on the worker thread.
//
// The window's state is one word (platform::ProgressWord): the backend sets
// kProgressCancel when the user aborts, the callback keeps its own state bits
// in the rest. Updates from the worker and the closing by the caller are
// serialised, so a closed window is never drawn on; the callback may keep
// running after the close (it then shows nothing).
#pragma once
#include <memory>
#include <mutex>

#include "platform/progress_ui.h"

namespace nc::frame {

struct GeneratorWindow {
  platform::ProgressWord word{0};
  std::mutex lock;  // guards `view`
  std::unique_ptr<platform::GeneratorView> view;
};

// Opens the current backend's generator window; false when it cannot be
// created (the operation reports 28).
[[nodiscard]] bool OpenGeneratorWindow(GeneratorWindow& window, platform::WindowHandle parent,
                                       platform::GeneratorKind kind);
// Closes the window if it is open. Safe to repeat.
void CloseGeneratorWindow(GeneratorWindow& window);

// For the progress callback (worker thread): shows the stage caption or a
// field, if the window is still open.
void ShowGeneratorStage(GeneratorWindow& window, const char* caption);
void ShowGeneratorField(GeneratorWindow& window, platform::GeneratorField field, const char* text);

}  // namespace nc::frame
