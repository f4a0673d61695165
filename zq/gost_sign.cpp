// ZQGOS32, GOST R 34.10-94 signatures: GOSSignGen, GOSSignCheck and
// GOSSignGenPair over libgcrypt's MPIs (conventions in zq/gost_sign.h).
//
// Every number read from a record is copied into a secure MPI first, only
// as many words as the record's field holds; the secret ones (x, k) and all
// that is derived from them stay in secure MPIs, which libgcrypt wipes when
// they are freed, and in byte buffers wiped here.
#include "zq/gost_sign.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>

#include "zq/bignum_mpi.h"
#include "zq/gcrypt_init.h"
#include "zq/gost_pqa_internal.h"
#include "zq/wipe.h"

namespace nc::zq {
namespace {

constexpr uint32_t kQWords = 8;
constexpr uint32_t kPWords = 32;
constexpr uint32_t kHalfBytes = 32;  // r', s and the hash
// Draws of k before GOSSignGen gives up. With a of order q, r' = 0 or s = 0
// has probability about 2/q per draw; only broken numbers exhaust this.
constexpr int kSignTries = 64;
// Draws of a number below q: each succeeds with probability above 1/2.
constexpr int kDrawTries = 256;

void StrongRandom(uint8_t* out, size_t n, void*) { gcry_randomize(out, n, GCRY_STRONG_RANDOM); }

// The value of a record's block, reading at most `capacity` words of it.
SecretMpi LoadField(const void* field, uint32_t capacity) {
  WordBlockOf<kPWords> copy;
  std::memcpy(&copy.count, field, 4);
  copy.count = std::min(copy.count, capacity);
  std::memcpy(copy.words, static_cast<const uint8_t*>(field) + 4, 4 * copy.count);
  SecretMpi value = LoadNumber(copy.get());
  SecureWipe(&copy, sizeof copy);
  return value;
}

// 32 bytes as a little-endian number.
SecretMpi LoadLittleEndian(const uint8_t bytes[kHalfBytes]) {
  WordBlockOf<kQWords> block;
  block.count = kQWords;
  for (uint32_t i = 0; i < kQWords; ++i) {
    block.words[i] = static_cast<uint32_t>(bytes[4 * i]) |
                     static_cast<uint32_t>(bytes[4 * i + 1]) << 8 |
                     static_cast<uint32_t>(bytes[4 * i + 2]) << 16 |
                     static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
  }
  SecretMpi value = LoadNumber(block.get());
  SecureWipe(&block, sizeof block);
  return value;
}

// `value` (below 2^256) as 32 little-endian bytes.
void StoreLittleEndian(gcry_mpi_t value, uint8_t out[kHalfBytes]) {
  WordBlockOf<kQWords> block{};
  StoreNumber(block.get(), value, kQWords);
  for (uint32_t i = 0; i < kQWords; ++i) {
    for (uint32_t b = 0; b < 4; ++b)
      out[4 * i + b] = static_cast<uint8_t>(block.words[i] >> (8 * b));
  }
  SecureWipe(&block, sizeof block);
}

// p and q are numbers the formulas can run with (libgcrypt treats a zero
// modulus as a fatal error; q - 2 must not be negative).
bool Usable(const SecretMpi& p, const SecretMpi& q) {
  return gcry_mpi_cmp_ui(p.get(), 3) >= 0 && gcry_mpi_cmp_ui(q.get(), 3) >= 0;
}

// h = H mod q, and 1 when that is 0.
SecretMpi HashNumber(const uint8_t hash[kHalfBytes], const SecretMpi& q) {
  SecretMpi whole = LoadLittleEndian(hash);
  SecretMpi h(kQWords);
  gcry_mpi_mod(h.get(), whole.get(), q.get());
  if (h.IsZero()) gcry_mpi_set_ui(h.get(), 1);
  return h;
}

// A number with 0 < number < q from `draw`; false when the source gave none
// in kDrawTries tries.
bool DrawBelow(SecretMpi& number, const SecretMpi& q, RandomBytes draw, void* draw_context) {
  const unsigned bits = gcry_mpi_get_nbits(q.get());  // at most 256
  const unsigned bytes = (bits + 7) / 8;
  uint8_t buffer[kHalfBytes];
  bool found = false;
  for (int i = 0; i < kDrawTries && !found; ++i) {
    std::memset(buffer, 0, sizeof buffer);
    draw(buffer, bytes, draw_context);
    buffer[bytes - 1] &= static_cast<uint8_t>(0xFFu >> (8 * bytes - bits));
    SecretMpi candidate = LoadLittleEndian(buffer);
    if (!candidate.IsZero() && gcry_mpi_cmp(candidate.get(), q.get()) < 0) {
      gcry_mpi_set(number.get(), candidate.get());
      found = true;
    }
  }
  SecureWipe(buffer, sizeof buffer);
  return found;
}

}  // namespace

void SignWithRandom(GOSSignContext* context, RandomBytes draw, void* draw_context) {
  EnsureGcrypt();
  uint8_t* signature = context->signature;
  SecretMpi p = LoadField(&context->p, kPWords);
  SecretMpi q = LoadField(&context->q, kQWords);
  SecretMpi a = LoadField(&context->a, kPWords);
  SecretMpi x = LoadField(&context->x, kQWords);
  if (Usable(p, q)) {
    SecretMpi h = HashNumber(context->hash, q);
    SecretMpi k(kQWords), r(kPWords), r1(kQWords), xr(kQWords), kh(kQWords), s(kQWords);
    for (int i = 0; i < kSignTries; ++i) {
      if (!DrawBelow(k, q, draw, draw_context)) break;
      gcry_mpi_powm(r.get(), a.get(), k.get(), p.get());
      gcry_mpi_mod(r1.get(), r.get(), q.get());
      if (r1.IsZero()) continue;
      gcry_mpi_mulm(xr.get(), x.get(), r1.get(), q.get());
      gcry_mpi_mulm(kh.get(), k.get(), h.get(), q.get());
      gcry_mpi_addm(s.get(), xr.get(), kh.get(), q.get());
      if (s.IsZero()) continue;
      StoreLittleEndian(r1.get(), signature);
      StoreLittleEndian(s.get(), signature + kHalfBytes);
      return;
    }
  }
  std::memset(signature, 0, 2 * kHalfBytes);
}

void GeneratePairWithRandom(GOSPairContext* context, RandomBytes draw, void* draw_context) {
  EnsureGcrypt();
  WordBlock* x_out = reinterpret_cast<WordBlock*>(&context->x);
  WordBlock* y_out = reinterpret_cast<WordBlock*>(&context->y);
  SecretMpi p = LoadField(&context->p, kPWords);
  SecretMpi q = LoadField(&context->q, kQWords);
  SecretMpi a = LoadField(&context->a, kPWords);
  SecretMpi x(kQWords), y(kPWords);
  if (!Usable(p, q) || !DrawBelow(x, q, draw, draw_context)) {
    StoreZero(x_out);
    StoreZero(y_out);
    return;
  }
  gcry_mpi_powm(y.get(), a.get(), x.get(), p.get());
  StoreNumber(x_out, x.get(), kQWords);
  StoreNumber(y_out, y.get(), kPWords);
}

}  // namespace nc::zq

