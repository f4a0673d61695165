// Progress windows of the file jobs.
//
// A job fills the two process-wide name buffers, opens its window with its
// title and description, reports its percentage after every chunk (the
// report also tells whether the user has cancelled) and closes the window on
// every way out. The window is the backend's (platform/progress_ui.h); what
// it shows is decided here. The name buffers are process-wide, so one job at
// a time shows a progress window.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/progress_ui.h"

namespace nc::frame {

// Descriptions of the file jobs: texts with two "%s" for the two names.
enum ProgressTextId : int {
  kTextEncrypting = 2010,
  kTextDecrypting = 2011,
  kTextHashing = 2012,
  kTextSigning = 2013,
  kTextComparing = 2014,
  kTextCheckingSignature = 2015,
};

// Captions and description texts are cut to this many characters before use.
inline constexpr std::size_t kProgressTextCharacters = 127;

// ---- the two name buffers ------------------------------------------------------

inline constexpr std::size_t kProgressNameSize = platform::kMaxPath + 1;
// The first and the second name (source and destination; for a hash, the
// source and the hash file; for a signature check, the source and the
// signature file).
char* ProgressFirstName();
char* ProgressSecondName();
// Copies both names into the buffers, each cut to kProgressNameSize - 1
// bytes without splitting a character; null counts as empty.
void SetProgressNames(const char* first, const char* second);

// The description `textId` (cut to kProgressTextCharacters characters) with
// its first "%s" replaced by `first` and its second by `second`; "%%" is a
// percent sign.
std::string FormatProgressDescription(int textId, const char* first, const char* second);

// ---- the window -------------------------------------------------------------------

struct ProgressWindow {
  platform::ProgressWord word{0};  // kProgressCancel once the user cancelled
  std::unique_ptr<platform::ProgressView> view;
};
using ProgressHandle = std::unique_ptr<ProgressWindow>;

// Opens the window of the current backend with the title `titleId` as its
// caption and the description `textId` formatted with the name buffers. Null
// when the backend cannot create it: the job then runs without a window and
// cannot be cancelled.
ProgressHandle OpenProgressWindow(platform::WindowHandle parent, int titleId, int textId);
// Shows `percent`, lets the backend handle what the user did, and returns
// the cancel flag (nonzero: stop). Without a window (a quiet job, or one the
// backend could not show) only a request to end the process
// (platform/termination.h) stops the job.
int UpdateProgress(ProgressWindow* window, unsigned percent);
// Closes the window if there is one. Safe to repeat.
void CloseProgressWindow(ProgressHandle& window);

// 100 * done / total rounded down, without overflow for any 64-bit sizes,
// never above 100; 100 when `total` is 0. Grows monotonically with `done`.
unsigned ProgressPercent(std::uint64_t done, std::uint64_t total);

}  // namespace nc::frame
