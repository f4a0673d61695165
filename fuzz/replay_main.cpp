// Runs a fuzz harness without libFuzzer: every argument is an input file or
// a folder whose files (not sub-folders) are inputs; each input is passed
// once to LLVMFuzzerTestOneInput. Fails when there is no input at all, so a
// wrong corpus path cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& argument) {
  std::vector<std::filesystem::path> inputs;
  if (std::filesystem::is_directory(argument)) {
    for (const auto& entry : std::filesystem::directory_iterator(argument))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
  } else if (std::filesystem::is_regular_file(argument)) {
    inputs.push_back(argument);
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& input : InputsOf(argv[i])) {
      std::ifstream file(input, std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
      if (!file.good() && !file.eof()) {
        std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
        return 1;
      }
      // An exact-size copy, so that AddressSanitizer sees any read past it.
      std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
      static const std::uint8_t kNothing[1] = {0};
      LLVMFuzzerTestOneInput(data.empty() ? kNothing : data.data(), data.size());
      ++replayed;
    }
  }
  if (replayed == 0) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  std::printf("replayed %zu inputs\n", replayed);
  return 0;
}
