// Outputs are written to a temporary file beside the file they replace and
// renamed over it only when the job succeeded; a failed or cancelled job
// removes the temporary file and leaves an existing destination exactly as
// it was. A destination that is also the job's source therefore works too.
//
// What an output never does to its user:
//   - replace anything but a regular file the user may write (a folder, a
//     device, a pipe, a socket, a read-only file, a link that leads nowhere
//     are refused with 03 and left alone); a symbolic link is followed and
//     the file it leads to replaced, the link staying;
//   - replace, without "/Y" or the user's consent, a file that appeared
//     after the check: the commit is a rename that never replaces, and the
//     operation reports 11;
//   - show its partial contents to others: the temporary file is private
//     from its first instant and gets its final permissions (the replaced
//     file's, or a new file's usual ones; key files stay private) just
//     before the rename;
//   - vanish in a power cut after the job reported success: the file and
//     its folder are flushed.
#pragma once
#include <initializer_list>
#include <string>

#include "frame/data_file.h"
#include "frame/operation.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace nc::frame {

struct OutputFile {
  std::string destination;  // as the user named it
  std::string target;       // the file it takes the place of (a link's end)
  std::string temporary;
  platform::FileHandle file = platform::kInvalidFile;
  // An existing file of the destination's name may be replaced: "/Y" was
  // given or the user agreed (MayWriteOutput). Kept by CreateOutput.
  bool mayReplace = false;
  bool secret = false;
  // The commit found the name taken by a file it was not to replace.
  bool nameTaken = false;
  bool committed = false;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();
};

// Whether the job may go on to write `name`: no such file exists, "/Y"
// (`overwrite`) was given, or the user agreed to replace it (asked under the
// title `titleId`; never asked when `quiet`, which keeps the file). Records
// in `output` whether its commit may replace a file. When it may not go on,
// the operation reports 11 with the name.
[[nodiscard]] bool MayWriteOutput(OutputFile& output, platform::WindowHandle parent, int titleId,
                                  const char* name, bool overwrite, bool quiet);

// Creates the temporary file for `destination`; false with the last error
// set when the destination may not be written or the file cannot be
// created (the operation reports OutputFailure). `secret` keeps the output
// private to its owner.
[[nodiscard]] bool CreateOutput(OutputFile& output, const char* destination, bool secret);
// Gives the temporary file its final permissions, flushes and closes it and
// renames it to the destination (over an existing file only when
// `mayReplace`); false with the last error set (and the temporary file
// removed) on failure, and when the process was asked to end meanwhile
// (platform/termination.h).
[[nodiscard]] bool CommitOutput(OutputFile& output);
// Closes and removes the temporary file unless committed. Safe to repeat.
void DiscardOutput(OutputFile& output);

// The outcome when creating, writing or committing `output` failed: 11 when
// its name was taken by a file it was not to replace, 03 otherwise; both
// name `name`.
Outcome OutputFailure(const OutputFile& output, const char* name);

// Writes a key or parameter file into `output`: the header, then the word
// blocks in order, and ends the file there. False with the last error set
// (29 for a failed write) when any step fails.
[[nodiscard]] bool WriteBlocks(OutputFile& output, const DataFileHeader& header,
                               std::initializer_list<const WordBlock*> blocks);
// WriteBlocks, then CommitOutput.
[[nodiscard]] bool WriteBlocksAndCommit(OutputFile& output, const DataFileHeader& header,
                                        std::initializer_list<const WordBlock*> blocks);

// A key pair is committed as a pair: both halves are written in full
// before either is committed, so that a half that cannot be written leaves
// both destinations as they were. The public half is committed first: should
// the secret half's commit then fail, the old secret key is still there
// (beside a new public key it does not match, which a new pair mends),
// never a new secret key replacing the old one beside an old public key.
// Returns null when both are committed, else the half that failed (the
// last error set).
OutputFile* CommitKeyPair(OutputFile& secretHalf, OutputFile& publicHalf);

// One half of a key pair: its output, the destination's name, the header and
// the blocks.
struct KeyPairHalf {
  OutputFile& output;
  const char* name;
  const DataFileHeader& header;
  std::initializer_list<const WordBlock*> blocks;
};
// Creates both halves' outputs (the secret one private to its owner),
// writes them with WriteBlocks and commits them with CommitKeyPair; the
// outcome of the half that failed (OutputFailure), or 00.
Outcome WriteKeyPair(const KeyPairHalf& secretHalf, const KeyPairHalf& publicHalf);

}  // namespace nc::frame
