// The progress callback of the GOST common-numbers generator: GOSSignGenPQA
// calls it on the worker thread with a GOSPQAProgress record whose window
// is the operation's frame::GeneratorWindow.
#pragma once
#include <cstdint>
#include <string>

#include "frame/progress_generator.h"
#include "zq/gost_sign.h"

namespace nc::gost {

// The bits of the generator window's word. The backend sets the abort bit;
// the callback keeps the others and never clears the abort bit.
enum GoscWindowBits : std::uint32_t {
  kGoscAbort = platform::kProgressCancel,  // 1: the user aborted
  kGoscTotalShown = 2,                     // the current stage's total is shown
  kGoscStageQ = 4,                         // caption "q" set
  kGoscStageBigQ = 8,                      // caption "Q" set
  kGoscStageP = 16,                        // caption "p" set
};

// Stage captions.
inline constexpr int kTextStageQ = 10004;
inline constexpr int kTextStageBigQ = 10005;
inline constexpr int kTextStageP = 10006;

// Returns 1 (stop) once the abort bit is set or the process was asked to end. Otherwise, while a
// prime is generated (phase 3 or 7), sets the caption of a stage the first time the stage's number
// (1 q, 2 Q, 3 p) is reported, clearing the total-shown bit; shows the total once per stage, then
// the iteration, the attempt and the elapsed time; returns 0.
std::int32_t ZQCDECL GoscProgress(GOSPQAProgress* progress);
// The callback of a quiet job, which has no window: returns 1 only when the
// process was asked to end (platform/termination.h).
std::int32_t ZQCDECL QuietGoscProgress(GOSPQAProgress* progress);

// "%2.2u:%2.2u:%2.2u" of hours, minutes and seconds; hours are not limited
// to two digits (360000 s is "100:00:00").
std::string FormatElapsed(std::uint32_t seconds);

}  // namespace nc::gost
