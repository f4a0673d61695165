// DES: known answers from FIPS 81 and the NIST DES validation tests,
// algebraic properties of the cipher, differential tests against libgcrypt
// and OpenSSL on random keys, vectors, lengths and chunk splits, and the
// job contract (running state across chunks, partial blocks, the keyed hash,
// refused contexts).
//
// The modes no peer offers (CFB and OFB with units of 2 to 7 bytes, the
// partial-block rule, the keyed hash) are checked against references built
// in des_reference.h from libgcrypt's single-block DES following FIPS 81 and the
// construction documented in zq/des.h, so no code of the implementation
// under test is involved in computing an expected value.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "des_reference.h"
#include "hex_bytes.h"
#include "zq/des.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Key = std::array<uint8_t, 8>;

using nc::test::Hex;
namespace des_ref = nc::test::des_ref;

Key KeyFrom(std::string_view text) {
  Bytes b = Hex(text);
  Key k{};
  std::copy(b.begin(), b.end(), k.begin());
  return k;
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---- driving the implementation --------------------------------------------

DesJobContext MakeJob(uint32_t operation, uint32_t mode, uint32_t unit, const Key& key,
                      const Key& iv) {
  DesJobContext job;
  std::memset(&job, 0, sizeof job);
  job.size = sizeof job;
  job.operation = operation;
  job.mode = mode;
  job.unitSize = unit;
  job.key.count = 2;
  std::memcpy(job.key.key, key.data(), 8);
  std::memcpy(job.iv, iv.data(), 8);
  return job;
}

// Runs one job over `data` in place, chunk by chunk.
void ExecChunks(DesJobContext& job, Bytes& data, const std::vector<size_t>& chunks) {
  size_t at = 0;
  for (size_t n : chunks) {
    ASSERT_LE(at + n, data.size());
    ASSERT_EQ(DESExec(data.data() + at, static_cast<uint32_t>(n), &job), kDesExecOk);
    at += n;
  }
  ASSERT_EQ(at, data.size());
}

Bytes Exec(uint32_t operation, uint32_t mode, uint32_t unit, const Key& key, const Key& iv,
           Bytes data, const std::vector<size_t>& chunks) {
  DesJobContext job = MakeJob(operation, mode, unit, key, iv);
  ExecChunks(job, data, chunks);
  return data;
}

Bytes ExecOnce(uint32_t operation, uint32_t mode, uint32_t unit, const Key& key, const Key& iv,
               const Bytes& data) {
  return Exec(operation, mode, unit, key, iv, data, {data.size()});
}

Bytes HashOf(const Key& key, const Key& iv, const Bytes& data, const std::vector<size_t>& chunks) {
  DesJobContext job = MakeJob(kDesHash, 0, 0, key, iv);
  Bytes copy = data;
  ExecChunks(job, copy, chunks);
  EXPECT_EQ(copy, data) << "hashing must not change the buffer";
  return Bytes(job.chaining, job.chaining + 8);
}

// A random split of n bytes into chunks: mostly small and odd, sometimes
// large, sometimes empty. For ECB and CBC every chunk but the last is a
// multiple of 8 (`granule`).
std::vector<size_t> RandomSplit(size_t n, std::mt19937& rng, size_t granule) {
  std::vector<size_t> chunks;
  size_t left = n;
  while (left > 0) {
    size_t want;
    switch (rng() % 4) {
      case 0:
        want = rng() % 8;
        break;
      case 1:
        want = 1 + rng() % 24;
        break;
      case 2:
        want = rng() % 200;
        break;
      default:
        want = rng() % (left + 1);
        break;
    }
    want -= want % granule;
    want = std::min(want, left);
    chunks.push_back(want);
    left -= want;
  }
  if (rng() % 3 == 0) chunks.push_back(0);  // a trailing empty call changes nothing
  return chunks;
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

Key RandomKey(std::mt19937& rng) {
  Key k{};
  for (auto& x : k) x = static_cast<uint8_t>(rng());
  return k;
}

// ---- known answers ---------------------------------------------------------------

// FIPS 81, appendices B to D: the same key, vector and message in every mode.
const Key kFipsKey = KeyFrom("0123456789abcdef");
const Key kFipsIv = KeyFrom("1234567890abcdef");
const Bytes kFipsText = Text("Now is the time for all ");

struct ModeAnswer {
  const char* name;
  uint32_t mode, unit;
  const char* cipher;
};

const ModeAnswer kFipsAnswers[] = {
    {"ECB", kDesEcb, 8, "3fa40e8a984d4815 6a271787ab8883f9 893d51ec4b563b53"},
    {"CBC", kDesCbc, 8, "e5c7cdde872bf27c 43e934008c389c0f 683788499a7c05f6"},
    {"CFB-8", kDesCfb, 1, "f31fda07011462ee187f43d80a7cd9b5b0d290da6e5b9a87"},
    {"CFB-64", kDesCfb, 8, "f3096249c7f46e51 a69e839b1a92f784 03467133898ea622"},
    {"OFB-64", kDesOfb, 8, "f3096249c7f46e51 35f24a242eeb3d3f 3d6d5be3255af8c3"},
};

TEST(DesKnownAnswer, Fips81ExamplesInOneCall) {
  for (const auto& a : kFipsAnswers) {
    SCOPED_TRACE(a.name);
    const Bytes c = ExecOnce(kDesEncipher, a.mode, a.unit, kFipsKey, kFipsIv, kFipsText);
    EXPECT_EQ(c, Hex(a.cipher));
    EXPECT_EQ(ExecOnce(kDesDecipher, a.mode, a.unit, kFipsKey, kFipsIv, c), kFipsText);
  }
}

TEST(DesKnownAnswer, Fips81ExamplesInChunks) {
  for (const auto& a : kFipsAnswers) {
    SCOPED_TRACE(a.name);
    // ECB and CBC: block by block; the stream modes: byte by byte.
    std::vector<size_t> chunks(a.mode <= kDesCbc ? 3 : 24, a.mode <= kDesCbc ? 8 : 1);
    const Bytes c = Exec(kDesEncipher, a.mode, a.unit, kFipsKey, kFipsIv, kFipsText, chunks);
    EXPECT_EQ(c, Hex(a.cipher));
    EXPECT_EQ(Exec(kDesDecipher, a.mode, a.unit, kFipsKey, kFipsIv, c, chunks), kFipsText);
  }
}

// Single blocks from the NIST DES validation tests (SP 800-17: variable
// plaintext, variable key, S-box tests) and the classic worked example.
TEST(DesKnownAnswer, SingleBlocks) {
  struct Case {
    const char *key, *plain, *cipher;
  };
  const Case cases[] = {
      {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
      {"0101010101010101", "4000000000000000", "dd7f121ca5015619"},
      {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
      {"4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
      {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
      {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
  };
  const Key zero{};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const Key key = KeyFrom(c.key);
    EXPECT_EQ(ExecOnce(kDesEncipher, kDesEcb, 8, key, zero, Hex(c.plain)), Hex(c.cipher));
    EXPECT_EQ(ExecOnce(kDesDecipher, kDesEcb, 8, key, zero, Hex(c.cipher)), Hex(c.plain));
  }
}

// The whole variable-plaintext and variable-key tables: every single-bit
// plaintext under the all-zero key (parity bits set), and every single
// non-parity key bit with the zero plaintext, against libgcrypt.
TEST(DesKnownAnswer, VariablePlaintextAndVariableKeyTables) {
  const Key zero{};
  const Key zero_key = KeyFrom("0101010101010101");
  for (int bit = 0; bit < 64; ++bit) {
    SCOPED_TRACE(bit);
    Bytes plain(8, 0);
    plain[bit / 8] = static_cast<uint8_t>(0x80 >> (bit % 8));
    const Bytes c = ExecOnce(kDesEncipher, kDesEcb, 8, zero_key, zero, plain);
    EXPECT_EQ(c, des_ref::Run(GCRY_CIPHER_MODE_ECB, true, zero_key, zero, plain));
    EXPECT_EQ(ExecOnce(kDesDecipher, kDesEcb, 8, zero_key, zero, c), plain);
    if (bit % 8 == 7) continue;  // a parity bit
    Key key = zero_key;
    key[bit / 8] = static_cast<uint8_t>(key[bit / 8] | (0x80 >> (bit % 8)));
    EXPECT_EQ(ExecOnce(kDesEncipher, kDesEcb, 8, key, zero, Bytes(8, 0)),
              des_ref::Run(GCRY_CIPHER_MODE_ECB, true, key, zero, Bytes(8, 0)));
  }
}

// ---- algebraic properties ------------------------------------------------------------

Bytes Complement(Bytes b) {
  for (auto& x : b) x = static_cast<uint8_t>(~x);
  return b;
}

TEST(DesProperties, ComplementationHolds) {
  std::mt19937 rng(81);
  const Key zero{};
  for (int i = 0; i < 200; ++i) {
    const Key key = RandomKey(rng);
    Key not_key;
    for (size_t j = 0; j < 8; ++j) not_key[j] = static_cast<uint8_t>(~key[j]);
    const Bytes p = RandomBytes(rng, 8);
    EXPECT_EQ(ExecOnce(kDesEncipher, kDesEcb, 8, not_key, zero, Complement(p)),
              Complement(ExecOnce(kDesEncipher, kDesEcb, 8, key, zero, p)));
  }
}

// Under a weak key every round key is the same, so enciphering twice is the
// identity: a schedule with a wrong rotation or choice breaks this.
TEST(DesProperties, WeakKeysAreInvolutions) {
  std::mt19937 rng(46);
  const Key zero{};
  for (const char* k :
       {"0101010101010101", "fefefefefefefefe", "e0e0e0e0f1f1f1f1", "1f1f1f1f0e0e0e0e"}) {
    SCOPED_TRACE(k);
    const Bytes p = RandomBytes(rng, 64);
    const Bytes once = ExecOnce(kDesEncipher, kDesEcb, 8, KeyFrom(k), zero, p);
    EXPECT_NE(once, p);
    EXPECT_EQ(ExecOnce(kDesEncipher, kDesEcb, 8, KeyFrom(k), zero, once), p);
  }
}

// ---- the key schedule record ------------------------------------------------------------

TEST(DesSchedule, LayoutParityAndLazyExpansion) {
  std::mt19937 rng(1977);
  for (int i = 0; i < 20; ++i) {
    const Key key = RandomKey(rng);
    DesKeyContext a;
    std::memset(&a, 0, sizeof a);
    a.count = 2;
    std::memcpy(a.key, key.data(), 8);
    DESEdk(&a);
    // Each byte holds one 6-bit subkey group.
    for (uint8_t b : a.schedule) EXPECT_EQ(b & 0xc0, 0);
    // Parity bits take no part.
    DesKeyContext b = a;
    uint8_t flipped[8];
    std::memcpy(flipped, key.data(), 8);
    for (auto& x : flipped) x ^= 1;
    std::memcpy(b.key, flipped, 8);
    DESEdk(&b);
    EXPECT_EQ(std::memcmp(a.schedule, b.schedule, 128), 0);
    // DESExec expands the same schedule into the job on its first call.
    DesJobContext job = MakeJob(kDesEncipher, kDesEcb, 8, key, Key{});
    Bytes block(8, 0);
    ASSERT_EQ(DESExec(block.data(), 8, &job), kDesExecOk);
    EXPECT_EQ(std::memcmp(job.key.schedule, a.schedule, 128), 0);
  }
}

// ---- differential: libgcrypt -------------------------------------------------------------

struct PeerMode {
  const char* name;
  uint32_t mode, unit;
  int gcry_mode;
};

const PeerMode kPeerModes[] = {
    {"ECB", kDesEcb, 8, GCRY_CIPHER_MODE_ECB},    {"CBC", kDesCbc, 8, GCRY_CIPHER_MODE_CBC},
    {"CFB-64", kDesCfb, 8, GCRY_CIPHER_MODE_CFB}, {"CFB-8", kDesCfb, 1, GCRY_CIPHER_MODE_CFB8},
    {"OFB-64", kDesOfb, 8, GCRY_CIPHER_MODE_OFB},
};

TEST(DesDifferential, AgainstLibgcryptWithRandomSplits) {
  std::mt19937 rng(20240101);
  for (const auto& m : kPeerModes) {
    SCOPED_TRACE(m.name);
    const bool block = m.mode <= kDesCbc;
    for (int iter = 0; iter < 150; ++iter) {
      SCOPED_TRACE(iter);
      const Key key = RandomKey(rng), iv = RandomKey(rng);
      size_t n = rng() % 700;
      if (block) n -= n % 8;  // the peer has no partial blocks
      const Bytes plain = RandomBytes(rng, n);
      const Bytes expect = des_ref::Run(m.gcry_mode, true, key, iv, plain);
      const Bytes c =
          Exec(kDesEncipher, m.mode, m.unit, key, iv, plain, RandomSplit(n, rng, block ? 8 : 1));
      ASSERT_EQ(c, expect);
      // Deciphering: ours of the peer's ciphertext, split differently.
      ASSERT_EQ(
          Exec(kDesDecipher, m.mode, m.unit, key, iv, expect, RandomSplit(n, rng, block ? 8 : 1)),
          plain);
    }
  }
}

// Large chunks, as the file processor passes them: 64 KiB at a time.
TEST(DesDifferential, AgainstLibgcryptInFileSizedChunks) {
  std::mt19937 rng(65536);
  const size_t n = 3 * 65536 + 24;
  const Bytes plain = RandomBytes(rng, n);
  const std::vector<size_t> chunks = {65536, 65536, 65536, 24};
  for (const auto& m : kPeerModes) {
    SCOPED_TRACE(m.name);
    const Key key = RandomKey(rng), iv = RandomKey(rng);
    const Bytes c = Exec(kDesEncipher, m.mode, m.unit, key, iv, plain, chunks);
    ASSERT_EQ(c, des_ref::Run(m.gcry_mode, true, key, iv, plain));
    ASSERT_EQ(Exec(kDesDecipher, m.mode, m.unit, key, iv, c, chunks), plain);
  }
}

// ---- differential: OpenSSL -----------------------------------------------------------------

#ifdef NCCORE_HAVE_OPENSSL
TEST(DesDifferential, AgainstOpenSslWithRandomSplits) {
  using Ossl = des_ref::OpenSslDes;
  const Ossl& ossl = Ossl::Get();
  if (!ossl.ok()) GTEST_SKIP() << "OpenSSL without DES (legacy provider missing)";
  struct OsslMode {
    const char* name;
    uint32_t mode, unit;
    Ossl::Cipher cipher;
  };
  const OsslMode modes[] = {
      {"ECB", kDesEcb, 8, Ossl::kEcb},    {"CBC", kDesCbc, 8, Ossl::kCbc},
      {"CFB-8", kDesCfb, 1, Ossl::kCfb8}, {"CFB-64", kDesCfb, 8, Ossl::kCfb64},
      {"OFB-64", kDesOfb, 8, Ossl::kOfb},
  };
  std::mt19937 rng(19770115);
  for (const auto& m : modes) {
    SCOPED_TRACE(m.name);
    const bool block = m.mode <= kDesCbc;
    for (int iter = 0; iter < 150; ++iter) {
      SCOPED_TRACE(iter);
      const Key key = RandomKey(rng), iv = RandomKey(rng);
      size_t n = rng() % 700;
      if (block) n -= n % 8;
      const Bytes plain = RandomBytes(rng, n);
      const Bytes expect = ossl.Run(m.cipher, true, key, iv, plain);
      ASSERT_EQ(
          Exec(kDesEncipher, m.mode, m.unit, key, iv, plain, RandomSplit(n, rng, block ? 8 : 1)),
          expect);
      ASSERT_EQ(
          Exec(kDesDecipher, m.mode, m.unit, key, iv, expect, RandomSplit(n, rng, block ? 8 : 1)),
          plain);
    }
  }
}
#endif

// ---- CFB and OFB with every unit size --------------------------------------------------------

TEST(DesStreamModes, EveryUnitMatchesFips81Reference) {
  std::mt19937 rng(1980);
  for (uint32_t mode : {kDesCfb, kDesOfb}) {
    for (uint32_t unit = 1; unit <= 8; ++unit) {
      SCOPED_TRACE(std::string(mode == kDesCfb ? "CFB unit " : "OFB unit ") + std::to_string(unit));
      for (int iter = 0; iter < 12; ++iter) {
        const Key key = RandomKey(rng), iv = RandomKey(rng);
        const size_t n = rng() % 150;  // often not a whole number of units
        const Bytes plain = RandomBytes(rng, n);
        const Bytes expect = des_ref::UnitStream(mode == kDesCfb, true, unit, key, iv, plain);
        ASSERT_EQ(ExecOnce(kDesEncipher, mode, unit, key, iv, plain), expect);
        ASSERT_EQ(Exec(kDesEncipher, mode, unit, key, iv, plain, RandomSplit(n, rng, 1)), expect);
        ASSERT_EQ(Exec(kDesDecipher, mode, unit, key, iv, expect, RandomSplit(n, rng, 1)), plain);
        ASSERT_EQ(des_ref::UnitStream(mode == kDesCfb, false, unit, key, iv, expect), plain);
      }
    }
  }
}

// The chunks the file processor passes: the largest multiple of the unit
// not above 64 KiB (65535 bytes for units 3 and 5, 65532 for 6, 65534 for
// 7), then a short last chunk.
TEST(DesStreamModes, FileSizedChunksForEveryUnit) {
  std::mt19937 rng(65535);
  for (uint32_t mode : {kDesCfb, kDesOfb}) {
    for (uint32_t unit : {1u, 3u, 5u, 6u, 7u, 8u}) {
      SCOPED_TRACE(std::string(mode == kDesCfb ? "CFB unit " : "OFB unit ") + std::to_string(unit));
      const size_t chunk = 65536 / unit * unit;
      const Key key = RandomKey(rng), iv = RandomKey(rng);
      const Bytes plain = RandomBytes(rng, chunk + 37);
      const Bytes c = Exec(kDesEncipher, mode, unit, key, iv, plain, {chunk, 37});
      ASSERT_EQ(c, des_ref::UnitStream(mode == kDesCfb, true, unit, key, iv, plain));
      ASSERT_EQ(Exec(kDesDecipher, mode, unit, key, iv, c, {chunk, 37}), plain);
    }
  }
}

// Every split point of one message into two calls gives the one-call bytes.
TEST(DesStreamModes, EverySplitPointGivesTheSameBytes) {
  std::mt19937 rng(7);
  const Key key = RandomKey(rng), iv = RandomKey(rng);
  const Bytes plain = RandomBytes(rng, 43);
  for (uint32_t mode : {kDesCfb, kDesOfb}) {
    for (uint32_t unit = 1; unit <= 8; ++unit) {
      for (uint32_t op : {kDesEncipher, kDesDecipher}) {
        const Bytes whole = ExecOnce(op, mode, unit, key, iv, plain);
        for (size_t cut = 0; cut <= plain.size(); ++cut) {
          ASSERT_EQ(Exec(op, mode, unit, key, iv, plain, {cut, plain.size() - cut}), whole)
              << "mode " << mode << " unit " << unit << " op " << op << " cut " << cut;
        }
      }
    }
  }
}

TEST(DesStreamModes, CfbUnitOneOverThreeBytesRoundTrips) {
  std::mt19937 rng(3);
  const Key key = RandomKey(rng), iv = RandomKey(rng);
  const Bytes plain = Text("abc");
  DesJobContext enc = MakeJob(kDesEncipher, kDesCfb, 1, key, iv);
  Bytes data = plain;
  ASSERT_EQ(DESExec(data.data(), 3, &enc), kDesExecOk);
  EXPECT_EQ(data.size(), 3u);
  EXPECT_NE(data, plain);
  EXPECT_EQ(data, des_ref::Run(GCRY_CIPHER_MODE_CFB8, true, key, iv, plain));
  DesJobContext dec = MakeJob(kDesDecipher, kDesCfb, 1, key, iv);
  ASSERT_EQ(DESExec(data.data(), 3, &dec), kDesExecOk);
  EXPECT_EQ(data, plain);
}

TEST(DesStreamModes, NoKeystreamLeftBetweenUnits) {
  std::mt19937 rng(11);
  const Key key = RandomKey(rng), iv = RandomKey(rng);
  for (uint32_t mode : {kDesCfb, kDesOfb}) {
    DesJobContext job = MakeJob(kDesEncipher, mode, 4, key, iv);
    Bytes data = RandomBytes(rng, 6);
    ASSERT_EQ(DESExec(data.data(), 6, &job), kDesExecOk);  // half a unit pending
    EXPECT_EQ(job.library[16], 2);
    ASSERT_EQ(DESExec(data.data(), 2, &job), kDesExecOk);  // unit complete
    EXPECT_EQ(job.library[16], 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(job.library[i], 0) << i;
  }
}

// ---- ECB and CBC with a partial final block -----------------------------------------------------

TEST(DesBlockModes, PartialFinalBlockFollowsTheRuleAndRoundTrips) {
  std::mt19937 rng(1999);
  for (uint32_t mode : {kDesEcb, kDesCbc}) {
    for (size_t n = 0; n <= 40; ++n) {
      SCOPED_TRACE(std::string(mode == kDesEcb ? "ECB " : "CBC ") + std::to_string(n));
      const Key key = RandomKey(rng), iv = RandomKey(rng);
      const Bytes plain = RandomBytes(rng, n);
      const Bytes expect = des_ref::BlockMode(mode == kDesCbc, true, key, iv, plain);
      const std::vector<size_t> split = RandomSplit(n, rng, 8);
      const Bytes c = Exec(kDesEncipher, mode, 8, key, iv, plain, split);
      ASSERT_EQ(c.size(), n);
      ASSERT_EQ(c, expect);
      ASSERT_EQ(Exec(kDesDecipher, mode, 8, key, iv, c, RandomSplit(n, rng, 8)), plain);
    }
  }
}

TEST(DesBlockModes, NoDataAfterAPartialBlock) {
  std::mt19937 rng(13);
  const Key key = RandomKey(rng), iv = RandomKey(rng);
  for (uint32_t mode : {kDesEcb, kDesCbc}) {
    DesJobContext job = MakeJob(kDesEncipher, mode, 8, key, iv);
    Bytes data = RandomBytes(rng, 13);
    ASSERT_EQ(DESExec(data.data(), 13, &job), kDesExecOk);
    const DesJobContext before = job;
    Bytes more = RandomBytes(rng, 8);
    const Bytes more_before = more;
    EXPECT_EQ(DESExec(more.data(), 8, &job), kDesExecFinished);
    EXPECT_EQ(more, more_before);
    EXPECT_EQ(std::memcmp(&job, &before, sizeof job), 0);
    EXPECT_EQ(DESExec(more.data(), 0, &job), kDesExecOk);  // an empty call is harmless
  }
}

// ---- DESCbc ------------------------------------------------------------------------------------

DesKeyContext ExpandedKey(const Key& key) {
  DesKeyContext k;
  std::memset(&k, 0, sizeof k);
  k.count = 2;
  std::memcpy(k.key, key.data(), 8);
  DESEdk(&k);
  return k;
}

TEST(DesCbc, TwelveBytesRoundTrip) {
  const Key master = KeyFrom("3b3898371520f75e");
  DesKeyContext key = ExpandedKey(master);
  const uint8_t iv[8] = {'P', 'W', 'T', 'Q', 'N', 'V', 0, 0};
  const Bytes plain = Hex("000102030405060708090a0b");
  Bytes data = plain;
  DESCbc(data.data(), 12, &key, iv, 1);
  EXPECT_NE(data, plain);
  Key iv_key;
  std::memcpy(iv_key.data(), iv, 8);
  EXPECT_EQ(data, des_ref::BlockMode(true, true, master, iv_key, plain));
  DESCbc(data.data(), 12, &key, iv, 2);
  EXPECT_EQ(data, plain);
}

TEST(DesCbc, AnyLengthMatchesReferenceAndRoundTrips) {
  std::mt19937 rng(2002);
  for (size_t n = 0; n <= 72; ++n) {
    SCOPED_TRACE(n);
    const Key k = RandomKey(rng), iv = RandomKey(rng);
    DesKeyContext key = ExpandedKey(k);
    const Bytes plain = RandomBytes(rng, n);
    Bytes data = plain;
    DESCbc(data.data(), static_cast<uint32_t>(n), &key, iv.data(), 1);
    ASSERT_EQ(data, des_ref::BlockMode(true, true, k, iv, plain));
    // The same bytes as a one-call CBC job.
    ASSERT_EQ(data, ExecOnce(kDesEncipher, kDesCbc, 8, k, iv, plain));
    DESCbc(data.data(), static_cast<uint32_t>(n), &key, iv.data(), 2);
    ASSERT_EQ(data, plain);
  }
}

TEST(DesCbc, UnknownDirectionLeavesDataUntouched) {
  DesKeyContext key = ExpandedKey(kFipsKey);
  Bytes data = kFipsText;
  for (uint32_t direction : {0u, 3u, 4u}) {
    DESCbc(data.data(), static_cast<uint32_t>(data.size()), &key, kFipsIv.data(), direction);
    EXPECT_EQ(data, kFipsText);
  }
}

// ---- keyed hash --------------------------------------------------------------------------------

TEST(DesHash, IsCbcMacWithPaddingMethodTwo) {
  std::mt19937 rng(9797);
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 64u, 1000u, 65536u + 3u}) {
    SCOPED_TRACE(n);
    const Key key = RandomKey(rng), iv = RandomKey(rng);
    const Bytes data = RandomBytes(rng, n);
    EXPECT_EQ(HashOf(key, iv, data, {n}), des_ref::KeyedHash(key, iv, data));
  }
}

TEST(DesHash, OneCallEqualsTwoChunksSplitAtAMultipleOfEight) {
  std::mt19937 rng(4);
  const Key key = RandomKey(rng), iv = KeyFrom("4b4c424e56527a7a");  // "KLBNVRzz"
  const Bytes data = RandomBytes(rng, 100);
  const Bytes whole = HashOf(key, iv, data, {100});
  for (size_t cut = 0; cut <= 96; cut += 8) {
    EXPECT_EQ(HashOf(key, iv, data, {cut, 100 - cut}), whole) << cut;
  }
}

TEST(DesHash, AnySplitGivesTheSameValue) {
  std::mt19937 rng(5);
  for (int iter = 0; iter < 100; ++iter) {
    const Key key = RandomKey(rng), iv = RandomKey(rng);
    const size_t n = rng() % 300;
    const Bytes data = RandomBytes(rng, n);
    ASSERT_EQ(HashOf(key, iv, data, RandomSplit(n, rng, 1)), des_ref::KeyedHash(key, iv, data))
        << iter;
  }
}

TEST(DesHash, AfterEveryCallTheChainingValueIsThePrefixHash) {
  std::mt19937 rng(6);
  const Key key = RandomKey(rng), iv = RandomKey(rng);
  const Bytes data = RandomBytes(rng, 90);
  DesJobContext job = MakeJob(kDesHash, 0, 0, key, iv);
  Bytes copy = data;
  size_t at = 0;
  for (size_t n : {0u, 3u, 5u, 8u, 1u, 16u, 7u, 0u, 50u}) {
    ASSERT_EQ(DESExec(copy.data() + at, static_cast<uint32_t>(n), &job), kDesExecOk);
    at += n;
    const Bytes prefix(data.begin(), data.begin() + at);
    EXPECT_EQ(Bytes(job.chaining, job.chaining + 8), des_ref::KeyedHash(key, iv, prefix)) << at;
  }
  EXPECT_EQ(at, data.size());
}

TEST(DesHash, EmptyMessageHashesToZero) {
  const Key key = KeyFrom("0123456789abcdef"), iv = KeyFrom("4b4c424e56527a7a");
  DesJobContext job = MakeJob(kDesHash, 0, 0, key, iv);
  uint8_t unused = 0;
  ASSERT_EQ(DESExec(&unused, 0, &job), kDesExecOk);
  EXPECT_EQ(Bytes(job.chaining, job.chaining + 8), Bytes(8, 0));
  ASSERT_EQ(DESExec(nullptr, 0, &job), kDesExecOk);
  EXPECT_EQ(Bytes(job.chaining, job.chaining + 8), Bytes(8, 0));
}

// ---- contexts the library cannot use ------------------------------------------------------------

TEST(DesContext, UnusableContextsAreRefusedWithoutSideEffects) {
  const Key key = kFipsKey, iv = kFipsIv;
  struct Bad {
    const char* what;
    DesJobContext job;
  };
  std::vector<Bad> bad;
  auto add = [&](const char* what, uint32_t op, uint32_t mode, uint32_t unit) {
    bad.push_back({what, MakeJob(op, mode, unit, key, iv)});
  };
  add("operation 0", 0, kDesCbc, 8);
  add("operation 3", 3, kDesCbc, 8);
  add("mode 0 for a cipher", kDesEncipher, 0, 8);
  add("mode 5", kDesDecipher, 5, 8);
  add("CFB unit 0", kDesEncipher, kDesCfb, 0);
  add("OFB unit 9", kDesEncipher, kDesOfb, 9);
  add("ECB unit 4", kDesEncipher, kDesEcb, 4);
  add("CBC unit 0", kDesDecipher, kDesCbc, 0);
  add("hash with a mode", kDesHash, kDesCbc, 0);
  add("hash with a unit", kDesHash, 0, 8);
  bad.push_back({"size 199", MakeJob(kDesEncipher, kDesCbc, 8, key, iv)});
  bad.back().job.size = 199;
  bad.push_back({"size 0", MakeJob(kDesEncipher, kDesCbc, 8, key, iv)});
  bad.back().job.size = 0;
  bad.push_back({"unit position past the unit", MakeJob(kDesEncipher, kDesCfb, 3, key, iv)});
  bad.back().job.library[16] = 3;
  bad.push_back({"hash position past the block", MakeJob(kDesHash, 0, 0, key, iv)});
  bad.back().job.library[16] = 8;

  for (auto& b : bad) {
    SCOPED_TRACE(b.what);
    const DesJobContext before = b.job;
    Bytes data = kFipsText;
    EXPECT_NE(DESExec(data.data(), static_cast<uint32_t>(data.size()), &b.job), kDesExecOk);
    EXPECT_EQ(data, kFipsText);
    EXPECT_EQ(std::memcmp(&b.job, &before, sizeof before), 0);
  }
  DesJobContext good = MakeJob(kDesEncipher, kDesCbc, 8, key, iv);
  EXPECT_EQ(DESExec(nullptr, 8, &good), kDesExecBadContext);  // data promised, none given
  Bytes data = kFipsText;
  EXPECT_EQ(DESExec(data.data(), 8, nullptr), kDesExecBadContext);
}

// ---- the wipe
// --------------------------------------------------------------------------------------

TEST(DesWipe, SecureWipeClearsEveryByte) {
  uint8_t buffer[37];
  std::memset(buffer, 0xa5, sizeof buffer);
  nc::SecureWipe(buffer + 1, 35);
  EXPECT_EQ(buffer[0], 0xa5);
  for (size_t i = 1; i < 36; ++i) EXPECT_EQ(buffer[i], 0) << i;
  EXPECT_EQ(buffer[36], 0xa5);
  nc::SecureWipe(nullptr, 0);
}

}  // namespace
