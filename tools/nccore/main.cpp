// nccore: runs one operation of the library from the command line.
//   nccore [host flags] <operation> [arguments...]     arguments become the option string
//   nccore [host flags] <operation> --raw "<options>"  the option string as given
// Prints the result text and exits with the result code. The host flags
// (tools/nccore/host_flags.h) name the password source and the carriers.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "nccore21.h"
#include "tools/nccore/command_line.h"
#include "tools/nccore/host_flags.h"
#include "tools/nccore/program_arguments.h"

namespace {

using Operation = int32_t(NCAPI*)(void*, const char*, char*, int32_t);

struct OperationEntry {
  const char* name;
  Operation run;
  const char* summary;
};

constexpr OperationEntry kOperations[] = {
    {"ZqDESK", ZqDESK, "DES key: [[PWD,TM,QUADRA,ACTIVATOR,TESSEL:]<key.dek>] [/Y] [/NOLOGO]"},
    {"ZqDESF", ZqDESF,
     "DES files: <source> <destination> /ECB|/CBC|/CFB[:n]|/OFB[:n]|/D|/HASH|/COMP "
     "[/KEY:<key.dek>] [/Y] [/NOLOGO]"},
    {"ZqGOSK", ZqGOSK, "GOST key: [[PWD,TM,QUADRA,ACTIVATOR,TESSEL:]<key.gek>] [/Y] [/NOLOGO]"},
    {"ZqGOSB", ZqGOSB, "import a GOST substitution block: <table.txt> [<out.gtb>] [/Y] [/NOLOGO]"},
    {"ZqGOSC", ZqGOSC,
     "GOST signature common numbers p, q, a: [<out.pqa>] [/P:bits] [/EXT] [/Y] [/NOLOGO]"},
    {"ZqGOSP", ZqGOSP,
     "GOST signature key pair: [/SECRET:[PWD,TM,...:]<x.gsk>] [/PUBLIC:<y.gpk>] [/PQA:<n.pqa>] "
     "[/Y] [/NOLOGO]"},
    {"ZqGOSF", ZqGOSF,
     "GOST files: <source> <destination> /SR|/GM|/FG|/D|/IMIT|/HASH|/SIGN|/CHECK|/COMP "
     "[/BLK:<t.gtb>] [/KEY:<k.gek>] [/PQA:<n.pqa>] [/SECRET:<x.gsk>] [/PUBLIC:<y.gpk>] [/Y] "
     "[/NOLOGO]"},
    {"ZqRSAK", ZqRSAK,
     "RSA key pair: [/N:lo-hi] [/E:lo-hi] [/SECRET:[PWD,TM,...:]<key.rsk>] [/PUBLIC:<key.rpk>] "
     "[/Y] [/NOLOGO]"},
    {"ZqRSAF", ZqRSAF,
     "RSA files: <source> <destination> /E|/D|/HASH|/SIGN|/CHECK|/COMP [/KEY:<key.rsk|key.rpk>] "
     "[/Y] [/NOLOGO]"},
    {"ZqDIAP", ZqDIAP,
     "Diffie-Hellman common numbers A and P: [<out.ap>] [/A:lo-hi] [/P:lo-hi] [/Y] [/NOLOGO]"},
    {"ZqDIK", ZqDIK,
     "Diffie-Hellman session key pair: [/X:lo-hi] [/AP:<n.ap>] [/SECRET:[PWD,TM,...:]<x.dsk>] "
     "[/PUBLIC:<y.dpk>] [/Y] [/NOLOGO]"},
    {"ZqDIF", ZqDIF,
     "Diffie-Hellman files (DES under the agreed key): <source> <destination> "
     "/ECB|/CBC|/CFB[:n]|/OFB[:n]|/D|/HASH|/COMP [/AP:<n.ap>] [/SECRET:<own.dsk>] "
     "[/PUBLIC:<other.dpk>] [/Y] [/NOLOGO]"},
    {"ZqPWD", ZqPWD,
     "change a key file's protection: <key file> [PWD,TM,QUADRA,ACTIVATOR,TESSEL:]<destination> "
     "[/Y] (no quiet mode: every question is asked)"},
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

// The encoding of password lines when --password-encoding is not given.
#ifdef _WIN32
#define NCCORE_DEFAULT_PASSWORD_ENCODING "cp1251"
#else
#define NCCORE_DEFAULT_PASSWORD_ENCODING "utf-8"
#endif

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "usage: nccore [host flags] <operation> [arguments...]\n"
               "       nccore [host flags] <operation> --raw \"<option string>\"\n"
               "       nccore --version | --self-test\n"
               "Arguments like /Y or /KEY:path are options (/KEY:path quotes the path);\n"
               "other arguments, and all after \"--\", are file names. The result text is\n"
               "printed and the result code is the exit status. Operation names work with\n"
               "or without the Zq prefix, in any case.\n\noperations:\n");
  for (const OperationEntry& op : kOperations)
    std::fprintf(out, "  %-8s %s\n", op.name, op.summary);
  std::fprintf(out,
               "\nhost flags (before the operation; also as --flag=VALUE):\n"
               "  --password-file FILE  answer the password questions of protected keys\n"
               "                        from FILE, one line per question; keep FILE\n"
               "                        readable only by you\n"
               "  --password-fd N       the same from the open descriptor N (0: standard\n"
               "                        input), e.g. --password-fd 3 3<secret.txt\n"
               "  --password-encoding E how those lines are encoded: utf-8 or cp1251\n"
               "                        (default " NCCORE_DEFAULT_PASSWORD_ENCODING
               "); a line not\n"
               "                        valid in it, or holding a NUL byte, is refused\n"
               "  --carriers FILE       use the simulated carriers (Touch Memory, dongles,\n"
               "                        token) described in FILE for this run (only in\n"
               "                        the demonstration host nccore-sim; this one was\n"
               "                        built %s)\n"
               "  --version             the library's version, build and platform\n"
               "  --self-test           run the library's known-answer tests of its\n"
               "                        primitives and the random generator's health\n"
               "                        check, one line per test; exit status 1 when\n"
               "                        any fails\n"
               "  --help, -h            this text\n"
               "A password is never given on the command line. With /NOLOGO nothing is\n"
               "asked: hardware carriers are read once, silently, and a key protected by a\n"
               "password then fails (25); give the password with --password-file or\n"
               "--password-fd instead of /NOLOGO.\n",
#ifdef NCCORE_WITH_SIMULATORS
               "with them"
#else
               "without them"
#endif
  );
}

