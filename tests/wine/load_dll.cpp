// A Windows host that loads NCCORE21.DLL and its companion DLLs by name, as
// host programs do, and checks their interfaces: the exact export lists
// (taken from the .def files in the given folder), undecorated names, the
// stdcall convention (32-bit build: x86_64 has a single convention),
// NCCORE21.DLL importing every companion function by name from the companion
// itself, no mingw runtime or libgcrypt DLL needed, and a few calls with
// known answers (result texts in code page 1251).
//
//   load_dll.exe <res folder>
//
// Runs in a scratch folder (it writes table.txt and out.gtb there); the DLLs
// are found beside this program. Exit status 0 when every check passed.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "zq/zq.h"

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

// A .def file: the DLL's file name (LIBRARY) and its exports, each with its
// stdcall argument size ("ZqGOSB@16" gives ZqGOSB -> 16).
struct DefFile {
  std::string library;
  std::map<std::string, std::uint32_t> exports;
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : exports) names.insert(entry.first);
    return names;
  }
};

DefFile ReadDef(const std::string& path) {
  DefFile def;
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
      if (word == "LIBRARY") words >> def.library;
      continue;
    }
    if (inExports) {
      const std::size_t at = word.find('@');
      def.exports[word.substr(0, at)] =
          at == std::string::npos ? 0 : std::stoul(word.substr(at + 1));
    }
  }
  return def;
}

// Names in the module's export directory, walked from its PE headers.
std::set<std::string> ModuleExports(HMODULE module) {
  std::set<std::string> names;
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
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

// The module's import directory: for every DLL it names (as written there),
// the imported function names and the addresses the loader bound them to.
struct Import {
  std::string name;  // "#n" for an import by ordinal
  std::uintptr_t bound;
};

std::map<std::string, std::vector<Import>> ModuleImports(HMODULE module) {
  std::map<std::string, std::vector<Import>> imports;
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (entry.VirtualAddress == 0) return imports;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
       d->Name != 0; ++d) {
    std::vector<Import>& list = imports[reinterpret_cast<const char*>(base + d->Name)];
    // The name table (OriginalFirstThunk) survives binding; the address table
    // (FirstThunk) holds the bound addresses.
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk));
    auto* bound = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++bound) {
      std::string name;
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
        name = "#" + std::to_string(IMAGE_ORDINAL(names->u1.Ordinal));
      } else {
        name = reinterpret_cast<const char*>(
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      }
      list.push_back({name, bound->u1.Function});
    }
  }
  return imports;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// No module may need a mingw runtime DLL (libgcc_s_*, libstdc++-*,
// libwinpthread-*) or libgcrypt's and libgpg-error's DLLs: they are all linked
// statically, and their DLLs are all named "lib...".
void CheckNoLibraryDlls(HMODULE module, const std::string& what) {
  for (const auto& entry : ModuleImports(module))
    Check(Lower(entry.first).rfind("lib", 0) != 0, (what + " needs no " + entry.first).c_str());
}

// An argument as the exports take it: a 32-bit value or a pointer.
using Arg = std::uintptr_t;

#if defined(__i386__)
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
#endif

// Calls `function` with `arguments`. `popped` gets the bytes of arguments the
// callee removed itself: on 32-bit x86, measured; on x86_64, where there is
// only one convention and the caller owns the stack, the size of the 32-bit
// stdcall arguments (4 each), so the .def sizes are still checked by count.
Arg Call(const void* function, const std::vector<Arg>& arguments, std::uint32_t* popped) {
#if defined(__i386__)
  std::vector<std::uint32_t> words(arguments.begin(), arguments.end());
  std::uint32_t result = 0xFFFFFFFF;
  *popped =
      CallCountingPops(function, static_cast<std::uint32_t>(words.size()), words.data(), &result);
  return result;
#else
  *popped = static_cast<std::uint32_t>(4 * arguments.size());
  const Arg* a = arguments.data();
  switch (arguments.size()) {
    case 1:
      return reinterpret_cast<Arg (*)(Arg)>(function)(a[0]);
    case 2:
      return reinterpret_cast<Arg (*)(Arg, Arg)>(function)(a[0], a[1]);
    case 3:
      return reinterpret_cast<Arg (*)(Arg, Arg, Arg)>(function)(a[0], a[1], a[2]);
    case 4:
      return reinterpret_cast<Arg (*)(Arg, Arg, Arg, Arg)>(function)(a[0], a[1], a[2], a[3]);
    case 5:
      return reinterpret_cast<Arg (*)(Arg, Arg, Arg, Arg, Arg)>(function)(a[0], a[1], a[2], a[3],
                                                                          a[4]);
  }
  *popped = 0;
  return ~Arg{0};
#endif
}

