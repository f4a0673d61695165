// Fuzz harness: the GOST parameter and key files' readers (gost/pqa_file.h,
// gost/key_files.h) on the same input, as a .PQA file, a substitution block,
// a GOST key and the two signature keys (a protected key is opened
// silently: no carrier answers), with a block too large reported either
// way.
//
// Checks: a read succeeds only for a file whose blocks fit their room, hold
// the counts of their kind and, for common numbers, usable numbers
// (gost::UsableCommonNumbers), a secret key other than 0 and a public key
// of the common numbers; a failure leaves one of the readers' last
// errors, and 1784 only when a block too large is to be reported as such.
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "gost/key_files.h"
#include "platform/last_error.h"

namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

bool KnownFailure(std::uint32_t error, nc::gost::OverCapacity over) {
  return error == nc::platform::kErrorReadFault || error == nc::platform::kErrorInvalidData ||
         error == nc::platform::kErrorUnknownRevision || error == nc::platform::kErrorFileCorrupt ||
         error == nc::platform::kErrorLogonFailure ||
         (error == nc::platform::kErrorInvalidUserBuffer &&
          over == nc::gost::OverCapacity::UnknownError);
}

void ReadKeyAndTable(const char* path, nc::gost::OverCapacity over) {
  WordBlockOf<256> table;
  std::memset(&table, 0xA5, sizeof table);
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::gost::ReadSubstitutionFile(path, over, table.get(), sizeof table)) {
    FUZZ_CHECK(table.count == nc::gost::kSubstitutionWords);
  } else {
    FUZZ_CHECK(KnownFailure(nc::platform::GetLastErrorCode(), over));
  }
  WordBlockOf<8> key;
  std::memset(&key, 0xA5, sizeof key);
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::gost::ReadGostKeyFile(nullptr, path, true, over, key)) {
    FUZZ_CHECK(key.count == nc::gost::kGostKeyWords);
  } else {
    FUZZ_CHECK(KnownFailure(nc::platform::GetLastErrorCode(), over));
  }
}

// Small common numbers for the public key's check: p = 23, q = 11, a = 2.
void ReadSignatureKeys(const char* path, nc::gost::OverCapacity over) {
  GOSNumber8 x;
  std::memset(&x, 0xA5, sizeof x);
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::gost::ReadSignSecretFile(nullptr, path, true, over, x)) {
    FUZZ_CHECK(x.count <= 8);
    bool zero = true;
    for (std::uint32_t i = 0; i < x.count; ++i) zero = zero && x.words[i] == 0;
    FUZZ_CHECK(!zero);
  } else {
    FUZZ_CHECK(KnownFailure(nc::platform::GetLastErrorCode(), over));
  }
  const GOSNumber32 p{1, {23}};
  const GOSNumber8 q{1, {11}};
  GOSNumber32 y;
  std::memset(&y, 0xA5, sizeof y);
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::gost::ReadSignPublicFile(path, over, p, q, y)) {
    FUZZ_CHECK(y.count >= 1 && y.count <= 32 && y.words[0] > 1 && y.words[0] < 23);
  } else {
    FUZZ_CHECK(nc::platform::GetLastErrorCode() != nc::platform::kErrorLogonFailure &&
               KnownFailure(nc::platform::GetLastErrorCode(), over));
  }
}

void ReadAs(const char* path, nc::gost::OverCapacity over) {
  GOSNumber32 p, a;
  GOSNumber8 q;
  std::memset(&p, 0xA5, sizeof p);
  std::memset(&q, 0xA5, sizeof q);
  std::memset(&a, 0xA5, sizeof a);
  nc::platform::SetLastErrorCode(kUntouched);
  const bool ok = nc::gost::ReadPqaFile(path, over, {&p, &q, &a});
  const std::uint32_t error = nc::platform::GetLastErrorCode();
  if (ok) {
    FUZZ_CHECK(p.count >= 1 && p.count <= 32 && q.count >= 1 && q.count <= 8 && a.count >= 1 &&
               a.count <= 32);
    FUZZ_CHECK(nc::gost::UsableCommonNumbers(reinterpret_cast<const WordBlock*>(&p),
                                             reinterpret_cast<const WordBlock*>(&q),
                                             reinterpret_cast<const WordBlock*>(&a)));
    return;
  }
  FUZZ_CHECK(error != nc::platform::kErrorLogonFailure && KnownFailure(error, over));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile file("gost");
  file.Write(data, size);
  for (auto over : {nc::gost::OverCapacity::ReadFault, nc::gost::OverCapacity::UnknownError}) {
    ReadAs(file.path(), over);
    ReadKeyAndTable(file.path(), over);
    ReadSignatureKeys(file.path(), over);
  }
  return 0;
}
