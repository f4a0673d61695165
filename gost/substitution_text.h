// The text form of a GOST 28147-89 substitution block: eight lines of (at
// least) eight hexadecimal byte values, row r giving bytes r*8 .. r*8+7.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace nc::gost {

inline constexpr std::size_t kSubstitutionBlockSize = 64;

// Reads a text file as the C runtime's text-mode input would, in pieces of
// at most `kPieceLength` characters: a piece ends after a line end, or
// earlier when the line is longer (its rest becomes the next piece). A CR
// LF line end reads as one line end.
class LinePieceReader {
 public:
  static constexpr std::size_t kPieceLength = 31;
  explicit LinePieceReader(platform::FileHandle file) : file_(file) {}
  // The next piece, zero-terminated, in `piece` (kPieceLength + 1 bytes);
  // false at the end of the file (nothing read) or on a read error.
  bool Next(char* piece);

 private:
  bool Peek(char* c);  // the next byte without taking it; false at the end
  platform::FileHandle file_;
  unsigned char buffer_[4096];
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  bool failed_ = false;
};

// Parses eight hexadecimal numbers as "%x %x %x %x %x %x %x %x" does (white
// space before each, an optional sign, an optional 0x prefix, upper or lower
// case digits); numbers after the eighth are ignored. False when fewer than
// eight are found or one of them is above 0xFF (a number too long for 32 bits
// counts as above 0xFF).
bool ParseSubstitutionRow(const char* piece, std::uint8_t row[8]);

enum class SubstitutionTextResult { Ok, TooShort, BadFormat };

// Reads the eight rows of the block from a text file.
SubstitutionTextResult ReadSubstitutionText(platform::FileHandle file,
                                            std::uint8_t block[kSubstitutionBlockSize]);

}  // namespace nc::gost
