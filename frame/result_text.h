// The result text of an operation: its tag (e.g. "ZQGOSB"), the message of
// the result code, and for some codes the file name concerned.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/ui.h"

namespace nc::frame {

// Result codes.
enum ResultCode : int {
  kResultOk = 0,
  kResultBadCommand = 1,
  kResultReadError = 2,
  kResultWriteError = 3,
  kResultFilesDiffer = 7,
  kResultCancelled = 10,
  kResultFileExists = 11,
  kResultSignatureBad = 12,
  kResultHardwareError = 25,
  kResultNoMemory = 26,
  kResultBadFormat = 27,
  kResultDialogError = 28,
  kResultThreadError = 29,
  kResultBadVersion = 30,
  kResultCorrupt = 31,
  kResultUnknownError = 32,
  kResultException = 33,
  kResultNotProtectable = 34,
};

inline constexpr std::size_t kResultTextSize = 512;

struct ResultText {
  char text[kResultTextSize];
};

// Starts the text with the operation's tag.
void InitResultText(ResultText& result, const char* tag);
// Appends the message of `code`, and `fileName` directly after it when the
// message takes one (it ends in ": ") and the name is not null.
void AppendResult(ResultText& result, int code, const char* fileName = nullptr);
// The code the text carries: the number after the tag (`tagLength` bytes).
int ResultCodeOf(const ResultText& result, std::size_t tagLength);
// Copies the text to the caller's buffer, cut to `size` bytes with the
// terminator and never inside a character. Nothing is written when the
// buffer is null or `size` is not positive.
void CopyResultOut(const ResultText& result, char* buffer, std::int32_t size);

// Converts the thread's last error into a result (table below) and appends
// its text; the name is appended after one blank when the code takes one
// and the space left exceeds its length plus one. Error 0 empties the text.
//   13 -> 27, 29 -> 03, 30 -> 02, 1305 -> 30, 1326 -> 25, 1392 -> 31,
//   anything else -> 32.
void AppendSystemErrorText(char* text, std::size_t size, const char* fileName);
// The result code the last error `error` maps to (0 for error 0).
int ResultForSystemError(std::uint32_t error);

// Asks whether to overwrite an existing file, unless quiet (then "no").
// Caption: the title `titleId` (none for 0); text: "Файл <name> уже
// существует. Перезаписать файл?".
bool ConfirmOverwrite(platform::WindowHandle parent, int titleId, const char* fileName,
                      bool quiet);

// Shows an information box titled with the change-of-protection title.
void ShowInfoBox(platform::WindowHandle parent, const char* text);

}  // namespace nc::frame
