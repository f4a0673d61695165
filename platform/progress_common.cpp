// What every backend shares for the progress windows: the default (silent)
// views, and the lines the text backends draw.
#include <algorithm>
#include <cstdio>

#include "platform/library_text.h"
#include "platform/progress_ui.h"
#include "platform/ui.h"

namespace nc::platform {

namespace {

class SilentProgress final : public ProgressView {
 public:
  void SetCaption(int, const char*) override {}
  void SetDescription(int, const char*, const char*, const char*) override {}
  void SetPercent(unsigned) override {}
  void Pump() override {}
};

class SilentGenerator final : public GeneratorView {
 public:
  void SetStage(const char*) override {}
  void SetField(GeneratorField, const char*) override {}
};

// Bytes taken by the last `characters` characters of `text`.
std::size_t TailBytes(const std::string& text, std::size_t characters) {
  std::size_t at = text.size();
  for (std::size_t n = 0; at > 0 && n < characters; ++n) {
    --at;
    while (at > 0 && IsContinuationByte(text[at])) --at;
  }
  return text.size() - at;
}

// `text` in at most `columns` characters: its beginning replaced by "..."
// (the end of a path names the file).
std::string Shorten(const std::string& text, std::size_t columns) {
  if (TextColumns(text) <= columns) return text;
  if (columns <= 3) return text.substr(text.size() - TailBytes(text, columns));
  return "..." + text.substr(text.size() - TailBytes(text, columns - 3));
}

std::string CutEnd(const std::string& text, std::size_t columns) {
  return text.substr(0, CharacterPrefix(text.c_str(), columns));
}

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The generator line's words.
constexpr char kIteration[] = "итерация";
constexpr char kOf[] = "из";
constexpr char kAttempt[] = "попытка";

}  // namespace

std::unique_ptr<ProgressView> UiBackend::OpenProgress(WindowHandle, ProgressWord&) {
  return SilentProgressView();
}

std::unique_ptr<GeneratorView> UiBackend::OpenGenerator(WindowHandle, ProgressWord&,
                                                        GeneratorKind) {
  return SilentGeneratorView();
}

std::unique_ptr<ProgressView> SilentProgressView() { return std::make_unique<SilentProgress>(); }

std::unique_ptr<GeneratorView> SilentGeneratorView() { return std::make_unique<SilentGenerator>(); }

std::size_t TextColumns(const std::string& text) {
  std::size_t n = 0;
  for (char c : text) n += !IsContinuationByte(c);
  return n;
}

std::string ComposeProgressLine(const std::string& title, const std::string& first,
                                const std::string& second, unsigned percent, std::size_t columns) {
  if (percent > 100) percent = 100;
  const std::size_t width = columns > 1 ? columns - 1 : 0;
  const std::size_t barWidth = width >= 60 ? 20 : 10;
  const std::size_t filled = barWidth * percent / 100;
  char number[8];
  std::snprintf(number, sizeof number, "%3u%%", percent);
  const std::string tail =
      " [" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "] " + number;

  // What is left for the title and the names; the title goes first when
  // the names would get too little room.
  constexpr std::size_t kArrow = 4;  // " -> "
  constexpr std::size_t kNamesWanted = 40;
  std::size_t room = width > tail.size() ? width - tail.size() : 0;
  std::string head;
  std::string titled = Trimmed(title);
  const std::size_t namesWanted = std::min(TextColumns(first) + TextColumns(second), kNamesWanted);
  if (!titled.empty() && TextColumns(titled) + 2 + kArrow + namesWanted <= room) {
    head = titled + ": ";
    room -= TextColumns(head);
  }
  if (room > kArrow) {
    std::size_t names = room - kArrow;
    std::size_t firstRoom = names / 2;
    std::size_t secondRoom = names - firstRoom;
    // A short first name leaves its room to the second, and the reverse.
    if (TextColumns(first) < firstRoom) {
      secondRoom += firstRoom - TextColumns(first);
      firstRoom = TextColumns(first);
    } else if (TextColumns(second) < secondRoom) {
      firstRoom += secondRoom - TextColumns(second);
      secondRoom = TextColumns(second);
    }
    head += Shorten(first, firstRoom) + " -> " + Shorten(second, secondRoom);
  }
  return CutEnd(head + tail, width);
}

std::string ComposeGeneratorLine(const std::string& stage,
                                 const std::string (&fields)[kGeneratorFieldCount],
                                 std::size_t columns) {
  const std::size_t width = columns > 1 ? columns - 1 : 0;
  const std::string& total = fields[static_cast<int>(GeneratorField::Total)];
  const std::string& iteration = fields[static_cast<int>(GeneratorField::Iteration)];
  const std::string& attempt = fields[static_cast<int>(GeneratorField::Attempt)];
  const std::string& elapsed = fields[static_cast<int>(GeneratorField::Elapsed)];
  std::string line = Trimmed(stage);
  auto add = [&line](const std::string& part) {
    if (part.empty()) return;
    if (!line.empty()) line += " | ";
    line += part;
  };
  std::string counter;
  if (!iteration.empty()) counter = LibraryText(kIteration) + " " + iteration;
  if (!total.empty()) counter += (counter.empty() ? "" : " ") + LibraryText(kOf) + " " + total;
  add(counter);
  if (!attempt.empty()) add(LibraryText(kAttempt) + " " + attempt);
  add(elapsed);
  const char* const names[] = {"P: ", "Q: ", "E: "};
  const GeneratorField lines[] = {GeneratorField::PrimeP, GeneratorField::PrimeQ,
                                  GeneratorField::ExponentE};
  for (int i = 0; i < 3; ++i) {
    const std::string& text = fields[static_cast<int>(lines[i])];
    if (!text.empty()) add(names[i] + text);
  }
  return CutEnd(line, width);
}

}  // namespace nc::platform
