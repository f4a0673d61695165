// DES references for tests, independent of the implementation under test:
// libgcrypt's DES in the modes it offers, the other modes built from its
// single-block DES following FIPS 81 and the constructions documented in
// zq/des.h (partial final block, keyed hash), and OpenSSL's DES as a second
// peer where it is available (natively).
#pragma once
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "zq/gcrypt_init.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/evp.h>
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
#include <openssl/provider.h>
#endif
#endif

namespace nc::test::des_ref {

using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::uint8_t, 8>;

// One libgcrypt DES handle (weak keys allowed) in `mode`.
class Gcry {
 public:
  Gcry(int mode, const Block& key, const Block* iv) {
    nc::zq::EnsureGcrypt();
    EXPECT_EQ(gcry_cipher_open(&h_, GCRY_CIPHER_DES, mode, 0), 0);
    gcry_cipher_ctl(h_, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
    gcry_error_t rc = gcry_cipher_setkey(h_, key.data(), 8);
    EXPECT_TRUE(rc == 0 || gcry_err_code(rc) == GPG_ERR_WEAK_KEY);
    if (iv != nullptr) {
      EXPECT_EQ(gcry_cipher_setiv(h_, iv->data(), 8), 0);
    }
  }
  ~Gcry() { gcry_cipher_close(h_); }
  Gcry(const Gcry&) = delete;
  Gcry& operator=(const Gcry&) = delete;

  Bytes Run(bool encrypt, Bytes data) {
    if (data.empty()) return data;
    gcry_error_t rc = encrypt ? gcry_cipher_encrypt(h_, data.data(), data.size(), nullptr, 0)
                              : gcry_cipher_decrypt(h_, data.data(), data.size(), nullptr, 0);
    EXPECT_EQ(rc, 0);
    return data;
  }

 private:
  gcry_cipher_hd_t h_ = nullptr;
};

// libgcrypt's DES in `mode` (no vector for ECB) over whole `data`.
inline Bytes Run(int mode, bool encrypt, const Block& key, const Block& iv, const Bytes& data) {
  Gcry g(mode, key, mode == GCRY_CIPHER_MODE_ECB ? nullptr : &iv);
  return g.Run(encrypt, data);
}

inline Block Encipher(Gcry& ecb, const Block& block) {
  Bytes out = ecb.Run(true, Bytes(block.begin(), block.end()));
  Block b{};
  std::copy(out.begin(), out.end(), b.begin());
  return b;
}

// One block enciphered under `key`.
inline Block Encipher(const Block& key, const Block& block) {
  Gcry ecb(GCRY_CIPHER_MODE_ECB, key, nullptr);
  return Encipher(ecb, block);
}

// ECB or CBC (`cbc`) over the whole blocks, then a partial final block
// XORed with E(last whole ciphertext block, or the vector).
inline Bytes BlockMode(bool cbc, bool encrypt, const Block& key, const Block& iv, const Bytes& in) {
  const std::size_t whole = in.size() / 8 * 8;
  Bytes head(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(whole));
  Bytes out = Run(cbc ? GCRY_CIPHER_MODE_CBC : GCRY_CIPHER_MODE_ECB, encrypt, key, iv, head);
  Block z = iv;
  if (whole > 0) {
    const Bytes& cipher = encrypt ? out : head;
    std::copy(cipher.end() - 8, cipher.end(), z.begin());
  }
  const Block pad = Encipher(key, z);
  for (std::size_t i = whole; i < in.size(); ++i) out.push_back(in[i] ^ pad[i - whole]);
  return out;
}

// FIPS 81 k-bit CFB (`cfb`) or OFB with k = 8 x unit.
inline Bytes UnitStream(bool cfb, bool encrypt, std::size_t unit, const Block& key, const Block& iv,
                        const Bytes& in) {
  Gcry ecb(GCRY_CIPHER_MODE_ECB, key, nullptr);
  Bytes out(in.size());
  Block reg = iv;
  for (std::size_t at = 0; at < in.size(); at += unit) {
    const Block o = Encipher(ecb, reg);
    const std::size_t n = std::min(unit, in.size() - at);
    Block feedback{};
    for (std::size_t j = 0; j < n; ++j) {
      out[at + j] = in[at + j] ^ o[j];
      feedback[j] = !cfb ? o[j] : encrypt ? out[at + j] : in[at + j];
    }
    Block next{};
    std::copy(reg.begin() + static_cast<std::ptrdiff_t>(unit), reg.end(), next.begin());
    std::copy(feedback.begin(), feedback.begin() + static_cast<std::ptrdiff_t>(unit),
              next.begin() + static_cast<std::ptrdiff_t>(8 - unit));
    reg = next;
  }
  return out;
}

// CBC-MAC (ISO/IEC 9797-1 algorithm 1, padding method 2) with the vector as
// the starting value; the empty message gives zeros.
inline Bytes KeyedHash(const Block& key, const Block& iv, const Bytes& message) {
  if (message.empty()) return Bytes(8, 0);
  Bytes padded = message;
  padded.push_back(0x80);
  while (padded.size() % 8 != 0) padded.push_back(0);
  Bytes c = Run(GCRY_CIPHER_MODE_CBC, true, key, iv, padded);
  return Bytes(c.end() - 8, c.end());
}

#ifdef NCCORE_HAVE_OPENSSL
// OpenSSL's DES. In OpenSSL 3 it lives in the legacy provider: a library
// context of the tests' own with the legacy and default providers, kept for
// the process. Tests that can do without it check ok() and skip; a Run
// without the cipher fails the test.
class OpenSslDes {
 public:
  enum Cipher { kEcb, kCbc, kCfb8, kCfb64, kOfb, kCount };
  static const OpenSslDes& Get() {
    static const OpenSslDes instance;
    return instance;
  }
  bool ok() const { return ok_; }

