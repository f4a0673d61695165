// What the DES file processors share (ZqDESF, and ZqDIF, whose key comes
// from a Diffie-Hellman exchange): the head of their option table (the flags
// and the seven commands), the scan of commands and the two names, and the
// run of the command once its key is known.
#pragma once
#include <array>
#include <cstddef>

#include "des/des_file_workers.h"
#include "frame/file_failure.h"
#include "frame/operation.h"
#include "frame/options.h"

namespace nc::des {

enum DesFileOption : int {
  kOptionQuiet,
  kOptionOverwrite,
  kOptionEcb,
  kOptionCbc,
  kOptionCfb,
  kOptionOfb,
  kOptionDecrypt,
  kOptionHash,
  kOptionCompare,
  kDesFileOptionCount,  // a processor's own options follow from here
};

inline constexpr frame::OptionSpec kDesFileOptions[kDesFileOptionCount] = {
    {"/NOLOGO", frame::OptionArg::None}, {"/Y", frame::OptionArg::None},
    {"/ECB", frame::OptionArg::None},    {"/CBC", frame::OptionArg::None},
    {"/CFB", frame::OptionArg::Number},  {"/OFB", frame::OptionArg::Number},
    {"/D", frame::OptionArg::None},      {"/HASH", frame::OptionArg::None},
    {"/COMP", frame::OptionArg::None},
};

// A processor's option table: the shared head, then its own options.
template <std::size_t N>
constexpr std::array<frame::OptionSpec, kDesFileOptionCount + N> DesFileOptionTable(
    const frame::OptionSpec (&own)[N]) {
  std::array<frame::OptionSpec, kDesFileOptionCount + N> table{};
  for (std::size_t i = 0; i < kDesFileOptionCount; ++i) table[i] = kDesFileOptions[i];
  for (std::size_t i = 0; i < N; ++i) table[kDesFileOptionCount + i] = own[i];
  return table;
}

// How a processor gets its key: `load` reads its key files and puts the
// key into the job's context, or returns false with the last error set and
// `*failed` the name of the file at fault.
struct DesKeySource {
  void* context = nullptr;
  bool (*load)(void* context, DesFileJob& work, const char** failed) = nullptr;
};

// One DES file job from its option string to its outcome.
struct DesFileRun {
  const char* tag = nullptr;  // the result tag
  bool overwrite = false;
  int commands = 0;
  int names = 0;
  frame::FileFailureText keyFailure;  // what a key file's failure appends
  DesFileJob work;
};

// Takes a hit of the shared head or a positional name (index -1); false
// for a refused token (a bad unit suffix, a third name). A processor's
// handler passes on every hit below kDesFileOptionCount.
[[nodiscard]] bool TakeDesFileOption(DesFileRun& run, const frame::OptionHit& hit);

// The job after the scan: exactly one command and both names (01), the work
// buffer (26), then unless "/COMP" the overwrite question (11, under the
// job's title) and the key (a key file's failure, with its name), the
// command, and its outcome.
frame::Outcome RunDesFileCommand(DesFileRun& run, const DesKeySource& key);

}  // namespace nc::des
