// Turning the host's arguments into an operation's option string.
#pragma once
#include <string>
#include <vector>

namespace nc::host {

// Arguments that look like options ("/Y", "/KEY:path": a slash, letters, then
// the end or a colon) pass as options; an option that takes a file
// name ("/KEY:path") gets the name quoted ("/KEY:\"path\""); every other
// argument becomes a quoted name token, and so does every argument after
// "--". False (with `error` set) for an
// argument that cannot be written as a token (it holds a double quote).
bool BuildOptionString(const std::vector<std::string>& arguments, std::string* options,
                       std::string* error);

}  // namespace nc::host
