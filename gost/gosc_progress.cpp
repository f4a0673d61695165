#include "gost/gosc_progress.h"

#include <cstdio>

#include "platform/string_table.h"
#include "platform/termination.h"

namespace nc::gost {

namespace {

using platform::GeneratorField;

// The start-up strings of the generators hold 255 bytes.
constexpr std::size_t kCaptionSize = 256;

struct Stage {
  std::uint32_t number;
  std::uint32_t bit;
  int textId;
};
constexpr Stage kStages[] = {
    {kGosPqaNumberQ, kGoscStageQ, kTextStageQ},
    {kGosPqaNumberBigQ, kGoscStageBigQ, kTextStageBigQ},
    {kGosPqaNumberP, kGoscStageP, kTextStageP},
};

void ShowNumber(frame::GeneratorWindow& window, GeneratorField field, std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  frame::ShowGeneratorField(window, field, text);
}

}  // namespace

std::string FormatElapsed(std::uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%2.2u:%2.2u:%2.2u", static_cast<unsigned>(seconds / 3600),
                static_cast<unsigned>(seconds % 3600 / 60), static_cast<unsigned>(seconds % 60));
  return text;
}

std::int32_t ZQCDECL GoscProgress(GOSPQAProgress* progress) {
  auto& window = *static_cast<frame::GeneratorWindow*>(progress->window);
  if ((window.word.load() & kGoscAbort) != 0 || platform::TerminationRequested()) return 1;

  if (progress->phase == kGosPqaPhasePrime16 || progress->phase == kGosPqaPhasePrime32) {
    for (const Stage& stage : kStages) {
      if (progress->number != stage.number || (window.word.load() & stage.bit) != 0) continue;
      window.word.fetch_or(stage.bit);
      window.word.fetch_and(~static_cast<std::uint32_t>(kGoscTotalShown));
      char caption[kCaptionSize];
      platform::LoadText(stage.textId, caption, sizeof caption);
      frame::ShowGeneratorStage(window, caption);
    }
  }
  if ((window.word.fetch_or(kGoscTotalShown) & kGoscTotalShown) == 0)
    ShowNumber(window, GeneratorField::Total, progress->iterations);
  ShowNumber(window, GeneratorField::Iteration, progress->iteration);
  ShowNumber(window, GeneratorField::Attempt, progress->attempt);
  frame::ShowGeneratorField(window, GeneratorField::Elapsed,
                            FormatElapsed(progress->seconds).c_str());
  return 0;
}

std::int32_t ZQCDECL QuietGoscProgress(GOSPQAProgress*) {
  return platform::TerminationRequested() ? 1 : 0;
}

}  // namespace nc::gost
