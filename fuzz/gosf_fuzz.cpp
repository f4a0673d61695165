// Fuzz harness: the GOST file processor's readers of files it did not make,
// through the whole operation: the input deciphered with /D (a ciphertext's
// header, its mode and its stored length against the payload) and read as
// the signature file of /CHECK, with a table, a key, common numbers and a
// public key made once for the run.
//
// Checks: /D succeeds only for a GOST ciphertext of mode 1 to 3 whose
// stored length fits its payload, and then writes exactly that many bytes;
// it fails with 02 or 27 otherwise and leaves no output. /CHECK ends with
// 00, 12, 02 or 27, and never changes its input.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "nccore21.h"

namespace {

namespace fs = std::filesystem;

// A substitution block in the importer's text form.
constexpr char kTable[] =
    "4a 92 d8 0e 6b 1c 7f 53\n"
    "eb 4c 6d fa 23 81 07 59\n"
    "58 1d a3 42 ef c7 60 9b\n"
    "7d a1 08 9f e4 6c b2 53\n"
    "6c 71 5f d8 4a 9e 03 b2\n"
    "4b a0 72 1d 36 85 9c fe\n"
    "db 41 3f 59 0a e7 68 2c\n"
    "1f d0 57 a4 92 3e 6b 8c\n";

int Call(decltype(&ZqGOSF) operation, const std::string& options) {
  char result[512] = "";
  return operation(nullptr, options.c_str(), result, sizeof result);
}

std::vector<std::uint8_t> Contents(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The folder of the run, with the files the commands read. (The current
// folder stays: libFuzzer reads its corpus by the names it was given.)
struct Folder {
  Folder() {
    path = fs::temp_directory_path() / ("nccore-fuzz-gosf-" + std::to_string(::getpid()));
    fs::create_directories(path);
    std::ofstream(Name("t.txt")) << kTable;
    std::ofstream(Name("src")) << "the signed text";
    FUZZ_CHECK(Call(ZqGOSB, Quoted("t.txt") + Quoted("t.gtb") + "/NOLOGO /Y") == 0);
    FUZZ_CHECK(Call(ZqGOSK, Quoted("k.gek") + "/NOLOGO /Y") == 0);
    FUZZ_CHECK(Call(ZqGOSC, Quoted("n.pqa") + "/P:512 /NOLOGO /Y") == 0);
    FUZZ_CHECK(Call(ZqGOSP, "/PQA:" + Quoted("n.pqa") + "/SECRET:" + Quoted("x.gsk") +
                                "/PUBLIC:" + Quoted("y.gpk") + "/NOLOGO /Y") == 0);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string Name(const char* name) const { return (path / name).string(); }
  // The name in quotes, then a blank.
  std::string Quoted(const char* name) const { return "\"" + Name(name) + "\" "; }
  fs::path path;
};

// What /D must do with `in`: the plaintext length, or -1 for a refusal.
long long ExpectedPlaintext(const std::vector<std::uint8_t>& in) {
  static const char kMagic[] = "TAVOCRYPTDATAFILE";
  if (in.size() < 48 || std::memcmp(in.data(), kMagic, 17) != 0) return -1;
  if (in[18] != 3 || in[19] != 2 || in[20] != 0 || in[21] != 1 || in[22] != 0 || in[25] != 0 ||
      in[26] != 0)
    return -1;  // version, kinds (ciphertext, GOST, no key kind)
  const std::uint32_t mode = in[23] | in[24] << 8;
  const std::uint64_t payload = in.size() - 48;
  const std::uint32_t stored = Le32(in.data() + 32);
  if (mode < 1 || mode > 3) return -1;
  if (mode == 1 ? payload % 8 != 0 || stored > payload || payload - stored > 7 : stored != payload)
    return -1;
  return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Folder folder;
  const std::vector<std::uint8_t> in(data, data + size);
  const std::string input = folder.Name("in"), output = folder.Name("out");
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::remove(output.c_str());

  const int code = Call(ZqGOSF, folder.Quoted("in") + folder.Quoted("out") +
                                    "/D /BLK:" + folder.Quoted("t.gtb") +
                                    "/KEY:" + folder.Quoted("k.gek") + "/NOLOGO /Y");
  const long long expected = ExpectedPlaintext(in);
  if (expected >= 0) {
    FUZZ_CHECK(code == 0);
    FUZZ_CHECK(Contents(output.c_str()).size() == static_cast<std::size_t>(expected));
  } else {
    FUZZ_CHECK(code == 2 || code == 27);
    FUZZ_CHECK(!fs::exists(output));
  }

  const int check = Call(ZqGOSF, folder.Quoted("src") + folder.Quoted("in") + "/CHECK /BLK:" +
                                     folder.Quoted("t.gtb") + "/PQA:" + folder.Quoted("n.pqa") +
                                     "/PUBLIC:" + folder.Quoted("y.gpk") + "/NOLOGO");
  FUZZ_CHECK(check == 0 || check == 12 || check == 2 || check == 27);
  FUZZ_CHECK(Contents(input.c_str()) == in);
  return 0;
}
