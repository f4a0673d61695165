// Helpers of the GOST tests: the substitution blocks of the sample files in
// res/gost imported through the library's own ZqGOSB, and the independent
// peers they are checked against (libgcrypt's GOST 28147-89 modes, the
// standard's gamma built on its single-block cipher, its imitation insert
// and GOST R 34.11-94; `rhash` run as a program).
#pragma once
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "nccore21.h"
#include "zq/gcrypt_init.h"

namespace nc::test::gost {

using Bytes = std::vector<std::uint8_t>;
using Key = std::array<std::uint8_t, 32>;
using Box = std::array<std::uint8_t, 64>;

// ---- substitution blocks through ZqGOSB -------------------------------------------

inline std::string SampleFile(const std::string& name) {
  return std::string(NCCORE_SOURCE_DIR) + "/res/gost/" + name + ".txt";
}

// Imports a text file with ZqGOSB into the .GTB file `gtb` and returns the
// block that file holds (116 bytes: the header, count 16, the 64 bytes).
inline Box ImportText(const std::string& text_path, const std::string& gtb) {
  // An unquoted name would take the rest of the option string.
  const std::string options = "/NOLOGO /Y \"" + text_path + "\" \"" + gtb + "\"";
  char result[512] = "";
  const std::int32_t code = ZqGOSB(nullptr, options.c_str(), result, sizeof result);
  EXPECT_EQ(code, 0) << result;
  const Bytes file = ReadFileBytes(gtb);
  Box box{};
  EXPECT_EQ(file.size(), 116u) << text_path;
  if (file.size() == 116) {
    EXPECT_EQ(Bytes(file.begin() + 48, file.begin() + 52), (Bytes{16, 0, 0, 0}));
    std::copy(file.begin() + 52, file.end(), box.begin());
  }
  return box;
}

inline Box ImportText(const std::string& text_path) {
  TempFolder folder;
  return ImportText(text_path, folder / "block.gtb");
}

// The block of res/gost/<name>.txt, imported once per process.
inline const Box& Sample(const std::string& name) {
  static std::map<std::string, Box> imported;
  auto it = imported.find(name);
  if (it == imported.end()) it = imported.emplace(name, ImportText(SampleFile(name))).first;
  return it->second;
}

// The sample blocks and libgcrypt's name (OID) for each.
struct Named {
  const char* file;
  const char* oid;
};
inline constexpr Named kNamedBlocks[] = {
    {"test_paramset", "1.2.643.2.2.30.0"},
    {"cryptopro_hash", "1.2.643.2.2.30.1"},
    {"cryptopro_a", "1.2.643.2.2.31.1"},
    {"tc26_z", "1.2.643.7.1.2.5.1.1"},
};

// The two blocks GOST R 34.11-94 is used with, and the peers' names for the
// hash with each.
struct HashSet {
  const char* file;
  int gcry;
  const char* rhash;
};
inline constexpr HashSet kHashTest = {"test_paramset", GCRY_MD_GOSTR3411_94, "--gost94"};
inline constexpr HashSet kHashCryptoPro = {"cryptopro_hash", GCRY_MD_GOSTR3411_CP,
                                           "--gost94-cryptopro"};

// ---- libgcrypt ----------------------------------------------------------------------

// GOST 28147-89 in one of libgcrypt's modes with a named block.
class GcryCipher {
 public:
  GcryCipher(const char* oid, const Key& key, int mode) {
    nc::zq::EnsureGcrypt();
    EXPECT_EQ(gcry_cipher_open(&h_, GCRY_CIPHER_GOST28147, mode, 0), 0);
    // (gcry_cipher_set_sbox is a macro ending in a semicolon)
    EXPECT_EQ(gcry_cipher_ctl(h_, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0) << oid;
    EXPECT_EQ(gcry_cipher_setkey(h_, key.data(), key.size()), 0);
  }
  ~GcryCipher() { gcry_cipher_close(h_); }
  GcryCipher(const GcryCipher&) = delete;
  GcryCipher& operator=(const GcryCipher&) = delete;
  void SetIv(const std::uint8_t* iv) { EXPECT_EQ(gcry_cipher_setiv(h_, iv, 8), 0); }
  Bytes Encrypt(Bytes d) {
    if (!d.empty()) {
      EXPECT_EQ(gcry_cipher_encrypt(h_, d.data(), d.size(), nullptr, 0), 0);
    }
    return d;
  }
  Bytes Decrypt(Bytes d) {
    if (!d.empty()) {
      EXPECT_EQ(gcry_cipher_decrypt(h_, d.data(), d.size(), nullptr, 0), 0);
    }
    return d;
  }

 private:
  gcry_cipher_hd_t h_ = nullptr;
};

// libgcrypt's imitation insert, all 8 bytes of the final state.
inline Bytes GcryImit(const char* oid, const Key& key, const Bytes& data) {
  nc::zq::EnsureGcrypt();
  gcry_mac_hd_t h = nullptr;
  EXPECT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0);
  EXPECT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), std::strlen(oid) + 1), 0);
  EXPECT_EQ(gcry_mac_setkey(h, key.data(), key.size()), 0);
  if (!data.empty()) {
    EXPECT_EQ(gcry_mac_write(h, data.data(), data.size()), 0);
  }
  Bytes tag(8);
  std::size_t length = tag.size();
  EXPECT_EQ(gcry_mac_read(h, tag.data(), &length), 0);
  EXPECT_EQ(length, 8u);
  gcry_mac_close(h);
  return tag;
}

