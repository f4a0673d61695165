// The library's texts by id: titles, result messages, progress texts, default
// file names and questions. Texts come in the library's encoding (UTF-8 on
// Linux, code page 1251 on Windows, loaded from the module's resources).
#pragma once
#include <cstddef>
#include <string>

namespace nc::platform {

// Title ids of the operations.
enum TitleId : int {
  kTitleDesKeys = 101,
  kTitleDesFiles = 102,
  kTitleRsaKeys = 103,
  kTitleRsaFiles = 104,
  kTitleGostTable = 105,
  kTitleGostKeys = 106,
  kTitleGostCommon = 107,
  kTitleGostPairs = 108,
  kTitleGostFiles = 109,
  kTitleDhCommon = 110,
  kTitleDhKeys = 111,
  kTitleDhFiles = 112,
  kTitleProtection = 114,
};

inline constexpr int kResultTextBase = 1000;   // result code n has text 1000 + n
inline constexpr int kTextFilePrefix = 10001;  // "Файл "
inline constexpr int kTextExistsQuestion = 10002;
// The change of protection's information boxes, before each authorisation.
inline constexpr int kTextAuthorizeSource = 10007;
inline constexpr int kTextAuthorizeDestination = 10008;
inline constexpr int kDefaultGostTable = 5004;

// The text of `id`; empty when the table has no such id.
std::string LoadText(int id);
// Copies at most `size` - 1 bytes of the text (never splitting a character)
// and a terminator into `buffer`; returns the number of bytes copied.
std::size_t LoadText(int id, char* buffer, std::size_t size);

}  // namespace nc::platform
