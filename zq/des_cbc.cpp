// CBC over whole blocks, the partial-block rule, and DESCbc.
#include <cstring>

#include "zq/des.h"
#include "zq/des_core.h"
#include "zq/wipe.h"

namespace nc::zq::des {

// ---- CBC ------------------------------------------------------------------
// Enciphering is a chain: each block needs the previous ciphertext.

void CbcEncrypt(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& cl, uint32_t& cr) {
  uint32_t l = cl, r = cr;
  for (size_t i = 0; i < blocks; ++i, p += 8) {
    l ^= LoadBe32(p);
    r ^= LoadBe32(p + 4);
    CryptBlock<false>(ks, l, r);
    StoreBe32(p, l);
    StoreBe32(p + 4, r);
  }
  cl = l;
  cr = r;
}

// Deciphering is not: two blocks go through the rounds side by side.
void CbcDecrypt(const uint32_t* ks, uint8_t* p, size_t blocks, uint32_t& cl, uint32_t& cr) {
  uint32_t pl = cl, pr = cr;  // previous ciphertext block
  size_t i = 0;
  for (; i + 2 <= blocks; i += 2, p += 16) {
    const uint32_t c0l = LoadBe32(p), c0r = LoadBe32(p + 4);
    const uint32_t c1l = LoadBe32(p + 8), c1r = LoadBe32(p + 12);
    uint32_t l0 = c0l, r0 = c0r, l1 = c1l, r1 = c1r;
    CryptBlock2<true>(ks, l0, r0, l1, r1);
    StoreBe32(p, l0 ^ pl);
    StoreBe32(p + 4, r0 ^ pr);
    StoreBe32(p + 8, l1 ^ c0l);
    StoreBe32(p + 12, r1 ^ c0r);
    pl = c1l;
    pr = c1r;
  }
  if (i < blocks) {
    const uint32_t c0l = LoadBe32(p), c0r = LoadBe32(p + 4);
    uint32_t l = c0l, r = c0r;
    CryptBlock<true>(ks, l, r);
    StoreBe32(p, l ^ pl);
    StoreBe32(p + 4, r ^ pr);
    pl = c0l;
    pr = c0r;
  }
  cl = pl;
  cr = pr;
}

// ---- the partial-block rule -------------------------------------------------
// The same XOR with E(last whole ciphertext block or vector) in both
// directions keeps the length and undoes itself.

void ResidualTail(const uint32_t* ks, uint8_t* p, size_t n, uint32_t cl, uint32_t cr) {
  uint8_t pad[8];
  CryptBlock<false>(ks, cl, cr);
  StoreBe32(pad, cl);
  StoreBe32(pad + 4, cr);
  for (size_t i = 0; i < n && i < 8; ++i) p[i] ^= pad[i];
  SecureWipe(pad, sizeof pad);
}

}  // namespace nc::zq::des

// ---- DESCbc -------------------------------------------------------------------

extern "C" void ZQAPI DESCbc(void* data, uint32_t length, DesKeyContext* key, const void* iv8,
                             uint32_t direction) {
  using namespace nc::zq::des;
  if (key == nullptr || iv8 == nullptr || (direction != 1 && direction != 2)) return;
  if (length != 0 && data == nullptr) return;
  uint8_t* p = static_cast<uint8_t*>(data);
  uint32_t ks[kScheduleWords];
  LoadSchedule(key->schedule, ks);
  const uint8_t* iv = static_cast<const uint8_t*>(iv8);
  uint32_t cl = LoadBe32(iv), cr = LoadBe32(iv + 4);
  const size_t blocks = length / 8;
  if (direction == 1) {
    CbcEncrypt(ks, p, blocks, cl, cr);
  } else {
    CbcDecrypt(ks, p, blocks, cl, cr);
  }
  if (length % 8 != 0) ResidualTail(ks, p + 8 * blocks, length % 8, cl, cr);
  nc::SecureWipe(ks, sizeof ks);
}
