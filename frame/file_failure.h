// The outcome of a key or number file that could not be used, from the
// thread's last error: the result code AppendSystemErrorText gives it (02,
// 27, 30, 31, or 25 and 32 without a name) and the file's name worded as
// that routine words it, one blank before the name (so two stand between
// the message's colon and the name), left out when it does not fit.
#pragma once
#include "frame/operation.h"
#include "frame/result_text.h"

namespace nc::frame {

// What the outcome appends after the result message; it must live until
// the result text is built (the operation's job holds it).
struct FileFailureText {
  char text[kResultTextSize] = {};
};

// `tag` is the operation's result tag; a last error of 0 counts as 32.
Outcome FileFailure(const char* tag, const char* fileName, FileFailureText& suffix);

}  // namespace nc::frame
