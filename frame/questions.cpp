// The overwrite question and the information box.
#include <cstring>

#include "frame/result_text.h"
#include "frame/string_table.h"
#include "frame/text_util.h"

namespace nc::frame {

bool ConfirmOverwrite(platform::WindowHandle parent, int titleId, const char* fileName,
                      bool quiet) {
  if (quiet) return false;
  char caption[64] = "";
  if (titleId != 0) LoadText(titleId, caption, sizeof caption);
  char text[512] = "";
  char piece[512];
  LoadText(kTextFilePrefix, piece, sizeof piece);
  AppendText(text, sizeof text, piece);
  AppendText(text, sizeof text, fileName != nullptr ? fileName : "");
  LoadText(kTextExistsQuestion, piece, sizeof piece);
  AppendText(text, sizeof text, piece);
  return platform::CurrentUi().AskYesNo(parent, caption, text);
}

void ShowInfoBox(platform::WindowHandle parent, const char* text) {
  char caption[64] = "";
  LoadText(kTitleProtection, caption, sizeof caption);
  platform::CurrentUi().ShowInfo(parent, caption, text != nullptr ? text : "");
}

}  // namespace nc::frame
