// Option-string scanning shared by every operation.
//
// The scanner walks the string: blanks (0x20 only) are skipped; at each
// other position the operation's options are tried in table order as
// case-insensitive prefixes of their exact length, the first match winning
// and no separator being needed after it (so "/YES" is "/Y" then "ES").
// Options ending in ':' take a name token right after the colon; options
// with a numeric suffix accept ":" and a number, after which the scanner
// moves on by two characters (so in effect ":" and one digit). Anything else is a
// positional name.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nc::frame {

enum class OptionArg {
  None,     // a flag such as "/NOLOGO"
  Name,     // "/KEY:" followed by a name token
  Number,   // "/CFB" optionally followed by ":" and one digit
  ToBlank,  // "/A:9-64": the handler reads the text after the option; the
            // scan goes on after the next blank (or ends)
};

struct OptionSpec {
  const char* text;  // exactly as matched, e.g. "/NOLOGO"
  OptionArg arg;
};

// What the scanner found at one step.
struct OptionHit {
  int index;              // index into the table, or -1 for a positional token
  const char* nameStart;  // start of a name token (option or positional)
  int number;             // the number after "/CFB:" and the like, -1 without a
                          // colon, kBadNumber when the colon has no number
};

inline constexpr int kBadNumber = -2;

// Callback for each option or positional token; the handler copies name
// tokens with CopyNameToken. Returning false ends the scan with failure.
using OptionHandler = bool (*)(void* context, const OptionHit& hit);

// Scans `options` with `table`; returns false when a handler refused a
// token. `nameBufferSize` is the size of the buffers names are read into,
// which decides where a long quoted name is cut and scanning resumes.
// The operations pass kWholeNameTokens: a name token, however long, is one
// name, never cut into further tokens (its end could otherwise be read as
// options or names of its own); they copy it into a buffer of
// platform::kNameBufferSize, so that a name too long for the platform stays
// too long and is refused when the file is opened or created.
inline constexpr std::size_t kWholeNameTokens = static_cast<std::size_t>(-1);
bool ScanOptions(const char* options, const OptionSpec* table, std::size_t tableSize,
                 std::size_t nameBufferSize, OptionHandler handler, void* context);

// Copies the name token at `source` into `destination` (`size` bytes):
// a token starting with '"' ends at the next '"' or the end of the string,
// any other token takes the rest of the string. At most `size` - 1 bytes
// are copied. Returns `destination`.
char* CopyNameToken(const char* source, char* destination, std::size_t size);

// The position where scanning resumes after a name token that was copied
// into a buffer of `size` bytes starting at `source`.
const char* SkipNameToken(const char* source, std::size_t size);

// Reads an unsigned decimal number as "%u" does: white space first, an
// optional sign (a negative number wraps around), digits; a number beyond 32
// bits saturates at 0xFFFFFFFF. Moves *text past it; false when there is none.
bool ReadDecimal(const char** text, std::uint32_t* value);
// Reads "lo-hi" as "%u-%u" does; false unless both numbers are read.
bool ReadDecimalRange(const char* text, std::uint32_t* lo, std::uint32_t* hi);
// The same, and the range must lie within min..max with lo <= hi; *lo and
// *hi change only when it does.
bool ReadBoundedRange(const char* text, std::uint32_t min, std::uint32_t max, std::uint32_t* lo,
                      std::uint32_t* hi);

// Protection factor bits of key files.
enum ProtectionBits : std::uint32_t {
  kProtectPassword = 1,
  kProtectTouchMemory = 2,
  kProtectQuadra = 4,
  kProtectActivator = 8,
  kProtectTessel = 16,
};

// Splits "PWD,TM:name" into the protection code and the file name (cut to
// `nameSize` - 1 bytes). Returns the code.
std::uint32_t ParseProtectionSpec(const char* spec, std::uint32_t* code, char* name,
                                  std::size_t nameSize);

}  // namespace nc::frame
