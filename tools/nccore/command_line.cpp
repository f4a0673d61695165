#include "tools/nccore/command_line.h"

#include <cctype>

namespace nc::host {

namespace {

// Options of the operations that are followed by a file name.
constexpr const char* kNameOptions[] = {"/KEY:", "/SECRET:", "/PUBLIC:", "/PQA:", "/AP:",
                                        "/BLK:"};

bool StartsWithFolded(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i)
    if (i >= text.size() ||
        std::toupper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(prefix[i]))
      return false;
  return true;
}

// "/Y", "/NOLOGO", "/KEY:...", "/CFB:3": a slash, letters, then the end or a
// colon. "/tmp/a.txt" is an absolute file name, not an option.
bool LooksLikeOption(const std::string& argument) {
  if (argument.size() < 2 || argument[0] != '/') return false;
  std::size_t i = 1;
  while (i < argument.size() && std::isalpha(static_cast<unsigned char>(argument[i]))) ++i;
  return i > 1 && (i == argument.size() || argument[i] == ':');
}

}  // namespace

bool BuildOptionString(const std::vector<std::string>& arguments, std::string* options,
                       std::string* error) {
  options->clear();
  bool namesOnly = false;
  for (const std::string& argument : arguments) {
    if (!namesOnly && argument == "--") {
      namesOnly = true;
      continue;
    }
    std::string token;
    if (!namesOnly && LooksLikeOption(argument)) {
      token = argument;
      for (const char* option : kNameOptions) {
        std::string prefix(option);
        if (!StartsWithFolded(argument, option)) continue;
        std::string name = argument.substr(prefix.size());
        if (!name.empty() && name.front() == '"') break;  // already quoted
        if (name.find('"') != std::string::npos) {
          *error = "a file name cannot contain a double quote: " + argument;
          return false;
        }
        token = argument.substr(0, prefix.size()) + "\"" + name + "\"";
        break;
      }
    } else {
      if (argument.find('"') != std::string::npos) {
        *error = "a file name cannot contain a double quote: " + argument;
        return false;
      }
      token = "\"" + argument + "\"";
    }
    if (!options->empty()) options->push_back(' ');
    options->append(token);
  }
  return true;
}

}  // namespace nc::host
