#include "zq/gcrypt_init.h"

#include <gcrypt.h>

#include <cstdarg>
#include <mutex>

namespace nc::zq {

void EnsureGcrypt() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    // libgcrypt's notes (such as advice on Windows entropy sources) are not
    // for our users; failures reach us as return codes.
    gcry_set_log_handler([](void*, int, const char*, va_list) {}, nullptr);
    // No secure memory pool: callers own and wipe their buffers themselves.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

}  // namespace nc::zq
