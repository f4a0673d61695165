// Reading the RSA key files: the secret key (.RSK) and the public key
// (.RPK). Both are a key file of the RSA algorithm holding two word blocks,
// the modulus N and an exponent, with one integrity value over N's words
// and then the exponent's. The secret key's exponent is enciphered under
// the master key when the file is protected (N never is); a public key is
// never enciphered, whatever its header says.
#pragma once
#include <cstdint>

#include "platform/ui.h"
#include "zq/rsa.h"

namespace nc::rsa {

enum class RsaKeyKind {
  Secret,  // .RSK: the secret exponent
  Public,  // .RPK: the public exponent
};

// Reads the key of `kind` from `path` into `n` and `exponent`, deciphering
// a protected secret key (the carrier dialog may be shown; `quiet` keeps it
// silent). The key must be one a processor can use: N of 17 bits or more
// and odd, an exponent other than 0 and 1. False with the last error set,
// for the operation to report with the file's name: 30 (missing or short),
// 1784 (a number of more than 64 words), 13 (another kind of file, or a key
// no processor can use), 1305 (another version), 1326 (the master key was
// not obtained), 1392 (the integrity value does not match). Both numbers
// are wiped on failure.
[[nodiscard]] bool ReadRsaKeyFile(platform::WindowHandle parent, const char* path, RsaKeyKind kind,
                                  bool quiet, RSANumber& n, RSANumber& exponent);

// Whether `n` and `exponent` make a usable key as above.
[[nodiscard]] bool UsableRsaKey(const RSANumber& n, const RSANumber& exponent);

}  // namespace nc::rsa
