// Flags of the host itself, given before the operation's name:
//   --password-file FILE   the password(s) for protected keys, one line per
//                          question, read from FILE
//   --password-fd N        the same from an open descriptor (0: standard input)
//   --password-encoding E  how those lines are encoded: utf-8 or cp1251
//                          (default: utf-8 on POSIX, cp1251 on Windows)
//   --carriers FILE        simulated carriers described in FILE (the
//                          demonstration host only: tools/nccore/carriers_flag.h)
//   --version              the library's version, build and platform
//   --self-test            the library's self-test of its primitives
// The library takes the password source from the environment: the host
// opens it and names it in NCCORE_PASSWORD_FD (POSIX: the descriptor number;
// Windows: the HANDLE value in decimal).
// Each flag also takes the form --flag=VALUE.
#pragma once
#include <cstddef>
#include <string>

namespace nc::host {

struct HostFlags {
  bool help = false;                 // --help or -h among them
  bool version = false;              // --version among them
  bool selfTest = false;             // --self-test among them
  std::string passwordFile;          // empty: not given
  int passwordFileIndex = -1;        // its argv index and where in that argument
  std::size_t passwordFileSkip = 0;  // it starts (Windows reads the name as UTF-16)
  std::string passwordFd;            // empty: not given
  std::string passwordEncoding;      // empty: not given (the platform's default)
  std::string carriers;              // empty: not given
};

// Reads the host flags from argv[1] on; `*next` becomes the index of the
// first argument after them (the operation's name, or argc). False with
// `error` set for an unknown flag, a flag without its value, an empty
// value, a flag given twice, an encoding other than utf-8 and cp1251, or an
// encoding without a password source.
bool ParseHostFlags(int argc, char** argv, HostFlags* flags, int* next, std::string* error);

// Opens the password source and sets the environment for this run. False
// with `error` set, and nothing set, when the password file or the carrier
// description cannot be read, or N is not an open descriptor.
bool ApplyHostFlags(const HostFlags& flags, std::string* error);

}  // namespace nc::host
