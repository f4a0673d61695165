// Flags of the host itself, given before the operation's name:
//   --password-file FILE   the password(s) for protected keys, one line per
//                          question, read from FILE
//   --password-fd N        the same from an open descriptor (0: standard input)
//   --carriers FILE        simulated carriers described in FILE
// The library takes them from the environment: the host opens the password
// source and names it in NCCORE_PASSWORD_FD (POSIX: the descriptor number;
// Windows: the HANDLE value in decimal), and sets NCCORE_DEVICES to FILE.
// Each flag also takes the form --flag=VALUE.
#pragma once
#include <cstddef>
#include <string>

namespace nc::host {

struct HostFlags {
  bool help = false;                 // --help or -h among them
  std::string passwordFile;          // empty: not given
  int passwordFileIndex = -1;        // its argv index and where in that argument
  std::size_t passwordFileSkip = 0;  // it starts (Windows reads the name as UTF-16)
  std::string passwordFd;            // empty: not given
  std::string carriers;              // empty: not given
};

// Reads the host flags from argv[1] on; `*next` becomes the index of the
// first argument after them (the operation's name, or argc). False with
// `error` set for an unknown flag, a flag without its value, an empty
// value, or a flag given twice.
bool ParseHostFlags(int argc, char** argv, HostFlags* flags, int* next, std::string* error);

// Opens the password source and sets the environment for this run. False
// with `error` set, and nothing set, when the password file or the carrier
// description cannot be read, or N is not an open descriptor.
bool ApplyHostFlags(const HostFlags& flags, std::string* error);

}  // namespace nc::host
