// The overwrite question and the information box.
#include <string>

#include "frame/result_text.h"
#include "frame/text_util.h"
#include "platform/string_table.h"

namespace nc::frame {

namespace {

// Caption and text limits of the message boxes, in characters.
constexpr std::size_t kCaptionCharacters = 63;
constexpr std::size_t kTextCharacters = 511;

std::string Cut(const std::string& text, std::size_t characters) {
  return text.substr(0, CharacterPrefix(text.c_str(), characters));
}

}  // namespace

bool ConfirmOverwrite(platform::WindowHandle parent, int titleId, const char* fileName,
                      bool quiet) {
  if (quiet) return false;
  std::string caption = titleId != 0 ? Cut(platform::LoadText(titleId), kCaptionCharacters) : "";
  std::string text = platform::LoadText(platform::kTextFilePrefix) +
                     (fileName != nullptr ? fileName : "") +
                     platform::LoadText(platform::kTextExistsQuestion);
  return platform::CurrentUi().AskYesNo(parent, caption.c_str(),
                                        Cut(text, kTextCharacters).c_str());
}

void ShowInfoBox(platform::WindowHandle parent, const char* text) {
  std::string caption = Cut(platform::LoadText(platform::kTitleProtection), kCaptionCharacters);
  platform::CurrentUi().ShowInfo(parent, caption.c_str(), text != nullptr ? text : "");
}

}  // namespace nc::frame
