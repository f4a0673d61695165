// Fuzz harness: the preset password reader. The input is the password file
// behind NCCORE_PASSWORD_FD; it is read line by line with
// ReadPresetPassword under each encoding NCCORE_PASSWORD_ENCODING can name
// (and an unknown one), until the input is used up. The lines are also cut
// here, the reader's way (up to '\n' or the line limit, one '\r' dropped
// at the end), and each reading is checked against its line:
// - an empty line, a line with a NUL byte and every line under an unknown
//   encoding give no password and leave the box empty;
// - in code page 1251 the box gives the line's bytes as they are;
// - in UTF-8 it gives the line in code page 1251 when every character has
//   a byte there, else nothing; on POSIX the C library's iconv is the
//   second opinion on that (a line holding U+0098, which the code page
//   leaves unassigned, is left out of that comparison).
// After the last line the reader gives nothing, however often it is asked.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>
#endif

#include "fuzz/fuzz_support.h"
#include "platform/carrier_ui.h"
#include "platform/password_box.h"
#include "platform/preset_password.h"

namespace {

using nc::platform::kPresetLineLimit;

using nc::fuzz::SetEnvironment;

// The lines as the reader cuts them.
std::vector<std::string> Lines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < size) {
    std::string line;
    while (line.size() < kPresetLineLimit && at < size) {
      char c = static_cast<char>(data[at++]);
      if (c == '\n') break;
      line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

#ifndef _WIN32
// iconv's conversion of a whole line to code page 1251, or false.
bool IconvTo1251(const std::string& line, std::string* out) {
  static const iconv_t cd = ::iconv_open("CP1251", "UTF-8");  // opening it is slow
  FUZZ_CHECK(cd != reinterpret_cast<iconv_t>(-1));
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  std::string in = line;
  std::vector<char> room(line.size() + 1);
  char* from = in.data();
  std::size_t left = in.size();
  char* to = room.data();
  std::size_t space = room.size();
  bool ok = ::iconv(cd, &from, &left, &to, &space) != static_cast<std::size_t>(-1) && left == 0;
  if (ok) out->assign(room.data(), room.size() - space);
  return ok;
}
#endif

// Opens the scratch file and names it in NCCORE_PASSWORD_FD; closes it
// when done.
class Descriptor {
 public:
  explicit Descriptor(const char* path) {
#ifdef _WIN32
    fd_ = ::_open(path, _O_RDONLY | _O_BINARY);
    FUZZ_CHECK(fd_ >= 0);
    std::string value = std::to_string(static_cast<unsigned long long>(::_get_osfhandle(fd_)));
#else
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    FUZZ_CHECK(fd_ >= 0);
    std::string value = std::to_string(fd_);
#endif
    SetEnvironment("NCCORE_PASSWORD_FD", value.c_str());
  }
  ~Descriptor() {
#ifdef _WIN32
    ::_close(fd_);
#else
    ::close(fd_);
#endif
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

 private:
  int fd_ = -1;
};

enum class Encoding { Utf8, Cp1251, Unknown };

void CheckLine(const std::string& line, Encoding encoding, bool given,
               nc::platform::PasswordBox& box) {
  char out[nc::platform::kCarrierPasswordSize];
  std::memset(out, '#', sizeof out);
  bool converted = box.Read(out, sizeof out);
  const bool refused =
      line.empty() || line.find('\0') != std::string::npos || encoding == Encoding::Unknown;
  FUZZ_CHECK(given == !refused);
  if (refused) {
    FUZZ_CHECK(box.Empty());
    FUZZ_CHECK(out[0] == '\0');
    return;
  }
  const std::size_t n = std::strlen(out);
  FUZZ_CHECK(n < sizeof out);
  if (encoding == Encoding::Cp1251) {
    FUZZ_CHECK(converted);
    FUZZ_CHECK(std::string(out) == line.substr(0, sizeof out - 1));
    return;
  }
  if (!converted) FUZZ_CHECK(n == 0);
#ifndef _WIN32
  if (line.find("\xC2\x98") == std::string::npos) {
    std::string reference;
    bool ok = IconvTo1251(line, &reference);
    FUZZ_CHECK(converted == ok);
    if (ok) FUZZ_CHECK(std::string(out) == reference.substr(0, sizeof out - 1));
  }
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile scratch("preset-password");
  scratch.Write(data, size);
  const std::vector<std::string> lines = Lines(data, size);

  static const struct {
    const char* name;
    Encoding encoding;
  } kEncodings[] = {
      {"utf-8", Encoding::Utf8}, {"cp1251", Encoding::Cp1251}, {"latin-1", Encoding::Unknown}};
  for (const auto& e : kEncodings) {
    SetEnvironment("NCCORE_PASSWORD_ENCODING", e.name);
    Descriptor descriptor(scratch.path());
    nc::platform::PasswordBox box;
    for (const std::string& line : lines) {
      bool given = nc::platform::ReadPresetPassword(box);
      CheckLine(line, e.encoding, given, box);
    }
    for (int i = 0; i < 2; ++i) {
      FUZZ_CHECK(!nc::platform::ReadPresetPassword(box));
      FUZZ_CHECK(box.Empty());
    }
  }
  return 0;
}
