// GOST R 34.11-94 (GOSHash, GOSHashComplete): the examples of RFC 5831 and
// the values published for the test and CryptoPro parameter sets,
// differential tests against libgcrypt (GOSTR3411_94, GOSTR3411_CP) and
// `rhash --gost94` / `--gost94-cryptopro` on random data and chunkings, and
// the context contract (every split point, reuse after completion, refused
// contexts). The substitution blocks come from the sample files in
// res/gost through the library's own ZqGOSB import.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "frame_test_support.h"
#include "gost_test_support.h"
#include "hex_bytes.h"
#include "nccore21.h"
#include "zq/gcrypt_init.h"
#include "zq/zq.h"

namespace {

using nc::test::Hex;
using nc::test::gost::Box;
using nc::test::gost::Bytes;
using nc::test::gost::GcryHash;
using nc::test::gost::Sample;
using nc::test::gost::ToHex;
#ifndef _WIN32
using nc::test::gost::RhashOf;
#endif
using ParamSet = nc::test::gost::HashSet;
constexpr const ParamSet& kTest = nc::test::gost::kHashTest;
constexpr const ParamSet& kCryptoPro = nc::test::gost::kHashCryptoPro;

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---- driving the hash -----------------------------------------------------------------

GOSHashContext MakeContext(const Box& box) {
  GOSHashContext c;
  std::memset(&c, 0, sizeof c);
  c.size = sizeof c;
  c.substitution.count = 16;
  std::memcpy(c.substitution.words, box.data(), 64);
  return c;
}

// The hash of `data` passed in chunks of the given sizes (the last takes the
// rest).
Bytes Hash(const Box& box, const Bytes& data, const std::vector<size_t>& chunks = {}) {
  GOSHashContext c = MakeContext(box);
  size_t at = 0;
  for (size_t n : chunks) {
    n = std::min(n, data.size() - at);
    GOSHash(data.data() + at, static_cast<uint32_t>(n), &c);
    at += n;
  }
  GOSHash(data.data() + at, static_cast<uint32_t>(data.size() - at), &c);
  GOSHashComplete(&c);
  return Bytes(c.hash, c.hash + 32);
}

std::mt19937& Rng() {
  static std::mt19937 rng(0x341194);
  return rng;
}
Bytes RandomBytes(size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(Rng()());
  return b;
}
size_t Uniform(size_t lo, size_t hi) {
  return std::uniform_int_distribution<size_t>(lo, hi)(Rng());
}

std::vector<size_t> RandomChunks(size_t total) {
  std::vector<size_t> chunks;
  size_t left = total;
  while (left > 0 && chunks.size() < 16) {
    const size_t n = Uniform(0, std::min<size_t>(left, 100));
    chunks.push_back(n);
    left -= n;
  }
  return chunks;
}

// ---- known answers ------------------------------------------------------------------------

// RFC 5831, section 7.3: the two examples with the test parameter set. The
// RFC prints H as a number, most significant digit first; the result holds
// it least significant byte first.
TEST(GostHashKnownAnswer, Rfc5831Examples) {
  struct Case {
    const char* message;
    const char* number;
  } cases[] = {
      {"This is message, length=32 bytes",
       "FAFF37A6 15A81669 1CFF3EF8 B68CA247 E09525F3 9F811983 2EB81975 D366C4B1"},
      {"Suppose the original message has length = 50 bytes",
       "0852F562 3B89DD57 AEB4781F E54DF14E EAFBC135 0613763A 0D770AA6 57BA1A47"},
  };
  for (const Case& c : cases) {
    Bytes expected = Hex(c.number);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(ToHex(Hash(Sample(kTest.file), Text(c.message))), ToHex(expected)) << c.message;
  }
}

// Values published for GOST R 34.11-94 (as hash programs print them, in the
// result's byte order).
TEST(GostHashKnownAnswer, PublishedValues) {
  struct Case {
    const ParamSet* set;
    std::string message;
    const char* hash;
  } cases[] = {
      {&kTest, "", "ce85b99cc46752fffee35cab9a7b0278abb4c2d2055cff685af4912c49490f8d"},
      {&kTest, "a", "d42c539e367c66e9c88a801f6649349c21871b4344c6a573f849fdce62f314dd"},
      {&kTest, "abc", "f3134348c44fb1b2a277729e2285ebb5cb5e0f29c975bc753b70497c06a4d51d"},
      {&kTest, "message digest",
       "ad4434ecb18f2c99b60cbe59ec3d2469582b65273f48de72db2fde16a4889a4d"},
      {&kTest, "The quick brown fox jumps over the lazy dog",
       "77b7fa410c9ac58a25f49bca7d0468c9296529315eaca76bd1a10f376d1f4294"},
      {&kTest, std::string(128, 'U'),
       "53a3a3ed25180cef0c1d85a074273e551c25660a87062a52d926a9e8fe5733a4"},
      {&kTest, std::string(1000000, 'a'),
       "5c00ccc2734cdd3332d3d4749576e3c1a7dbaf0e7ea74e9fa602413c90a129fa"},
      {&kCryptoPro, "", "981e5f3ca30c841487830f84fb433e13ac1101569b9c13584ac483234cd656c0"},
      {&kCryptoPro, "abc", "b285056dbf18d7392d7677369524dd14747459ed8143997e163b2986f92fd42c"},
      {&kCryptoPro, "The quick brown fox jumps over the lazy dog",
       "9004294a361a508c586fe53d1f1b02746765e71b765472786e4770d565830a76"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToHex(Hash(Sample(c.set->file), Text(c.message))), c.hash)
        << c.set->file << " " << c.message.substr(0, 50);
  }
}

// ---- against libgcrypt and rhash -------------------------------------------------------------

TEST(GostHashVsLibgcrypt, RandomDataAndChunkings) {
  for (const ParamSet* set : {&kTest, &kCryptoPro}) {
    const Box& box = Sample(set->file);
    for (int trial = 0; trial < 40; ++trial) {
      const Bytes data = RandomBytes(trial < 8 ? static_cast<size_t>(trial) * 31 % 97
                                               : Uniform(0, trial < 30 ? 300 : 20000));
      EXPECT_EQ(ToHex(Hash(box, data, RandomChunks(data.size()))), ToHex(GcryHash(set->gcry, data)))
          << set->file << " " << data.size();
    }
  }
}

// The file processor's way: 64 KiB steps with a short last one.
TEST(GostHashVsLibgcrypt, FileProcessorSteps) {
  const Bytes data = RandomBytes(4 * 65536 + 4321);
  const std::vector<size_t> steps(4, 65536);
  EXPECT_EQ(ToHex(Hash(Sample(kTest.file), data, steps)), ToHex(GcryHash(kTest.gcry, data)));
}

#ifndef _WIN32
TEST(GostHashVsRhash, RandomFiles) {
  if (!nc::test::gost::HaveRhash()) {
    GTEST_SKIP() << "rhash is not installed (scripts/setup.sh installs it)";
  }
  nc::test::TempFolder folder;
  for (const ParamSet* set : {&kTest, &kCryptoPro}) {
    for (int trial = 0; trial < 6; ++trial) {
      const Bytes data = RandomBytes(trial == 0 ? 0 : Uniform(1, 100000));
      const std::string path = folder / ("data" + std::to_string(trial));
      nc::test::WriteFileBytes(path, data);
      EXPECT_EQ(ToHex(Hash(Sample(set->file), data, RandomChunks(data.size()))),
                RhashOf(set->rhash, path))
          << set->rhash << " " << data.size();
    }
  }
}
#endif

// ---- the context contract ---------------------------------------------------------------------

TEST(GostHashContract, EverySplitPoint) {
  const Box& box = Sample(kTest.file);
  const Bytes data = RandomBytes(100);
  const Bytes once = Hash(box, data);
  for (size_t split = 0; split <= data.size(); ++split) {
    EXPECT_EQ(Hash(box, data, {split}), once) << split;
  }
  EXPECT_EQ(Hash(box, data, std::vector<size_t>(data.size(), 1)), once);
  EXPECT_EQ(Hash(box, data, {0, 0, 31, 0, 1, 32, 33}), once);
}

TEST(GostHashContract, ContextServesTheNextMessageAfterCompletion) {
  const Box& box = Sample(kCryptoPro.file);
  const Bytes first = RandomBytes(77), second = RandomBytes(45);
  GOSHashContext c = MakeContext(box);
  GOSHash(first.data(), static_cast<uint32_t>(first.size()), &c);
  GOSHashComplete(&c);
  const Bytes h1(c.hash, c.hash + 32);
  EXPECT_EQ(h1, GcryHash(kCryptoPro.gcry, first));
  GOSHashComplete(&c);  // a second completion keeps the result
  EXPECT_EQ(Bytes(c.hash, c.hash + 32), h1);
  GOSHash(second.data(), static_cast<uint32_t>(second.size()), &c);
  GOSHashComplete(&c);
  EXPECT_EQ(Bytes(c.hash, c.hash + 32), GcryHash(kCryptoPro.gcry, second));
  // Completion with no data at all: the empty message.
  GOSHashContext empty = MakeContext(box);
  GOSHashComplete(&empty);
  EXPECT_EQ(Bytes(empty.hash, empty.hash + 32), GcryHash(kCryptoPro.gcry, {}));
}

TEST(GostHashContract, RefusedContextsTouchNothing) {
  const GOSHashContext good = MakeContext(Sample(kTest.file));
  const Bytes data = RandomBytes(40);
  auto expect_refused = [&data](GOSHashContext c, const char* what) {
    const GOSHashContext saved = c;
    GOSHash(data.data(), static_cast<uint32_t>(data.size()), &c);
    GOSHashComplete(&c);
    EXPECT_EQ(std::memcmp(&c, &saved, sizeof c), 0) << what;
  };
  GOSHashContext c = good;
  c.size = 1124;
  expect_refused(c, "size");
  c = good;
  c.substitution.count = 15;
  expect_refused(c, "substitution count");
  c = good;
  c.library[72] = 32;
  expect_refused(c, "unfinished block too long");
  c = good;
  c.library[73] = 2;
  expect_refused(c, "unknown flag");
  c = good;
  c.library[87] = 1;
  expect_refused(c, "library tail");
  c = good;
  const GOSHashContext saved = c;
  GOSHash(nullptr, 5, &c);
  EXPECT_EQ(std::memcmp(&c, &saved, sizeof c), 0);
  GOSHash(nullptr, 0, nullptr);
  GOSHashComplete(nullptr);
}

}  // namespace