Arg Word(const void* pointer) { return reinterpret_cast<Arg>(pointer); }

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

// ---- loading and calling a DLL -----------------------------------------------

// A loaded DLL and its .def file.
struct Module {
  HMODULE handle = nullptr;
  DefFile def;
};

// Loads the DLL its .def file names, by that name, and checks its exports:
// exactly the .def list, by plain name, no decorated form, no DllMain; and
// that it needs no runtime DLL.
bool LoadAndCheckExports(Module& m) {
  const std::string& dll = m.def.library;
  m.handle = LoadLibraryA(dll.c_str());
  if (m.handle == nullptr) {
    std::printf("FAIL LoadLibraryA(\"%s\"): error %lu\n", dll.c_str(), GetLastError());
    ++g_failures;
    return false;
  }
  const std::set<std::string> exported = ModuleExports(m.handle);
  Check(exported == m.def.Names(), (dll + ": exports equal the .def list").c_str());
  for (const std::string& name : exported) std::printf("%s export %s\n", dll.c_str(), name.c_str());
  for (const auto& [name, size] : m.def.exports) {
    Check(GetProcAddress(m.handle, name.c_str()) != nullptr,
          (dll + ": GetProcAddress " + name).c_str());
    const std::string suffix = "@" + std::to_string(size);
    for (const std::string& decorated : {"_" + name + suffix, name + suffix, "_" + name})
      Check(GetProcAddress(m.handle, decorated.c_str()) == nullptr,
            (dll + ": no export " + decorated).c_str());
  }
  for (const char* entry : {"DllMain", "DllMain@12", "_DllMain@12"})
    Check(GetProcAddress(m.handle, entry) == nullptr, (dll + ": no export " + entry).c_str());
  CheckNoLibraryDlls(m.handle, dll);
  return true;
}

// Calls export `name` of `m`, found by GetProcAddress, and checks that the
// callee removes its arguments itself, as many bytes as its .def entry says.
// Returns the function's 32-bit result.
std::uint32_t CallExport(const Module& m, const char* name, std::initializer_list<Arg> arguments) {
  const std::string what = m.def.library + " " + name;
  const void* function = reinterpret_cast<const void*>(GetProcAddress(m.handle, name));
  if (function == nullptr) {
    Check(false, (what + ": exported").c_str());
    return 0xFFFFFFFF;
  }
  const std::vector<Arg> pushed(arguments);
  std::uint32_t popped = 0;
  const auto result = static_cast<std::uint32_t>(Call(function, pushed, &popped));
  const auto entry = m.def.exports.find(name);
  Check(popped == 4 * pushed.size() && entry != m.def.exports.end() && entry->second == popped,
        (what + ": the callee removes its arguments, as the .def entry says").c_str());
  return result;
}

void CheckBytes(const void* got, const std::uint8_t* want, std::size_t size, const char* what) {
  const bool same = std::memcmp(got, want, size) == 0;
  Check(same, what);
  if (!same)
    std::printf("  got      %s\n  expected %s\n",
                Hex(std::string(static_cast<const char*>(got), size)).c_str(),
                Hex(std::string(reinterpret_cast<const char*>(want), size)).c_str());
}

// ---- the companion DLLs: known answers through their exports ---------------

// FIPS 81, appendix B: key, vector and plaintext "Now is the time for all ".
constexpr std::uint8_t kFipsKey[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
constexpr std::uint8_t kFipsIv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xab, 0xcd, 0xef};
constexpr char kFipsText[] = "Now is the time for all ";
constexpr std::uint8_t kFipsEcbFirst[8] = {0x3f, 0xa4, 0x0e, 0x8a, 0x98, 0x4d, 0x48, 0x15};
constexpr std::uint8_t kFipsCbc[24] = {0xe5, 0xc7, 0xcd, 0xde, 0x87, 0x2b, 0xf2, 0x7c,
                                       0x43, 0xe9, 0x34, 0x00, 0x8c, 0x38, 0x9c, 0x0f,
                                       0x68, 0x37, 0x88, 0x49, 0x9a, 0x7c, 0x05, 0xf6};

