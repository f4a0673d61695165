// ZqGOSF against independent peers, byte for byte: the payload of every
// output (what follows the 48-byte header) equals what libgcrypt, OpenSSL's
// GOST engine and rhash compute over the same source with the same key,
// block and synchro, for sources of several sizes (empty, shorter than a
// block, not whole blocks, spanning several 64 KiB steps of the file
// processor); and every ciphertext deciphers (/D) back to its source.
//
//   command  peer                                          blocks
//   /SR      libgcrypt ECB (source zero-padded to 8)       test set, CryptoPro-A
//   /FG      libgcrypt CFB; OpenSSL "gost89"               both; CryptoPro-A
//   /GM      the counter over libgcrypt's block cipher;    both; CryptoPro-A
//            OpenSSL "gost89-cnt"
//   /IMIT    libgcrypt GOST28147_IMIT, 8 bytes             both
//   /HASH    libgcrypt GOSTR3411_94 / _CP, rhash           test set, CryptoPro hash set
//
// OpenSSL's engine knows no cipher with the GOST R 34.11-94 test set, and
// the hash peers know the hash only with the test and CryptoPro hash sets.
// The key comes from a .GEK file ZqGOSK writes (unprotected: its words are
// the key), the blocks from the sample texts through ZqGOSB.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "des_test_support.h"
#include "frame_test_support.h"
#include "gost_test_support.h"
#include "nccore21.h"

#ifdef NCCORE_HAVE_OPENSSL
// The engine interface is deprecated in OpenSSL 3 but is the only way to
// reach the key meshing switch of this engine version (see below).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#endif

namespace nc::test {
namespace {

using gost::Bytes;
using gost::Key;

constexpr std::uint8_t kSynchro[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};
constexpr std::size_t kSizes[] = {0, 1, 10, 1024, 65537, 200000};

// The cipher's blocks: the test set and CryptoPro-A; OpenSSL's engine has
// only the second.
constexpr const gost::Named* kCipherBlocks[] = {&gost::kNamedBlocks[0], &gost::kNamedBlocks[2]};
constexpr const gost::HashSet* kHashSets[] = {&gost::kHashTest, &gost::kHashCryptoPro};

// ---- OpenSSL's GOST engine ------------------------------------------------------------
#ifdef NCCORE_HAVE_OPENSSL
bool InOpenSsl(const gost::Named& block) { return std::string(block.file) == "cryptopro_a"; }

// Both GOST 28147-89 modes of the engine ("gost89" = CFB, "gost89-cnt" = the
// standard's counter) change the key every 1024 bytes (CryptoPro key
// meshing, RFC 4357), which the standard's modes do not. EVP_CTRL_KEY_MESH
// with 0 switches that off, but only through the engine's own cipher
// methods: the provider form of this engine version takes no such
// parameter. The block is set by OID after the key (the engine keeps the
// key when it changes tables); gost89-cnt starts with CryptoPro-A.
class OpenSslGostEngine {
 public:
  OpenSslGostEngine() {
    engine_ = ENGINE_by_id("gost");
    if (engine_ != nullptr && ENGINE_init(engine_) != 1) {
      ENGINE_free(engine_);
      engine_ = nullptr;
    }
    ERR_clear_error();
  }
  ~OpenSslGostEngine() {
    if (engine_ != nullptr) {
      ENGINE_finish(engine_);
      ENGINE_free(engine_);
    }
  }
  OpenSslGostEngine(const OpenSslGostEngine&) = delete;
  OpenSslGostEngine& operator=(const OpenSslGostEngine&) = delete;

  bool ok() const { return engine_ != nullptr; }
  Bytes Feedback(const char* oid, const Key& key, const Bytes& data) {
    return Encrypt(NID_id_Gost28147_89, oid, key, data);
  }
  Bytes Counter(const char* oid, const Key& key, const Bytes& data) {
    return Encrypt(NID_gost89_cnt, oid, key, data);
  }

