// What the tests of faults and of sources that change under a job share: a
// write through a bad pointer (the access violation the operations' guard
// catches), a fault hook that strikes at the third fault point of a job,
// and a progress script that makes the source grow or shrink as soon as
// the window first shows a percentage.
#pragma once
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "testsupport/ui/scripted_ui.h"

namespace nc::test {

// An address in the never-mapped first page, hidden from the optimiser so
// that it does not warn about (or fold) the access.
inline volatile std::uintptr_t g_badAddress = 16;

[[gnu::noinline]] inline void WriteThroughBadPointer() {
  *reinterpret_cast<volatile int*>(g_badAddress) = 1;
}

// Faults at the third fault point of a job: inside the chunk loop, after
// the second chunk. Reset g_faultPoints before each job.
inline std::atomic<int> g_faultPoints{0};
inline void FaultAtTheThirdPoint() {
  if (++g_faultPoints == 3) WriteThroughBadPointer();
}

// A cancelWhen script that, at the first percentage shown, appends 1000
// bytes to `source` (`grows`) or cuts it to 100000 bytes, sets `changed`,
// and never cancels.
inline std::function<bool(const platform::ScriptedUi::ProgressEvent&)> ChangeSourceOnce(
    const std::string& source, bool grows, bool& changed) {
  return [source, grows, &changed](const platform::ScriptedUi::ProgressEvent& e) {
    if (e.kind != platform::ScriptedUi::ProgressEvent::Percent || changed) return false;
    changed = true;
    if (grows)
      std::ofstream(source, std::ios::binary | std::ios::app) << std::string(1000, 'w');
    else
      std::filesystem::resize_file(source, 100000);
    return false;
  };
}

}  // namespace nc::test
