// A Windows host that loads NCCORE21.DLL by name, as host programs do, and
// checks its interface: the exact export list (taken from the .def file
// given on the command line), undecorated names, the stdcall convention, and
// a few calls with their result texts in code page 1251.
//
//   load_dll.exe <nccore21.def>
//
// Runs in a scratch folder (it writes table.txt and out.gtb there); the DLL
// is found beside this program. Exit status 0 when every check passed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL %s\n", what);
    ++g_failures;
  }
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char piece[4];
  for (unsigned char c : bytes) {
    std::snprintf(piece, sizeof piece, "%02x ", c);
    out += piece;
  }
  return out;
}

// Export names listed in the .def file, without their "@n" suffixes.
std::set<std::string> DefExports(const char* path) {
  std::set<std::string> names;
  std::ifstream in(path);
  std::string line;
  bool inExports = false;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find(';'));
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    if (word == "EXPORTS") {
      inExports = true;
      continue;
    }
    if (word == "LIBRARY" || word == "NAME") {
      inExports = false;
      continue;
    }
    if (inExports) names.insert(word.substr(0, word.find('@')));
  }
  return names;
}

// Names in the module's export directory, walked from its PE headers.
std::set<std::string> ModuleExports(HMODULE module) {
  std::set<std::string> names;
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.VirtualAddress == 0) return names;
  auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto* nameRvas = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  for (DWORD i = 0; i < directory->NumberOfNames; ++i)
    names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
  // Exports by ordinal only would carry no name; there must be none.
  if (directory->NumberOfFunctions != directory->NumberOfNames) names.insert("<ordinal-only>");
  return names;
}

// Calls `function` with `count` 32-bit arguments pushed right to left, as a
// stdcall caller does, and reports how many bytes of arguments the callee
// took off the stack itself (stdcall: all of them; cdecl: none).
extern "C" std::uint32_t __cdecl CallCountingPops(const void* function, std::uint32_t count,
                                                  const std::uint32_t* arguments,
                                                  std::uint32_t* result);
