// What every exported operation shares: the result text built from a code
// and a file name, the fault guard around the work, and the copy of the
// text into the caller's buffer.
#pragma once
#include <cstdint>

#include "frame/guard_hook.h"
#include "frame/result_text.h"
#include "platform/exception_guard.h"
#include "platform/termination.h"

namespace nc::frame {

// The outcome of an operation's work: a result code and, for the codes that
// name a file, the file concerned.
struct Outcome {
  int code = kResultOk;
  const char* fileName = nullptr;
};

// Runs `work(job)` under the fault guard and finishes the call: a caught
// fault becomes result 33; `cleanup(job)` runs on every path before the
// result text is copied to the caller; returns the result code. A request to
// end the process (a signal, a console control) meanwhile stops the job as a
// cancel does: a job that did not finish then reports 10.
template <typename Job>
std::int32_t RunOperation(const char* tag, Job& job, Outcome (*work)(Job&), void (*cleanup)(Job&),
                          char* resultBuffer, std::int32_t resultSize) {
  struct Call {
    Job* job;
    Outcome (*work)(Job&);
    Outcome outcome;
  } call{&job, work, {}};
  platform::TerminationScope termination;
  ResultText result;
  InitResultText(result, tag);
  bool finished = platform::RunGuarded(
      [](void* context) {
        auto* c = static_cast<Call*>(context);
        c->outcome = c->work(*c->job);
      },
      &call);
  Outcome outcome = finished ? call.outcome : Outcome{kResultException, nullptr};
  cleanup(job);
  if (outcome.code != kResultOk && outcome.code != kResultException &&
      platform::TerminationRequested())
    outcome = {kResultCancelled, nullptr};
  AppendResult(result, outcome.code, outcome.fileName);
  CopyResultOut(result, resultBuffer, resultSize);
  return outcome.code;
}

}  // namespace nc::frame
