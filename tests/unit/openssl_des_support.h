// DES-CBC by OpenSSL (natively only): the independent oracle of the key
// protection tests. OpenSSL 3 keeps DES in its legacy provider, loaded
// here into a library context of the tests' own.
#pragma once
#ifdef NCCORE_HAVE_OPENSSL
#include <gtest/gtest.h>
#include <openssl/evp.h>
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
#include <openssl/provider.h>
#endif

#include <cstdint>
#include <vector>

namespace nc::test {

class OpenSslDesCbc {
 public:
  static const OpenSslDesCbc& Get() {
    static const OpenSslDesCbc instance;
    return instance;
  }
  // Enciphers (or deciphers) whole blocks without padding.
  std::vector<std::uint8_t> Run(const std::uint8_t key[8], const std::uint8_t iv[8],
                                const std::vector<std::uint8_t>& in, bool encrypt = true) const {
    EXPECT_EQ(in.size() % 8, 0u) << "OpenSSL takes whole blocks only";
    std::vector<std::uint8_t> out(in.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, m = 0;
    EXPECT_EQ(EVP_CipherInit_ex(ctx, cipher_, nullptr, key, iv, encrypt ? 1 : 0), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(EVP_CipherFinal_ex(ctx, out.data() + n, &m), 1);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
  }

 private:
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
  OpenSslDesCbc() {
    context_ = OSSL_LIB_CTX_new();
    legacy_ = OSSL_PROVIDER_load(context_, "legacy");
    default_ = OSSL_PROVIDER_load(context_, "default");
    fetched_ = EVP_CIPHER_fetch(context_, "DES-CBC", nullptr);
    cipher_ = fetched_;
    EXPECT_NE(cipher_, nullptr) << "OpenSSL's legacy provider is needed for DES";
  }
  ~OpenSslDesCbc() {
    EVP_CIPHER_free(fetched_);
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    OSSL_LIB_CTX_free(context_);
  }
  OSSL_LIB_CTX* context_ = nullptr;
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
  EVP_CIPHER* fetched_ = nullptr;
#else
  OpenSslDesCbc() : cipher_(EVP_des_cbc()) {}
#endif
  const EVP_CIPHER* cipher_ = nullptr;
};

}  // namespace nc::test
#endif
