// Helpers for the Touch Memory tests: a private "TavoTM.INI" and texts
// encoded by the platform's own converters (iconv on POSIX, the Win32
// code-page functions on Windows), independent of the library's tables.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <iconv.h>
#endif

#include "carrier_test_support.h"
#include "platform/profile.h"

namespace nc::test {

// Profile files looked up by a bare name: on POSIX a private folder through
// NCCORE_PROFILE_DIR; on Windows the Windows folder itself (the profile API
// looks nowhere else), with the files written there removed afterwards.
class PrivateProfile {
 public:
  PrivateProfile() {
#ifdef _WIN32
    dir_ = nc::platform::ProfileDirectory();
#else
    env_.emplace("NCCORE_PROFILE_DIR", folder_.path().c_str());
    dir_ = folder_.path().string();
#endif
  }
  PrivateProfile(const PrivateProfile&) = delete;
  PrivateProfile& operator=(const PrivateProfile&) = delete;
  ~PrivateProfile() {
    for (const std::string& path : written_) std::remove(path.c_str());
  }

  const std::string& dir() const { return dir_; }
  std::string PathOf(const std::string& name) const {
#ifdef _WIN32
    return dir_ + "\\" + name;
#else
    return dir_ + "/" + name;
#endif
  }
  void Write(const std::string& name, const std::string& text) {
    std::string path = PathOf(name);
    WriteFileText(path, text);
    written_.push_back(path);
  }
  void Remove(const std::string& name) { std::remove(PathOf(name).c_str()); }

 private:
  TempFolder folder_;
  std::optional<ScopedEnv> env_;
  std::string dir_;
  std::vector<std::string> written_;
};

// `utf8` in "CP866", "CP1251" or "UTF-16LE", by the platform's converter.
inline std::vector<std::uint8_t> Encode(const std::string& utf8, const std::string& charset) {
#ifdef _WIN32
  int wideLength = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), wideLength);
  if (charset == "UTF-16LE") {
    std::vector<std::uint8_t> out;
    for (wchar_t c : wide) {
      out.push_back(static_cast<std::uint8_t>(c & 0xFF));
      out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    return out;
  }
  UINT page = charset == "CP866" ? 866 : 1251;
  int size = ::WideCharToMultiByte(page, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(page, 0, wide.data(), wideLength, narrow.data(), size, nullptr, nullptr);
  return std::vector<std::uint8_t>(narrow.begin(), narrow.end());
#else
  iconv_t cd = ::iconv_open(charset.c_str(), "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << charset;
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string in = utf8;
  std::vector<char> out(in.size() * 4 + 16);
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  std::size_t converted = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  EXPECT_NE(converted, static_cast<std::size_t>(-1)) << charset;
  return std::vector<std::uint8_t>(out.data(), outPtr);
#endif
}

}  // namespace nc::test