// The standard's gamma (counter) mode from libgcrypt's single-block cipher:
// (N3, N4) = E(S), then for every block N3 + C2 mod 2^32 and N4 + C1 mod
// 2^32 - 1 (64-bit arithmetic here), the gamma block E(N3, N4).
inline Bytes GammaReference(const char* oid, const Key& key, const std::uint8_t synchro[8],
                            Bytes data) {
  auto le32 = [](const std::uint8_t* p) {
    return std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 |
           std::uint64_t{p[3]} << 24;
  };
  GcryCipher ecb(oid, key, GCRY_CIPHER_MODE_ECB);
  const Bytes s = ecb.Encrypt(Bytes(synchro, synchro + 8));
  std::uint64_t n3 = le32(s.data()), n4 = le32(s.data() + 4);
  for (std::size_t at = 0; at < data.size(); at += 8) {
    n3 = (n3 + 0x01010101u) % 0x100000000u;
    n4 += 0x01010104u;
    if (n4 >= 0x100000000u) n4 -= 0xffffffffu;
    Bytes block(8);
    for (int i = 0; i < 4; ++i) {
      block[i] = static_cast<std::uint8_t>(n3 >> (8 * i));
      block[4 + i] = static_cast<std::uint8_t>(n4 >> (8 * i));
    }
    block = ecb.Encrypt(block);
    for (std::size_t i = 0; i < 8 && at + i < data.size(); ++i) data[at + i] ^= block[i];
  }
  return data;
}

inline Bytes GcryHash(int algo, const Bytes& data) {
  nc::zq::EnsureGcrypt();
  Bytes out(32);
  gcry_md_hash_buffer(algo, out.data(), data.data(), data.size());
  return out;
}

inline std::string ToHex(const Bytes& b) {
  std::string s;
  char d[3];
  for (std::uint8_t x : b) {
    std::snprintf(d, sizeof d, "%02x", x);
    s += d;
  }
  return s;
}

// ---- rhash, as a program over a file --------------------------------------------------
#ifndef _WIN32
inline bool HaveRhash() { return std::system("rhash --version >/dev/null 2>&1") == 0; }

// The hash rhash prints for the file (lower-case hexadecimal), or its
// complaint.
inline std::string RhashOf(const char* option, const std::string& path) {
  const std::string command = std::string("rhash ") + option + " --simple '" + path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) out += line;
  pclose(pipe);
  return out.substr(0, out.find_first_of(" \n"));
}
#endif

}  // namespace nc::test::gost