void CheckDes(const Module& des) {
  // DESEdk, then DESExec in ECB over the first block.
  DesJobContext job;
  std::memset(&job, 0, sizeof job);
  job.size = sizeof job;
  job.operation = kDesEncipher;
  job.mode = kDesEcb;
  job.unitSize = 8;
  job.key.count = 2;
  std::memcpy(job.key.key, kFipsKey, sizeof kFipsKey);
  CallExport(des, "DESEdk", {Word(&job.key)});
  std::uint8_t block[8];
  std::memcpy(block, kFipsText, sizeof block);
  Check(CallExport(des, "DESExec", {Word(block), sizeof block, Word(&job)}) == kDesExecOk,
        "DESExec ECB returns 0");
  CheckBytes(block, kFipsEcbFirst, sizeof block, "DESExec ECB \"Now is t\"");

  // DESCbc with DESEdk's schedule over three blocks, and back.
  DesKeyContext key;
  std::memset(&key, 0, sizeof key);
  key.count = 2;
  std::memcpy(key.key, kFipsKey, sizeof kFipsKey);
  CallExport(des, "DESEdk", {Word(&key)});
  std::uint8_t text[24];
  std::memcpy(text, kFipsText, sizeof text);
  CallExport(des, "DESCbc", {Word(text), sizeof text, Word(&key), Word(kFipsIv), 1});
  CheckBytes(text, kFipsCbc, sizeof text, "DESCbc enciphers FIPS 81's CBC example");
  CallExport(des, "DESCbc", {Word(text), sizeof text, Word(&key), Word(kFipsIv), 2});
  CheckBytes(text, reinterpret_cast<const std::uint8_t*>(kFipsText), sizeof text,
             "DESCbc deciphers it back");
}

void CheckRandom(const Module& com) {
  // zq_rnd fills the first `count` words and nothing else. A random word
  // equals the filler with chance 2^-32.
  constexpr std::uint32_t kFiller = 0xA5A5A5A5u;
  WordBlockOf<8> block;
  block.count = 4;
  for (std::uint32_t& word : block.words) word = kFiller;
  CallExport(com, "zq_rnd", {Word(&block)});
  Check(block.count == 4, "zq_rnd keeps the count");
  for (unsigned i = 0; i < 8; ++i)
    Check((block.words[i] != kFiller) == (i < 4),
          ("zq_rnd fills exactly 4 words (word " + std::to_string(i) + ")").c_str());

  WordBlockOf<2> desKey{};
  CallExport(com, "DESGenKey", {Word(&desKey)});
  Check(desKey.count == 2, "DESGenKey count 2");
  for (unsigned i = 0; i < 8; ++i) {
    const std::uint8_t byte = static_cast<std::uint8_t>(desKey.words[i / 4] >> (8 * (i % 4)));
    Check(__builtin_popcount(byte) % 2 == 1, "DESGenKey key bytes have odd parity");
  }

  WordBlockOf<8> gostKey{};
  CallExport(com, "GOSGenKey", {Word(&gostKey)});
  Check(gostKey.count == 8, "GOSGenKey count 8");
}

void CheckBigNumbers(const Module& big) {
  WordBlockOf<2> result{};
  const WordBlockOf<2> base{1, {4, 0}}, exponent{1, {13, 0}}, modulus{1, {497, 0}};
  CallExport(big, "zq_emd", {Word(&result), Word(&base), Word(&exponent), Word(&modulus)});
  Check(result.count == 1 && result.words[0] == 445, "zq_emd: 4^13 mod 497 = 445");

  const WordBlockOf<2> dividend{1, {1000, 0}};
  CallExport(big, "zq_mod", {Word(&result), Word(&dividend), Word(&modulus)});
  Check(result.count == 1 && result.words[0] == 6, "zq_mod: 1000 mod 497 = 6");

  WordBlockOf<2> n{1, {445, 0}};
  Check(CallExport(big, "zq_bit", {Word(&n)}) == 9, "zq_bit: 445 has 9 bits");
  CallExport(big, "zq_shr", {Word(&n), 2});
  Check(n.count == 1 && n.words[0] == 111, "zq_shr: 445 >> 2 = 111");

  const WordBlockOf<2> wide{2, {0x89abcdefu, 0x01234567u}};
  CallExport(big, "zq_mov", {Word(&result), Word(&wide)});
  Check(result.count == 2 && result.words[0] == 0x89abcdefu && result.words[1] == 0x01234567u,
        "zq_mov copies");

  // A 61-bit probable prime p: odd, exactly 61 bits, and 2^(p-1) mod p = 1.
  WordBlockOf<2> p{};
  Check(CallExport(big, "zq_prime", {Word(&p), 61}) == 0, "zq_prime(61) returns 0");
  Check(p.count == 2 && (p.words[0] & 1) == 1 && (p.words[1] >> 28) == 1,
        "zq_prime(61): an odd number of 61 bits");
  WordBlockOf<2> pMinus1 = p;
  pMinus1.words[0] -= 1;  // p is odd: no borrow
  const WordBlockOf<2> two{1, {2, 0}};
  CallExport(big, "zq_emd", {Word(&result), Word(&two), Word(&pMinus1), Word(&p)});
  Check(result.count == 1 && result.words[0] == 1, "zq_prime(61): 2^(p-1) mod p = 1");
}

