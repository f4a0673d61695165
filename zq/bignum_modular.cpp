// ZQBIG32, the modular functions: zq_mod and zq_emd over libgcrypt's MPIs.
// Operands are loaded into secure MPIs before anything is written, so the
// result may be any operand's block; a zero modulus is caught here because
// libgcrypt treats it as a fatal error.
#include <algorithm>

#include "zq/bignum.h"
#include "zq/bignum_mpi.h"

using nc::zq::LoadNumber;
using nc::zq::SecretMpi;
using nc::zq::UsedWords;

extern "C" void ZQAPI zq_mod(WordBlock* result, const WordBlock* dividend,
                             const WordBlock* modulus) {
  const uint32_t capacity = std::min(UsedWords(dividend), UsedWords(modulus));
  SecretMpi a = LoadNumber(dividend);
  SecretMpi m = LoadNumber(modulus);
  if (m.IsZero()) {
    nc::zq::StoreZero(result);
    return;
  }
  SecretMpi r(UsedWords(dividend) + UsedWords(modulus));
  gcry_mpi_mod(r.get(), a.get(), m.get());
  nc::zq::StoreNumber(result, r.get(), capacity);
}

extern "C" void ZQAPI zq_emd(WordBlock* result, const WordBlock* base, const WordBlock* exponent,
                             const WordBlock* modulus) {
  SecretMpi b = LoadNumber(base);
  SecretMpi e = LoadNumber(exponent);
  SecretMpi m = LoadNumber(modulus);
  if (m.IsZero()) {
    nc::zq::StoreZero(result);
    return;
  }
  SecretMpi r(UsedWords(modulus));
  gcry_mpi_powm(r.get(), b.get(), e.get(), m.get());
  nc::zq::StoreNumber(result, r.get(), UsedWords(modulus));
}