using nc::zq::SecretMpi;

extern "C" void ZQAPI GOSSignGen(GOSSignContext* context) {
  nc::zq::SignWithRandom(context, nc::zq::StrongRandom, nullptr);
}

extern "C" void ZQAPI GOSSignGenPair(GOSPairContext* context) {
  nc::zq::GeneratePairWithRandom(context, nc::zq::StrongRandom, nullptr);
}

extern "C" int32_t ZQAPI GOSSignCheck(GOSSignContext* context) {
  using namespace nc::zq;
  EnsureGcrypt();
  SecretMpi p = LoadField(&context->p, kPWords);
  SecretMpi q = LoadField(&context->q, kQWords);
  SecretMpi a = LoadField(&context->a, kPWords);
  SecretMpi y = LoadField(&context->y, kPWords);
  if (!Usable(p, q)) return 0;
  SecretMpi r1 = LoadLittleEndian(context->signature);
  SecretMpi s = LoadLittleEndian(context->signature + kHalfBytes);
  // 0 < r' < q and 0 < s < q before anything else.
  if (r1.IsZero() || s.IsZero() || gcry_mpi_cmp(r1.get(), q.get()) >= 0 ||
      gcry_mpi_cmp(s.get(), q.get()) >= 0) {
    return 0;
  }
  SecretMpi h = HashNumber(context->hash, q);
  SecretMpi q2(kQWords), v(kQWords), z1(kQWords), z2(kQWords), minus_r(kQWords);
  gcry_mpi_sub_ui(q2.get(), q.get(), 2);
  gcry_mpi_powm(v.get(), h.get(), q2.get(), q.get());  // h^-1 when q is prime
  gcry_mpi_mulm(z1.get(), s.get(), v.get(), q.get());
  gcry_mpi_sub(minus_r.get(), q.get(), r1.get());
  gcry_mpi_mulm(z2.get(), minus_r.get(), v.get(), q.get());
  SecretMpi u1(kPWords), u2(kPWords), u(kPWords), u_mod_q(kQWords);
  gcry_mpi_powm(u1.get(), a.get(), z1.get(), p.get());
  gcry_mpi_powm(u2.get(), y.get(), z2.get(), p.get());
  gcry_mpi_mulm(u.get(), u1.get(), u2.get(), p.get());
  gcry_mpi_mod(u_mod_q.get(), u.get(), q.get());
  return gcry_mpi_cmp(u_mod_q.get(), r1.get()) == 0 ? 1 : 0;
}