// GOST 28147-89 through the DLL: simple replacement round-trips a block and
// changes it; a context of the wrong size is refused; the signature check
// refuses an empty signature.
void CheckGost(const Module& gos) {
  GOSCipherContext context{};
  context.size = sizeof context;
  context.key.count = kGosKeyWords;
  for (std::uint32_t i = 0; i < kGosKeyWords; ++i) context.key.words[i] = 0x01020304u * (i + 1);
  context.substitution.count = kGosSubstitutionWords;
  for (std::uint32_t i = 0; i < kGosSubstitutionWords; ++i)
    context.substitution.words[i] = 0x7b3c9e15u + 0x01010101u * i;
  std::memcpy(context.synchro, "    KLBNVRzz", 12);
  context.operation = kGosEncipher;
  context.mode = kGosSimpleReplacement;
  const std::uint8_t plain[8] = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
  std::uint8_t block[8];
  std::memcpy(block, plain, 8);
  Check(CallExport(gos, "GOSExec", {Word(block), 8, Word(&context)}) == 0, "GOSExec enciphers");
  Check(std::memcmp(block, plain, 8) != 0, "GOSExec changes the block");
  GOSCipherContext decipher = context;
  std::memset(decipher.library, 0, sizeof decipher.library);
  decipher.operation = kGosDecipher;
  Check(CallExport(gos, "GOSExec", {Word(block), 8, Word(&decipher)}) == 0, "GOSExec deciphers");
  Check(std::memcmp(block, plain, 8) == 0, "GOSExec round trip");
  GOSCipherContext bad = context;
  bad.size = 1000;
  Check(CallExport(gos, "GOSExec", {Word(block), 8, Word(&bad)}) != 0,
        "GOSExec refuses a context of the wrong size");

  GOSSignContext sign{};
  sign.size = sizeof sign;
  Check(CallExport(gos, "GOSSignCheck", {Word(&sign)}) == 0, "GOSSignCheck refuses nothing");
}

// ZQRSA32: the file hash from the zero value (SHAKE256 of 128 zero bytes,
// as Python's hashlib gives it) and a block through a 17-bit modulus,
// N = 257 * 263, E = 5, D = 26829: the byte 0x41, zero-filled to the
// 2-byte block 0x4100 -> 0x007cf9 -> 0x4100.
void CheckRsa(const Module& rsa) {
  std::uint8_t hash[128] = {};
  CallExport(rsa, "RSAHash", {Word(hash), Word(hash), 0});
  const std::uint8_t shake[8] = {0x22, 0x86, 0x4b, 0x96, 0xd3, 0x48, 0x7c, 0x56};
  Check(std::memcmp(hash, shake, 8) == 0, "RSAHash is SHAKE256 of the value and the data");
  RSAContext context{};
  context.size = sizeof context;
  context.n = {1, {257 * 263}};
  context.e = {1, {5}};
  context.d = {1, {26829}};
  Check(CallExport(rsa, "RSAEncBlk", {Word(&context)}) == 2, "RSAEncBlk of a 17-bit modulus");
  Check(CallExport(rsa, "RSADecBlk", {Word(&context)}) == 3, "RSADecBlk of a 17-bit modulus");
  const std::uint8_t plain[1] = {0x41};
  std::uint8_t cipher[3] = {};
  Check(CallExport(rsa, "RSAEncrypt", {Word(&context), Word(cipher), Word(plain), 1}) == 3,
        "RSAEncrypt writes a block");
  const std::uint8_t expected[3] = {0x00, 0x7c, 0xf9};
  Check(std::memcmp(cipher, expected, 3) == 0, "RSAEncrypt raises the block to E");
  std::uint8_t back[2] = {};
  Check(CallExport(rsa, "RSADecrypt", {Word(&context), Word(back), Word(cipher), 3}) == 2 &&
            back[0] == 0x41 && back[1] == 0,
        "RSADecrypt raises it back with D");
}

