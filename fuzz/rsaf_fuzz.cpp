// Fuzz harness: the RSA file processor's readers of files it did not make,
// through the whole operation. Each input is read four ways, with a key
// pair made once for the run: as a ciphertext to decipher (/D), as a
// signature to check (/CHECK), as the public key of an encryption (/E) and
// as the secret key of a signature (/SIGN, quiet, so a protected key cannot
// be opened).
//
// Checks: every command ends with one of its codes; a failed command leaves
// no output; a deciphered file is never longer than the ciphertext's
// payload (every block carries fewer plaintext bytes than it takes); the
// input itself never changes.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "nccore21.h"

namespace {

namespace fs = std::filesystem;

int Call(decltype(&ZqRSAF) operation, const std::string& options) {
  char result[512] = "";
  return operation(nullptr, options.c_str(), result, sizeof result);
}

std::vector<std::uint8_t> Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool OneOf(int code, std::initializer_list<int> codes) {
  for (int c : codes)
    if (c == code) return true;
  return false;
}

// The folder of the run, with a source and a key pair. (The current folder
// stays: libFuzzer reads its corpus by the names it was given.)
struct Folder {
  Folder() {
    path = fs::temp_directory_path() / ("nccore-fuzz-rsaf-" + std::to_string(::getpid()));
    fs::create_directories(path);
    std::ofstream(Name("src")) << "the signed text";
    FUZZ_CHECK(Call(ZqRSAK, "/N:256-256 /SECRET:" + Quoted("k.rsk") + "/PUBLIC:" + Quoted("k.rpk") +
                                "/NOLOGO /Y") == 0);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Folder folder;
  const std::vector<std::uint8_t> in(data, data + size);
  const std::string input = folder.Name("in"), output = folder.Name("out");
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // Runs one command with a fresh destination; its code.
  const auto run = [&](const std::string& options) {
    std::remove(output.c_str());
    const int code = Call(ZqRSAF, options + " /NOLOGO /Y");
    if (code != 0) FUZZ_CHECK(!fs::exists(output));
    FUZZ_CHECK(Contents(input) == in);
    return code;
  };

  const int decrypted =
      run(folder.Quoted("in") + folder.Quoted("out") + "/D /KEY:" + folder.Quoted("k.rsk"));
  FUZZ_CHECK(OneOf(decrypted, {0, 2, 27}));
  if (decrypted == 0) FUZZ_CHECK(size >= 48 && Contents(output).size() <= size - 48);

  const int checked =
      run(folder.Quoted("src") + folder.Quoted("in") + "/CHECK /KEY:" + folder.Quoted("k.rpk"));
  FUZZ_CHECK(OneOf(checked, {0, 2, 12, 27}));

  const int encrypted =
      run(folder.Quoted("src") + folder.Quoted("out") + "/E /KEY:" + folder.Quoted("in"));
  // 32: a key number of more than 64 words.
  FUZZ_CHECK(OneOf(encrypted, {0, 2, 27, 30, 31, 32}));

  const int signed_ =
      run(folder.Quoted("src") + folder.Quoted("out") + "/SIGN /KEY:" + folder.Quoted("in"));
  FUZZ_CHECK(OneOf(signed_, {0, 2, 25, 27, 30, 31, 32}));
  return 0;
}
