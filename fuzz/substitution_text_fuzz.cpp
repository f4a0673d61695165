// Fuzz harness: the substitution-block text. The input is written to a
// scratch file and read with ReadSubstitutionText. The same bytes are read a
// second, independent way: CR LF folded to LF, then the C library's fgets
// with a 32-byte buffer (pieces of at most 31 characters) and strtoull for
// each "%x" number; both readings must agree on the outcome and the block.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "gost/substitution_text.h"
#include "platform/files.h"

namespace {

using nc::gost::SubstitutionTextResult;

// One row as "%x %x %x %x %x %x %x %x" reads it into unsigned ints, each
// number within 0..0xFF: white space, an optional sign, then strtoull's
// digits (0x prefix allowed); a negative number wraps around modulo 2^32, as
// the C runtimes do (-FFFFFFFF reads as 1). A magnitude beyond 32 bits, which
// the runtimes disagree on, is refused.
bool ReferenceRow(const char* piece, std::uint8_t row[8]) {
  const char* p = piece;
  for (int c = 0; c < 8; ++c) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (std::isspace(static_cast<unsigned char>(*p)) || *p == '+' || *p == '-') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long magnitude = std::strtoull(p, &end, 16);
    if (end == p || errno == ERANGE || magnitude > 0xFFFFFFFFull) return false;
    std::uint32_t value = static_cast<std::uint32_t>(magnitude);
    if (negative) value = 0u - value;
    if (value > 0xFF) return false;
    row[c] = static_cast<std::uint8_t>(value);
    p = end;
  }
  return true;
}

SubstitutionTextResult ReferenceRead(const char* path, std::uint8_t block[64]) {
  std::FILE* f = std::fopen(path, "rb");
  FUZZ_CHECK(f != nullptr);
  SubstitutionTextResult result = SubstitutionTextResult::Ok;
  char piece[32];
  for (int r = 0; r < 8 && result == SubstitutionTextResult::Ok; ++r) {
    if (std::fgets(piece, sizeof piece, f) == nullptr)
      result = SubstitutionTextResult::TooShort;
    else if (!ReferenceRow(piece, block + r * 8))
      result = SubstitutionTextResult::BadFormat;
  }
  std::fclose(f);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile scratch("substitution-text");
  static const nc::fuzz::ScratchFile folded("substitution-text-lf");

  scratch.Write(data, size);
  nc::platform::ScopedFile file(nc::platform::OpenForRead(scratch.path()));
  FUZZ_CHECK(file.valid());
  std::uint8_t block[nc::gost::kSubstitutionBlockSize];
  std::memset(block, 0xEE, sizeof block);
  SubstitutionTextResult result = nc::gost::ReadSubstitutionText(file.get(), block);
  FUZZ_CHECK(result == SubstitutionTextResult::Ok || result == SubstitutionTextResult::TooShort ||
             result == SubstitutionTextResult::BadFormat);

  std::string text;
  for (std::size_t i = 0; i < size; ++i)
    if (!(data[i] == '\r' && i + 1 < size && data[i + 1] == '\n'))
      text.push_back(static_cast<char>(data[i]));
  folded.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  std::uint8_t reference[nc::gost::kSubstitutionBlockSize];
  SubstitutionTextResult want = ReferenceRead(folded.path(), reference);

  FUZZ_CHECK(result == want);
  if (result == SubstitutionTextResult::Ok)
    FUZZ_CHECK(std::memcmp(block, reference, sizeof block) == 0);
  return 0;
}