 private:
  Bytes Encrypt(int nid, const char* oid, const Key& key, const Bytes& data) {
    const EVP_CIPHER* cipher = ENGINE_get_cipher(engine_, nid);
    EXPECT_NE(cipher, nullptr) << OBJ_nid2sn(nid);
    if (cipher == nullptr) return {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 16);
    int n = 0, m = 0;
    EXPECT_EQ(EVP_EncryptInit_ex(ctx, cipher, engine_, key.data(), kSynchro), 1);
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_SBOX, 0, const_cast<char*>(oid)), 1) << oid;
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_KEY_MESH, 0, nullptr), 1);
    EXPECT_EQ(EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())),
              1);
    EXPECT_EQ(EVP_EncryptFinal_ex(ctx, out.data() + n, &m), 1);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
  }

  ENGINE* engine_ = nullptr;
};
#endif

// ---- the files every case uses ----------------------------------------------------------

class GosfInterop : public ::testing::Test {
 protected:
  // One key, the .GTB files and the sources, made once for all cases.
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>();
    int code = -1;
    gek_ = *folder_ / "k.gek";
    const std::string text = CallOperation(ZqGOSK, Quoted(gek_) + " /NOLOGO", &code);
    ASSERT_EQ(code, 0) << text;
    const Bytes file = ReadFileBytes(gek_);
    ASSERT_EQ(file.size(), 84u);
    ASSERT_EQ(Le32(&file[48]), 8u);
    std::copy(file.begin() + 52, file.end(), key_.begin());
    std::mt19937 rng(0x28147);
    for (std::size_t size : kSizes) {
      Bytes data(size);
      for (auto& b : data) b = static_cast<std::uint8_t>(rng());
      WriteFileBytes(Source(size), data);
    }
  }
  static void TearDownTestSuite() { folder_.reset(); }

  static std::string Source(std::size_t size) {
    return *folder_ / ("src" + std::to_string(size) + ".bin");
  }
  static Bytes SourceBytes(std::size_t size) { return ReadFileBytes(Source(size)); }

  // The .GTB file of a sample block, imported on first use.
  static std::string Gtb(const char* sample) {
    const std::string gtb = *folder_ / (std::string(sample) + ".gtb");
    if (ReadFileBytes(gtb).empty()) gost::ImportText(gost::SampleFile(sample), gtb);
    return gtb;
  }

  // Runs `command` over `source` into `out`; returns the output's payload.
  static Bytes Run(const std::string& source, const std::string& out, const std::string& command,
                   const char* sample, bool withKey) {
    std::string options =
        Quoted(source) + " " + Quoted(out) + " " + command + " /BLK:" + Quoted(Gtb(sample));
    if (withKey) options += " /KEY:" + Quoted(gek_);
    int code = -1;
    const std::string text = CallOperation(ZqGOSF, options + " /Y /NOLOGO", &code);
    EXPECT_EQ(code, 0) << options << ": " << text;
    const Bytes file = ReadFileBytes(out);
    EXPECT_GE(file.size(), 48u) << options;
    if (file.size() < 48) return {};
    return Bytes(file.begin() + 48, file.end());
  }

  // Enciphers the source of `size` bytes with `command`, checks that /D
  // gives the source back, and returns the ciphertext.
  static Bytes Encipher(const std::string& command, const gost::Named& block, std::size_t size) {
    const std::string out = *folder_ / "out.gsf", back = *folder_ / "back.bin";
    const Bytes cipher = Run(Source(size), out, command, block.file, true);
    int code = -1;
    const std::string text =
        CallOperation(ZqGOSF,
                      Quoted(out) + " " + Quoted(back) + " /D /BLK:" + Quoted(Gtb(block.file)) +
                          " /KEY:" + Quoted(gek_) + " /Y /NOLOGO",
                      &code);
    EXPECT_EQ(code, 0) << command << " " << size << ": " << text;
    EXPECT_TRUE(ReadFileBytes(back) == SourceBytes(size))
        << command << " " << block.file << " " << size << ": /D did not give the source back";
    return cipher;
  }

  static std::unique_ptr<TempFolder> folder_;
  static std::string gek_;
  static Key key_;
};
std::unique_ptr<TempFolder> GosfInterop::folder_;
std::string GosfInterop::gek_;
Key GosfInterop::key_;

// ---- the cipher modes ---------------------------------------------------------------------

