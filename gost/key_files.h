// Reading the GOST key and parameter files that the GOST processor, the
// change of protection and the key-pair generator take: the substitution
// block (.GTB), the cipher key (.GEK) and the signature keys (.GSK, .GPK). Each reader checks the
// block's count against its kind (a block of another length would pass its integrity check and be
// used as a weaker key or table), deciphers protected material under the master key, and checks the
// integrity value. The .PQA reader is gost/pqa_file.h.
#pragma once
#include "gost/pqa_file.h"
#include "platform/ui.h"
#include "zq/zq.h"

namespace nc::gost {

inline constexpr std::uint32_t kSubstitutionWords = 16;
inline constexpr std::uint32_t kGostKeyWords = 8;

// The substitution block of `path` into `block`, whose room is `capacity`
// bytes counting the count word (the cipher context has room for 256
// words). False with the last error set: 30 (missing or short), 1784 or 30
// (a block too large, as `over` says), 13 (another kind of file, or not 16
// words), 1305 (another version), 1392 (integrity).
[[nodiscard]] bool ReadSubstitutionFile(const char* path, OverCapacity over, WordBlock* block,
                                        std::size_t capacity);

// The GOST key of `path` into `key` (room for 8 words), deciphered when the
// file is protected (the carrier dialog may be shown; `quiet` keeps it
// silent). False with the last error set as above, 13 for a key that is
// not 8 words, or 1326 when the master key was not obtained.
[[nodiscard]] bool ReadGostKeyFile(platform::WindowHandle parent, const char* path, bool quiet,
                                   OverCapacity over, WordBlockOf<kGostKeyWords>& key);

// The signature secret key x of `path` (up to 8 words), deciphered when
// the file is protected. False with the last error set as above, or 13 for
// x = 0, which would sign with a key anyone knows.
[[nodiscard]] bool ReadSignSecretFile(platform::WindowHandle parent, const char* path, bool quiet,
                                      OverCapacity over, GOSNumber8& x);

// The signature public key y of `path` (up to 32 words), checked as a key
// of the common numbers p, q: 1 < y < p and y^q = 1 (mod p). False with the
// last error set as above, or 13 for a y that is not such a key (y = 1
// would accept any signature whose r' is a^z1 mod p mod q, which anyone
// can make).
[[nodiscard]] bool ReadSignPublicFile(const char* path, OverCapacity over, const GOSNumber32& p,
                                      const GOSNumber8& q, GOSNumber32& y);

}  // namespace nc::gost
