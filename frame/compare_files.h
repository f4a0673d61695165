// The byte-by-byte comparison of two files that every file processor offers
// as "/COMP".
#pragma once
#include "frame/progress.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace nc::frame {

// Worker codes of the file jobs: bits that the operations turn into result
// codes.
enum WorkerCode : int {
  kWorkerOk = 0,
  kWorkerReadFailed = 1,
  kWorkerWriteFailed = 2,
  kWorkerFirstFile = 4,
  kWorkerSecondFile = 8,
  kWorkerDifferent = 16,
  kWorkerCancelled = 32,
};

// What a comparison holds open: kept in the operation's record, so that the
// operation's cleanup releases it even when a fault ended the work.
struct CompareState {
  platform::ScopedFile first;
  platform::ScopedFile second;
  ProgressHandle window;
};

// Releases everything `state` holds (keeping the last error). Safe to repeat.
void CloseCompareState(CompareState& state);

// Compares the files `first` and `second` in blocks of 1024 bytes. Unless
// `quiet`, the names go to the progress name buffers and a progress window
// titled `titleId` describes the comparison (text 2014) and shows the share
// of the first file compared. Returns 0 (equal), 16 (different), 32
// (cancelled), 5 (the first file cannot be opened or read) or 9 (the
// second). Everything is closed on return; the last error stays as the
// failing step left it.
int CompareFiles(CompareState& state, platform::WindowHandle parent, const char* first,
                 const char* second, int titleId, bool quiet);
// The same with a state of its own.
int CompareFiles(platform::WindowHandle parent, const char* first, const char* second, int titleId,
                 bool quiet);

}  // namespace nc::frame