TEST_F(GosfInterop, SimpleReplacementIsLibgcryptEcbOfTheZeroPaddedSource) {
  for (const gost::Named* b : kCipherBlocks) {
    const gost::Named& block = *b;
    for (std::size_t size : kSizes) {
      Bytes padded = SourceBytes(size);
      padded.resize((size + 7) / 8 * 8, 0);
      gost::GcryCipher ecb(block.oid, key_, GCRY_CIPHER_MODE_ECB);
      EXPECT_EQ(gost::ToHex(Encipher("/SR", block, size)), gost::ToHex(ecb.Encrypt(padded)))
          << block.file << " " << size;
    }
  }
}

TEST_F(GosfInterop, FeedbackGammaIsLibgcryptCfb) {
  for (const gost::Named* b : kCipherBlocks) {
    const gost::Named& block = *b;
    for (std::size_t size : kSizes) {
      gost::GcryCipher cfb(block.oid, key_, GCRY_CIPHER_MODE_CFB);
      cfb.SetIv(kSynchro);
      EXPECT_EQ(gost::ToHex(Encipher("/FG", block, size)),
                gost::ToHex(cfb.Encrypt(SourceBytes(size))))
          << block.file << " " << size;
    }
  }
}

TEST_F(GosfInterop, GammaIsTheCounterOverLibgcryptsBlockCipher) {
  for (const gost::Named* b : kCipherBlocks) {
    const gost::Named& block = *b;
    for (std::size_t size : kSizes) {
      EXPECT_EQ(gost::ToHex(Encipher("/GM", block, size)),
                gost::ToHex(gost::GammaReference(block.oid, key_, kSynchro, SourceBytes(size))))
          << block.file << " " << size;
    }
  }
}

#ifdef NCCORE_HAVE_OPENSSL
TEST_F(GosfInterop, GammaModesAreOpenSslGost89WithoutKeyMeshing) {
  OpenSslGostEngine ossl;
  if (!ossl.ok()) GTEST_SKIP() << "OpenSSL's GOST engine (libengine-gost-openssl) not found";
  for (const gost::Named* b : kCipherBlocks) {
    const gost::Named& block = *b;
    if (!InOpenSsl(block)) continue;
    for (std::size_t size : kSizes) {
      const Bytes source = SourceBytes(size);
      EXPECT_EQ(gost::ToHex(Encipher("/GM", block, size)),
                gost::ToHex(ossl.Counter(block.oid, key_, source)))
          << "gost89-cnt " << block.file << " " << size;
      EXPECT_EQ(gost::ToHex(Encipher("/FG", block, size)),
                gost::ToHex(ossl.Feedback(block.oid, key_, source)))
          << "gost89 " << block.file << " " << size;
    }
  }
}
#endif

// ---- the imitation insert and the hash ---------------------------------------------------

TEST_F(GosfInterop, ImitationInsertIsLibgcryptsWholeState) {
  const std::string out = *folder_ / "out.imi";
  for (const gost::Named* b : kCipherBlocks) {
    const gost::Named& block = *b;
    for (std::size_t size : kSizes) {
      EXPECT_EQ(gost::ToHex(Run(Source(size), out, "/IMIT", block.file, true)),
                gost::ToHex(gost::GcryImit(block.oid, key_, SourceBytes(size))))
          << block.file << " " << size;
    }
  }
}

TEST_F(GosfInterop, HashIsLibgcryptsAndRhashs) {
  const std::string out = *folder_ / "out.hsh";
#ifndef _WIN32
  const bool rhash = gost::HaveRhash();
#endif
  for (const gost::HashSet* set : kHashSets) {
    for (std::size_t size : kSizes) {
      const std::string ours = gost::ToHex(Run(Source(size), out, "/HASH", set->file, false));
      EXPECT_EQ(ours, gost::ToHex(gost::GcryHash(set->gcry, SourceBytes(size))))
          << set->file << " " << size;
#ifndef _WIN32
      if (rhash) {
        EXPECT_EQ(ours, gost::RhashOf(set->rhash, Source(size))) << set->rhash << " " << size;
      }
#endif
    }
  }
#ifndef _WIN32
  if (!rhash) GTEST_SKIP() << "rhash is not installed: compared with libgcrypt only";
#endif
}

}  // namespace
}  // namespace nc::test
