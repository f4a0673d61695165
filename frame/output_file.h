// Outputs are written to a temporary file beside the destination and
// renamed over it only when the job succeeded; a failed or cancelled job
// removes the temporary file and leaves an existing destination exactly as
// it was. A destination that is also the job's source therefore works too.
#pragma once
#include <initializer_list>
#include <string>

#include "frame/data_file.h"
#include "platform/files.h"

namespace nc::frame {

struct OutputFile {
  std::string destination;
  std::string temporary;
  platform::FileHandle file = platform::kInvalidFile;
  bool committed = false;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();
};

// Creates the temporary file for `destination`; false with the last error
// set when it cannot be created (the operation reports 03 with the
// destination's name). `secret` keeps the file private to its owner.
[[nodiscard]] bool CreateOutput(OutputFile& output, const char* destination, bool secret);
// Closes the temporary file and renames it over the destination; false with
// the last error set (and the temporary file removed) on failure.
[[nodiscard]] bool CommitOutput(OutputFile& output);
// Closes and removes the temporary file unless committed. Safe to repeat.
void DiscardOutput(OutputFile& output);

// Writes a key or parameter file into `output`: the header, then the word
// blocks in order; ends the file there and commits it. False with the last
// error set (29 for a failed write) when any step fails.
[[nodiscard]] bool WriteBlocksAndCommit(OutputFile& output, const DataFileHeader& header,
                                        std::initializer_list<const WordBlock*> blocks);

}  // namespace nc::frame
