// The Diffie-Hellman numbers files: the common numbers A and P (.AP), the
// secret session key X (.DSK, enciphered under the master key when
// protected) and the public session key Y (.DPK, never enciphered, whatever
// its header says); the exponentiation with a secret exponent; and the
// refusal of numbers that would make a key anyone can compute.
#pragma once
#include "dh/random_length_number.h"
#include "platform/ui.h"

namespace nc::dh {

// Every reader below fails with the last error set, for the operation to
// report with the file's name: 30 (missing, short, or a number of more than
// 64 words), 13 (another kind of file, or a degenerate number), 1305
// (another version), 1392 (the integrity value does not match), 1326 (the
// master key was not obtained). What was read is wiped on failure.

// A and P of the common-numbers file `path`. Refused as degenerate: a
// number of count 0, P <= 2, A mod P of 0 or 1.
[[nodiscard]] bool ReadCommonNumbers(const char* path, Number& a, Number& p);

// X of the secret session key file `path`, deciphered when the file is
// protected (the carrier dialog may be shown; `quiet` keeps it silent).
// Refused as degenerate: X of 0 or 1.
[[nodiscard]] bool ReadSecretSessionKey(platform::WindowHandle parent, const char* path, bool quiet,
                                        Number& x);

// Y of the public session key file `path`, for the modulus `p`. Refused as
// degenerate: Y mod P of 0 or 1.
[[nodiscard]] bool ReadPublicSessionKey(const char* path, const Number& p, Number& y);

// Whether `n` is 0 or 1 (any count, leading zero words allowed).
[[nodiscard]] bool IsZeroOrOne(const Number& n);

// r = b^x mod p for a secret x. When p is odd, constant-time in b and x:
// x is padded to `xWords` words (at least its count, at most 64), so that
// its length does not show either; the caller passes a count that depends
// on nothing secret (the top of the range X was drawn from, or 64 for an X
// read from a file). An even p falls back to libgcrypt. Requires p other
// than 0; r may not alias x.
void SecretPower(Number& r, const Number& b, const Number& x, std::uint32_t xWords,
                 const Number& p);

}  // namespace nc::dh
