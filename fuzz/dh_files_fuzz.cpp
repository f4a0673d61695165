// Fuzz harness: the Diffie-Hellman number files' readers (dh/session_numbers.h)
// on the same input, as common numbers (.AP), a secret session key (.DSK; a
// protected one is opened silently: no carrier answers) and a public session
// key (.DPK), with a small prime modulus for the public key's check.
//
// Checks: a read succeeds only with numbers that fit their room and are not
// degenerate (P above 2, A mod P, X and Y mod P neither 0 nor 1); a failure
// leaves one of the readers' last errors (never 1784: a number too long is
// a read failure).
#include <cstdint>
#include <cstring>

#include "dh/session_numbers.h"
#include "fuzz/fuzz_support.h"
#include "platform/last_error.h"

namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

bool KnownFailure(std::uint32_t error) {
  return error == nc::platform::kErrorReadFault || error == nc::platform::kErrorInvalidData ||
         error == nc::platform::kErrorUnknownRevision || error == nc::platform::kErrorFileCorrupt ||
         error == nc::platform::kErrorLogonFailure;
}

nc::dh::Number Filled() {
  nc::dh::Number n;
  std::memset(&n, 0xA5, sizeof n);
  return n;
}

bool Fits(const nc::dh::Number& n) { return n.count >= 1 && n.count <= nc::dh::kNumberWords; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile file("dh");
  file.Write(data, size);

  nc::dh::Number a = Filled(), p = Filled();
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::dh::ReadCommonNumbers(file.path(), a, p)) {
    FUZZ_CHECK(Fits(a) && Fits(p) && !nc::dh::IsZeroOrOne(p));
    nc::dh::Number y{};
    nc::dh::SecretPower(y, a, nc::dh::Number{1, {2}}, 1, p);  // A^2 mod P, both paths
  } else {
    FUZZ_CHECK(nc::platform::GetLastErrorCode() != nc::platform::kErrorLogonFailure &&
               KnownFailure(nc::platform::GetLastErrorCode()));
  }

  nc::dh::Number x = Filled();
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::dh::ReadSecretSessionKey(nullptr, file.path(), true, x)) {
    FUZZ_CHECK(Fits(x) && !nc::dh::IsZeroOrOne(x));
  } else {
    FUZZ_CHECK(KnownFailure(nc::platform::GetLastErrorCode()));
  }

  const nc::dh::Number smallP{1, {23}};
  nc::dh::Number y = Filled();
  nc::platform::SetLastErrorCode(kUntouched);
  if (nc::dh::ReadPublicSessionKey(file.path(), smallP, y)) {
    FUZZ_CHECK(Fits(y));
    nc::dh::Number rest{};
    nc::dh::SecretPower(rest, y, nc::dh::Number{1, {1}}, nc::dh::kNumberWords, smallP);  // Y mod P
    FUZZ_CHECK(!nc::dh::IsZeroOrOne(rest));
  } else {
    FUZZ_CHECK(nc::platform::GetLastErrorCode() != nc::platform::kErrorLogonFailure &&
               KnownFailure(nc::platform::GetLastErrorCode()));
  }
  return 0;
}
