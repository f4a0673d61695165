// What the fuzz harnesses share: a check that stops the run with a message
// (libFuzzer reports the input; the corpus replay fails), and a scratch file
// private to this process that each input is written to.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace nc::fuzz {

// Sets a variable of this process's environment, where the library reads it.
inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  FUZZ_CHECK(::_putenv_s(name, value) == 0);
#else
  FUZZ_CHECK(::setenv(name, value, 1) == 0);
#endif
}

class ScratchFile {
 public:
  explicit ScratchFile(const char* tag)
      : path_((std::filesystem::temp_directory_path() /
               ("nccore-fuzz-" + std::string(tag) + "-" + std::to_string(::getpid())))
                  .string()) {}
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const char* path() const { return path_.c_str(); }
  // Replaces the file's contents with `size` bytes.
  void Write(const std::uint8_t* data, std::size_t size) const {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
  }

 private:
  std::string path_;
};

// A file the code under test makes beside a scratch file (a lock file),
// removed when the process ends.
class ScratchSibling {
 public:
  ScratchSibling(const ScratchFile& file, const char* suffix)
      : path_(std::string(file.path()) + suffix) {}
  ~ScratchSibling() { std::remove(path_.c_str()); }
  ScratchSibling(const ScratchSibling&) = delete;
  ScratchSibling& operator=(const ScratchSibling&) = delete;

 private:
  std::string path_;
};

}  // namespace nc::fuzz
