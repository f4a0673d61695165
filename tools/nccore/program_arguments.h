// The host's arguments in the library's text encoding: as given on POSIX
// (UTF-8); on Windows taken from the wide command line and converted to code
// page 1251, whatever the system's ANSI code page (which the C runtime's argv
// would use, turning Cyrillic names into '?' on a non-Russian system).
#pragma once
#include <string>
#include <vector>

namespace nc::host {

// False (with `error` set) when an argument holds a character the library's
// encoding cannot hold: such a name would reach the library as another name.
bool ProgramArguments(int argc, char** argv, std::vector<std::string>* arguments,
                      std::string* error);

}  // namespace nc::host
