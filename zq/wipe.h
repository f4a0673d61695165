// SecureWipe: the one routine that clears secrets (keys, key schedules,
// keystream, plaintext temporaries) before their memory is reused or freed.
// A plain memset on an object that is never read again is a dead store the
// optimiser may delete; the volatile stores below cannot be removed, and the
// empty asm with a memory clobber keeps the compiler from assuming anything
// about the bytes afterwards.
#pragma once

#include <cstddef>

namespace nc {

inline void SecureWipe(void* p, size_t n) {
  if (p == nullptr) return;
  volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) v[i] = 0;
#if defined(__GNUC__) || defined(__clang__)
  __asm__ __volatile__("" : : "r"(p) : "memory");
#endif
}

}  // namespace nc