  // The whole message in one update, without padding (so ECB and CBC take
  // whole blocks only).
  Bytes Run(Cipher cipher, bool encrypt, const Block& key, const Block& iv, const Bytes& in) const {
    return Run(cipher, encrypt, key.data(), iv.data(), in);
  }
  Bytes Run(Cipher cipher, bool encrypt, const std::uint8_t* key, const std::uint8_t* iv,
            const Bytes& in) const {
    if (cipher_[cipher] == nullptr) {
      ADD_FAILURE() << "OpenSSL's legacy provider is needed for DES";
      return {};
    }
    if (cipher == kEcb || cipher == kCbc) {
      EXPECT_EQ(in.size() % 8, 0u) << "OpenSSL takes whole blocks only";
    }
    Bytes out(in.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EXPECT_NE(ctx, nullptr);
    EXPECT_EQ(EVP_CipherInit_ex(ctx, cipher_[cipher], nullptr, key, iv, encrypt ? 1 : 0), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0, m = 0;
    EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(EVP_CipherFinal_ex(ctx, out.data() + n, &m), 1);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
  }

 private:
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
  OpenSslDes() {
    ctx_ = OSSL_LIB_CTX_new();
    if (ctx_ == nullptr) return;
    legacy_ = OSSL_PROVIDER_load(ctx_, "legacy");
    default_ = OSSL_PROVIDER_load(ctx_, "default");
    const char* names[kCount] = {"DES-ECB", "DES-CBC", "DES-CFB8", "DES-CFB", "DES-OFB"};
    ok_ = legacy_ != nullptr && default_ != nullptr;
    for (int i = 0; i < kCount; ++i) {
      fetched_[i] = EVP_CIPHER_fetch(ctx_, names[i], nullptr);
      cipher_[i] = fetched_[i];
      ok_ = ok_ && fetched_[i] != nullptr;
    }
  }
  ~OpenSslDes() {
    for (EVP_CIPHER* c : fetched_) EVP_CIPHER_free(c);
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    OSSL_LIB_CTX_free(ctx_);
  }
  OSSL_LIB_CTX* ctx_ = nullptr;
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
  EVP_CIPHER* fetched_[kCount] = {};
#else
  OpenSslDes()
      : ok_(true),
        cipher_{EVP_des_ecb(), EVP_des_cbc(), EVP_des_cfb8(), EVP_des_cfb64(), EVP_des_ofb()} {}
#endif
  bool ok_ = false;
  const EVP_CIPHER* cipher_[kCount] = {};
};
#endif

}  // namespace nc::test::des_ref
