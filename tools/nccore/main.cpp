// nccore: runs one operation of the library from the command line.
//   nccore <operation> [arguments...]     arguments become the option string
//   nccore <operation> --raw "<options>"  the option string as given
// Prints the result text and exits with the result code.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "nccore21.h"
#include "tools/nccore/command_line.h"

namespace {

using Operation = int32_t(NCAPI*)(void*, const char*, char*, int32_t);

struct OperationEntry {
  const char* name;
  Operation run;
  const char* summary;
};

constexpr OperationEntry kOperations[] = {
    {"ZqGOSB", ZqGOSB,
     "import a GOST substitution block: <table.txt> [<out.gtb>] [/Y] [/NOLOGO]"},
    {"ZqGOSC", ZqGOSC,
     "GOST signature common numbers p, q, a: [<out.pqa>] [/P:bits] [/EXT] [/Y] [/NOLOGO]"},
    {"ZqDIAP", ZqDIAP,
     "Diffie-Hellman common numbers A and P: [<out.ap>] [/A:lo-hi] [/P:lo-hi] [/Y] [/NOLOGO]"},
};

bool SameName(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

const OperationEntry* FindOperation(const char* name) {
  for (const OperationEntry& op : kOperations)
    if (SameName(name, op.name) || SameName(name, op.name + 2)) return &op;
  return nullptr;
}

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "usage: nccore <operation> [arguments...]\n"
               "       nccore <operation> --raw \"<option string>\"\n"
               "Arguments like /Y or /KEY:path are options (/KEY:path quotes the path);\n"
               "other arguments, and all after \"--\", are file names. The result text is\n"
               "printed and the result code is the exit status. Operation names work with\n"
               "or without the Zq prefix, in any case.\n\noperations:\n");
  for (const OperationEntry& op : kOperations) std::fprintf(out, "  %-8s %s\n", op.name, op.summary);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The library's texts are in code page 1251; show them so on a console.
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) SetConsoleOutputCP(1251);
#endif
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp(stdout);
    return 0;
  }
  const OperationEntry* op = FindOperation(argv[1]);
  if (op == nullptr) {
    std::fprintf(stderr, "nccore: unknown operation '%s'\n\n", argv[1]);
    PrintHelp(stderr);
    return 1;
  }
  std::string options;
  if (argc >= 3 && std::strcmp(argv[2], "--raw") == 0) {
    if (argc != 4) {
      std::fprintf(stderr, "nccore: --raw takes exactly one option string\n");
      return 1;
    }
    options = argv[3];
  } else {
    std::string error;
    if (!nc::host::BuildOptionString(std::vector<std::string>(argv + 2, argv + argc), &options,
                                     &error)) {
      std::fprintf(stderr, "nccore: %s\n", error.c_str());
      return 1;
    }
  }
  char result[512] = "";
  int32_t code = op->run(nullptr, options.c_str(), result, sizeof result);
  std::printf("%s\n", result);
  std::fflush(stdout);
  return static_cast<int>(code);
}
