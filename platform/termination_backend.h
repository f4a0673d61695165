// What each platform provides to platform/termination.cpp: taking the
// requests over while jobs run and giving them back (POSIX: the signal
// handlers, platform/posix/termination.cpp; Windows: the console control
// handler, platform/win32/termination.cpp).
#pragma once

namespace nc::platform::termination {

// When the first scope begins, and when the last one ends, under the
// scopes' lock. Neither changes errno or the last error.
void Take();
void GiveBack();
// After the last scope has ended, outside the lock (it may start another
// job): tells the host what it must hear of.
void AfterLastScope();

// For the handlers: records a request (async-signal-safe).
void Record();

}  // namespace nc::platform::termination
