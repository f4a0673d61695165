// Fuzz harness: files of GOST signature common numbers (.PQA) read by
// gost::ReadPqaFile, with a block too large reported either way. The input
// is the file.
//
// Checks: a read succeeds only for a file whose blocks fit their room and
// whose numbers are usable (gost::UsableCommonNumbers); a failure leaves one
// of the reader's last errors, and 1784 only when a block too large is to be
// reported as such.
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "gost/pqa_file.h"
#include "platform/last_error.h"

namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

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
    FUZZ_CHECK(error == kUntouched);
    FUZZ_CHECK(p.count >= 1 && p.count <= 32 && q.count >= 1 && q.count <= 8 && a.count >= 1 &&
               a.count <= 32);
    FUZZ_CHECK(nc::gost::UsableCommonNumbers(reinterpret_cast<const WordBlock*>(&p),
                                             reinterpret_cast<const WordBlock*>(&q),
                                             reinterpret_cast<const WordBlock*>(&a)));
    return;
  }
  FUZZ_CHECK(error == nc::platform::kErrorReadFault || error == nc::platform::kErrorInvalidData ||
             error == nc::platform::kErrorUnknownRevision ||
             error == nc::platform::kErrorFileCorrupt ||
             (error == nc::platform::kErrorInvalidUserBuffer &&
              over == nc::gost::OverCapacity::UnknownError));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile file("pqa");
  file.Write(data, size);
  ReadAs(file.path(), nc::gost::OverCapacity::ReadFault);
  ReadAs(file.path(), nc::gost::OverCapacity::UnknownError);
  return 0;
}
