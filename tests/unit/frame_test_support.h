// Small helpers shared by the frame's unit tests: texts in the library's
// encoding, a private temporary folder per test, whole-file reads and
// writes, the percentages a progress window showed, and strings allocated to their exact size (so
// that AddressSanitizer reports any read past their terminator).
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::test {

// A UTF-8 literal in the library's text encoding: unchanged on Linux, code
// page 1251 on Windows (the library's texts use ASCII and the Russian
// alphabet only).
inline std::string Native(const std::string& utf8) {
#ifdef _WIN32
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80 || i + 1 >= utf8.size()) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
    i += 2;
    if (code >= 0x410 && code <= 0x44F)
      out.push_back(static_cast<char>(0xC0 + (code - 0x410)));
    else if (code == 0x401)
      out.push_back(static_cast<char>(0xA8));
    else if (code == 0x451)
      out.push_back(static_cast<char>(0xB8));
    else
      out.push_back('?');
  }
  return out;
#else
  return utf8;
#endif
}

// True when cutting `text` after `length` bytes does not split a character.
inline bool IsCharacterBoundary(const std::string& text, std::size_t length) {
#ifdef _WIN32
  (void)text;
  (void)length;
  return true;  // code page 1251: one byte per character
#else
  return length >= text.size() || (static_cast<unsigned char>(text[length]) & 0xC0) != 0x80;
#endif
}

// A folder of its own for one test, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "nccore-";
    if (info != nullptr) name += std::string(info->name()).substr(0, 40);
    std::error_code error;
    for (int attempt = 0; attempt < 100 && !error; ++attempt) {
      std::string unique = name + "-" + std::to_string(random()) + "-" + std::to_string(counter++);
      std::replace(unique.begin(), unique.end(), '/', '_');
      path_ = std::filesystem::path(::testing::TempDir()) / unique;
      if (std::filesystem::create_directory(path_, error)) return;
    }
    ADD_FAILURE() << "cannot create " << path_.string() << ": " << error.message();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the folder, as the library takes file names.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

inline std::string ReadFileText(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The process's current folder is `folder` for the object's life (for the
// default names the operations take there).
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(old_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path old_;
};

// The percentages the scripted backend's progress windows showed, in order.
inline std::vector<unsigned> PercentsShown(const nc::platform::ScriptedUi& ui) {
  std::vector<unsigned> shown;
  for (const auto& e : ui.progress)
    if (e.kind == nc::platform::ScriptedUi::ProgressEvent::Percent) shown.push_back(e.percent);
  return shown;
}

// A zero-terminated copy of `text` in a heap block of exactly its size.
class ExactString {
 public:
  explicit ExactString(const std::string& text) : data_(new char[text.size() + 1]) {
    std::memcpy(data_.get(), text.c_str(), text.size() + 1);
  }
  const char* get() const { return data_.get(); }

 private:
  std::unique_ptr<char[]> data_;
};

}  // namespace nc::test