void NCAPI PrintSelfTestLine(void*, const char* test, int32_t passed) {
  std::printf("%-7s %s\n", passed != 0 ? "ok" : "FAILED", test);
}

// Runs the library's self-test: one line per test, then the count.
int RunSelfTest() {
  const int32_t failures = nccore21_self_test(PrintSelfTestLine, nullptr);
  if (failures == 0)
    std::printf("self-test passed\n");
  else
    std::printf("self-test FAILED: %d test(s)\n", static_cast<int>(failures));
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The library's texts are in code page 1251; show them so on a console.
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) SetConsoleOutputCP(1251);
#endif
  std::string error;
  std::vector<std::string> arguments;
  if (!nc::host::ProgramArguments(argc, argv, &arguments, &error)) {
    std::fprintf(stderr, "nccore: %s\n", error.c_str());
    return 1;
  }
  // From here on argv holds the arguments in the library's encoding.
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  argv = pointers.data();

  nc::host::HostFlags flags;
  int first = 1;  // the operation's name
  if (!nc::host::ParseHostFlags(argc, argv, &flags, &first, &error)) {
    std::fprintf(stderr, "nccore: %s (see nccore --help)\n", error.c_str());
    return 1;
  }
  if (flags.help || argc < 2) {
    PrintHelp(stdout);
    return 0;
  }
  if ((flags.version || flags.selfTest) && first < argc) {
    std::fprintf(stderr, "nccore: --version and --self-test take no operation\n");
    return 1;
  }
  if (flags.version) {
    std::printf("nccore21 %s\n", nccore21_version());
    return 0;
  }
  if (flags.selfTest) return RunSelfTest();
  if (first >= argc) {
    std::fprintf(stderr, "nccore: no operation given (see nccore --help)\n");
    return 1;
  }
  const OperationEntry* op = FindOperation(argv[first]);
  if (op == nullptr) {
    std::fprintf(stderr, "nccore: unknown operation '%s'\n\n", argv[first]);
    PrintHelp(stderr);
    return 1;
  }
  std::string options;
  if (argc >= first + 2 && std::strcmp(argv[first + 1], "--raw") == 0) {
    if (argc != first + 3) {
      std::fprintf(stderr, "nccore: --raw takes exactly one option string\n");
      return 1;
    }
    options = argv[first + 2];
  } else if (!nc::host::BuildOptionString(std::vector<std::string>(argv + first + 1, argv + argc),
                                          &options, &error)) {
    std::fprintf(stderr, "nccore: %s\n", error.c_str());
    return 1;
  }
  if (!nc::host::ApplyHostFlags(flags, &error)) {
    std::fprintf(stderr, "nccore: %s\n", error.c_str());
    return 1;
  }
  char result[512] = "";
#ifdef _WIN32
  // The console window owns the library's windows, so they open centred on
  // it and stay above it (null when the host has no console).
  void* parent = ::GetConsoleWindow();
#else
  void* parent = nullptr;
#endif
  int32_t code = op->run(parent, options.c_str(), result, sizeof result);
  std::printf("%s\n", result);
  std::fflush(stdout);
  return static_cast<int>(code);
}