// The companions NCCORE21.DLL imports, by the file names it imports them
// under (ZQBIG32.dll keeps its lower-case extension), their .def files in the
// folder given, the functions each exports, and their known answers.
struct Companion {
  const char* file;
  const char* def;
  std::set<std::string> exports;
  void (*knownAnswers)(const Module&);
};
const Companion kCompanions[] = {
    {"ZQDES32.DLL", "ZQDES32.def", {"DESEdk", "DESCbc", "DESExec"}, CheckDes},
    {"ZQCOM32.DLL", "ZQCOM32.def", {"zq_rnd", "DESGenKey", "GOSGenKey"}, CheckRandom},
    {"ZQBIG32.dll",
     "ZQBIG32.def",
     {"zq_mov", "zq_bit", "zq_mod", "zq_shr", "zq_emd", "zq_prime"},
     CheckBigNumbers},
    {"ZQGOS32.DLL",
     "ZQGOS32.def",
     {"GOSExec", "GOSHash", "GOSHashComplete", "GOSSignGen", "GOSSignCheck", "GOSSignGenPair",
      "GOSSignGenPQA"},
     CheckGost},
    {"ZQRSA32.DLL",
     "ZQRSA32.def",
     {"RSAGenPQN", "RSAGenED", "RSAEncBlk", "RSADecBlk", "RSAEncrypt", "RSADecrypt", "RSAHash"},
     CheckRsa},
};

// NCCORE21.DLL imports every export of every companion by name from the
// companion's file name as written, bound to the companion's own function.
void CheckImports(const Module& nccore, const std::vector<Module>& companions) {
  const auto imports = ModuleImports(nccore.handle);
  for (const Module& c : companions) {
    const std::string& dll = c.def.library;
    const auto found = imports.find(dll);
    Check(found != imports.end(), ("NCCORE21.DLL imports " + dll).c_str());
    if (found == imports.end()) continue;
    std::set<std::string> names;
    std::string listed;
    for (const Import& i : found->second) {
      names.insert(i.name);
      listed += " " + i.name;
      const auto target =
          reinterpret_cast<std::uintptr_t>(GetProcAddress(c.handle, i.name.c_str()));
      Check(target != 0 && i.bound == target,
            ("NCCORE21.DLL's " + i.name + " is bound to " + dll + "'s").c_str());
    }
    std::printf("NCCORE21.DLL imports from %s:%s\n", dll.c_str(), listed.c_str());
    Check(names == c.def.Names(), ("NCCORE21.DLL imports every export of " + dll).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: load_dll <res folder>\n");
    return 2;
  }
  const std::string folder = argv[1];

  // The companions first, each loading on its own.
  std::vector<Module> companions;
  for (const Companion& c : kCompanions) {
    Module m;
    m.def = ReadDef(folder + "/" + c.def);
    Check(m.def.library == c.file, (std::string(c.def) + " names " + c.file).c_str());
    Check(m.def.Names() == c.exports, (std::string(c.def) + " lists its functions").c_str());
    if (!LoadAndCheckExports(m)) continue;
    c.knownAnswers(m);
    companions.push_back(m);
  }

  Module nccore;
  nccore.def = ReadDef(folder + "/nccore21.def");
  Check(nccore.def.library == "NCCORE21.DLL" && nccore.def.exports.count("ZqGOSB") == 1 &&
            nccore.def.exports.count("intSTRIStr") == 1,
        "nccore21.def names NCCORE21.DLL and lists ZqGOSB and intSTRIStr");
  if (!LoadAndCheckExports(nccore)) return 1;
  HMODULE dll = nccore.handle;
  for (const char* decorated : {"_ZqGOSB@16", "ZqGOSB@16", "_ZqGOSB", "_intSTRIStr@8",
                                "intSTRIStr@8", "_intSTRIStr", "DllMain", "DllMain@12"})
    Check(GetProcAddress(dll, decorated) == nullptr, decorated);
  CheckImports(nccore, companions);

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
    std::uint32_t popped = 0;
    const auto returned = static_cast<std::uint32_t>(
        Call(zqgosb, {0, Word(call.options), Word(result), sizeof result}, &popped));
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
    std::uint32_t popped = 0;
    const Arg returned = Call(stristr, {Word(s.text), Word(s.pattern)}, &popped);
    std::string what = std::string("intSTRIStr(\"") + s.text + "\", \"" + s.pattern + "\")";
    Check(popped == 8, (what + ": the callee removes its 8 bytes of arguments").c_str());
    const Arg want = s.at < 0 ? 0 : Word(s.text + s.at);
    Check(returned == want, what.c_str());
  }

  FreeLibrary(dll);
  for (const Module& m : companions) FreeLibrary(m.handle);
  std::printf("%s\n", g_failures == 0 ? "load_dll: all checks passed" : "load_dll: FAILED");
  return g_failures == 0 ? 0 : 1;
}
