#include "zq/gcrypt_init.h"

#include <gcrypt.h>

#include <mutex>

namespace nc::zq {

void EnsureGcrypt() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    // No secure memory pool: callers own and wipe their buffers themselves.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

}  // namespace nc::zq
