// The password box of the text views of the carrier dialog: what the user
// typed (or a preset password line), held until the dialog reads it, and
// wiped when replaced or dropped. The dialog gets the bytes the key is made
// from: code page 1251, as the Windows dialog's box gives them, so that a
// password typed anywhere opens the same keys.
#pragma once
#include <cstddef>
#include <mutex>

namespace nc::platform {

// The longest text the box holds, in bytes (a longer text is cut; the key
// uses 32 bytes of it anyway).
inline constexpr std::size_t kPasswordBoxSize = 4096;

// How a line given in advance is encoded: UTF-8 (converted to code page
// 1251 as typed text is) or code page 1251 bytes taken as they are. Nothing
// is guessed from the bytes: many 1251 texts are also well-formed UTF-8.
enum class LineEncoding { Utf8, CodePage1251 };

class PasswordBox {
 public:
  PasswordBox() = default;
  PasswordBox(const PasswordBox&) = delete;
  PasswordBox& operator=(const PasswordBox&) = delete;
  ~PasswordBox() { Clear(); }

  // Text typed on a terminal or by a test's script: UTF-8.
  void SetTyped(const char* utf8, std::size_t length);
  // A line given in advance, in `encoding`. A UTF-8 line that is not
  // well-formed, or holds a character the code page lacks, gives no
  // password (Read returns false), as typed text does.
  void SetLine(const char* line, std::size_t length, LineEncoding encoding);
  void Clear();
  bool Empty();
  // CarrierWindow::ReadPassword: the text in code page 1251, at most
  // size - 1 bytes, terminated. A UTF-8 text with a character the code
  // page lacks (or broken UTF-8) gives no password at all, never '?' in
  // its place, so the dialog refuses it as empty: Read returns false then.
  bool Read(char* buffer, std::size_t size);

 private:
  void Set(const char* text, std::size_t length, bool codePage1251);

  std::mutex lock_;
  char text_[kPasswordBoxSize] = {};
  std::size_t length_ = 0;
  bool codePage1251_ = false;
};

}  // namespace nc::platform
