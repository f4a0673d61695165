// Requests to end the process that arrive while a job runs: SIGINT, SIGTERM
// and SIGHUP on POSIX; Ctrl-C, Ctrl-Break and the closing of the console on
// Windows.
//
// Ending the process there and then would leave a temporary output holding
// partial plaintext and a terminal without echo. Instead, while a scope
// lives, a request is only recorded: the job sees it at its next progress
// report, at its commit or in its wait for the user, and stops as a cancel
// does (result 10), removing its temporary output and restoring the terminal
// on the way out.
//
// A request the host set to be ignored stays ignored. On POSIX, a host that
// handles the signal itself is told once the outermost scope has ended: the
// signal is raised again then. A default disposition is not: the job's
// result 10 is the report.
#pragma once

#include "platform/progress_ui.h"

namespace nc::platform {

// Routes the requests to the job while it lives. Scopes nest (an operation's
// scope, and inside it the scope of its progress view); the first one takes
// the signals over, the last one gives them back. A scope made with a word
// sets kProgressCancel in it on a request; of nested scopes with words, the
// newest one's word gets it.
class TerminationScope {
 public:
  explicit TerminationScope(ProgressWord* word = nullptr);
  ~TerminationScope();
  TerminationScope(const TerminationScope&) = delete;
  TerminationScope& operator=(const TerminationScope&) = delete;

 private:
  ProgressWord* previousWord_ = nullptr;
};

// True once a request arrived since the outermost scope began; false
// outside a scope.
bool TerminationRequested();

}  // namespace nc::platform