asm(R"(
    .text
    .globl _CallCountingPops
    .def _CallCountingPops; .scl 2; .type 32; .endef
_CallCountingPops:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %ecx
    movl 16(%ebp), %esi
2:  testl %ecx, %ecx
    jz 3f
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jmp 2b
3:  movl %esp, %ebx
    call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl %esp, %eax
    subl %ebx, %eax
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

std::uint32_t Word(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

struct OperationCall {
  const char* what;
  const char* options;
  std::int32_t code;
  const char* text;  // code page 1251
};

// "ZQGOSB" followed by the messages of codes 00 and 01.
constexpr char kSuccess[] =
    "ZQGOSB00: \xCE\xEF\xE5\xF0\xE0\xF6\xE8\xFF \xE2\xFB\xEF\xEE\xEB\xED\xE5\xED\xE0 "
    "\xF3\xF1\xEF\xE5\xF8\xED\xEE";
constexpr char kBadCommand[] =
    "ZQGOSB01: \xCD\xE5\xEF\xF0\xE0\xE2\xE8\xEB\xFC\xED\xFB\xE9 \xF4\xEE\xF0\xEC\xE0\xF2 "
    "\xEA\xEE\xEC\xE0\xED\xE4\xFB";

constexpr OperationCall kCalls[] = {
    {"empty option string", "", 1, kBadCommand},
    {"import a table", "\"table.txt\" \"out.gtb\" /Y", 0, kSuccess},
};

bool WriteTable(const char* path) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  for (int row = 0; row < 8; ++row) std::fputs("4 a 9 2 d 8 0 e\r\n", file);
  return std::fclose(file) == 0;
}

std::string FileStart(const char* path, std::size_t size) {
  std::string bytes(size, '\0');
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return std::string();
  bytes.resize(std::fread(bytes.data(), 1, size, file));
  std::fclose(file);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: load_dll <nccore21.def>\n");
    return 2;
  }
  std::set<std::string> expected = DefExports(argv[1]);
  Check(expected.count("ZqGOSB") == 1 && expected.count("intSTRIStr") == 1,
        "the .def file lists ZqGOSB and intSTRIStr");

  HMODULE dll = LoadLibraryA("NCCORE21.DLL");
  if (dll == nullptr) {
    std::printf("FAIL LoadLibraryA(\"NCCORE21.DLL\"): error %lu\n", GetLastError());
    return 1;
  }

  // The export list is exactly the .def list, by plain name.
  std::set<std::string> exported = ModuleExports(dll);
  Check(exported == expected, "exports equal the .def list");
  for (const std::string& name : exported) std::printf("export %s\n", name.c_str());
  for (const std::string& name : expected)
    Check(GetProcAddress(dll, name.c_str()) != nullptr, ("GetProcAddress " + name).c_str());
  for (const char* decorated : {"_ZqGOSB@16", "ZqGOSB@16", "_ZqGOSB", "_intSTRIStr@8",
                                "intSTRIStr@8", "_intSTRIStr", "DllMain", "DllMain@12"})
    Check(GetProcAddress(dll, decorated) == nullptr, decorated);

  const void* zqgosb = reinterpret_cast<const void*>(GetProcAddress(dll, "ZqGOSB"));
  const void* stristr = reinterpret_cast<const void*>(GetProcAddress(dll, "intSTRIStr"));
  if (zqgosb == nullptr || stristr == nullptr) {
    std::printf("FAIL the two named exports are missing\n");
    return 1;
  }

  // The operation: stdcall, result text and code.
  Check(WriteTable("table.txt"), "write table.txt");
  DeleteFileA("out.gtb");
  for (const OperationCall& call : kCalls) {
    char result[512];
    std::memset(result, 0x55, sizeof result);
    std::uint32_t returned = 0xFFFFFFFF;
    std::uint32_t arguments[] = {0, Word(call.options), Word(result), sizeof result};
    std::uint32_t popped = CallCountingPops(zqgosb, 4, arguments, &returned);
    std::string what = std::string("ZqGOSB, ") + call.what;
    Check(popped == 16, (what + ": the callee removes its 16 bytes of arguments").c_str());
    Check(static_cast<std::int32_t>(returned) == call.code, (what + ": return value").c_str());
    bool terminated = std::memchr(result, '\0', sizeof result) != nullptr;
    Check(terminated && std::strcmp(result, call.text) == 0, (what + ": result text").c_str());
    if (terminated && std::strcmp(result, call.text) != 0)
      std::printf("  got      %s\n  expected %s\n", Hex(result).c_str(), Hex(call.text).c_str());
  }
  Check(FileStart("out.gtb", 17) == "TAVOCRYPTDATAFILE", "out.gtb is a data file");

  // intSTRIStr: stdcall, a pointer into the text or null.
  struct Search {
    const char* text;
    const char* pattern;
    int at;  // -1: null
  };
  const Search searches[] = {{"Abc /nologo", "/NOLOGO", 4}, {"Abc", "Abcd", -1}, {"x", "", 0}};
  for (const Search& s : searches) {
    std::uint32_t returned = 0;
    std::uint32_t arguments[] = {Word(s.text), Word(s.pattern)};
    std::uint32_t popped = CallCountingPops(stristr, 2, arguments, &returned);
    std::string what = std::string("intSTRIStr(\"") + s.text + "\", \"" + s.pattern + "\")";
    Check(popped == 8, (what + ": the callee removes its 8 bytes of arguments").c_str());
    std::uint32_t want = s.at < 0 ? 0 : Word(s.text + s.at);
    Check(returned == want, what.c_str());
  }

  FreeLibrary(dll);
  std::printf("%s\n", g_failures == 0 ? "load_dll: all checks passed" : "load_dll: FAILED");
  return g_failures == 0 ? 0 : 1;
}
