// ZQRSA32, RSAHash: the 128-byte file hash, hash <- SHAKE256(hash || data)
// per call (libgcrypt's SHAKE256). Each call absorbs the previous value, so
// the result depends on where the data was cut into calls: two calls over
// "ab" split as "a", "b" differ from one call over "ab". Callers hash a file
// in fixed chunks, in order.
#include <gcrypt.h>

#include "zq/gcrypt_init.h"
#include "zq/rsa.h"

namespace {
constexpr size_t kHashBytes = 128;
}

extern "C" void ZQAPI RSAHash(uint8_t hash[128], const void* data, uint32_t length) {
  nc::zq::EnsureGcrypt();
  gcry_md_hd_t md = nullptr;
  if (hash == nullptr || gcry_md_open(&md, GCRY_MD_SHAKE256, 0) != 0) return;
  gcry_md_write(md, hash, kHashBytes);
  if (data != nullptr && length != 0) gcry_md_write(md, data, length);
  // The state is wiped by gcry_md_close.
  gcry_md_extract(md, GCRY_MD_SHAKE256, hash, kHashBytes);
  gcry_md_close(md);
}
