// Master keys: the self-keyed DES-CBC of the factors against OpenSSL (and
// known answers made with the openssl command, so that they hold under
// Wine too), the password's contribution, factors combining by XOR in any
// order, and the token's dependence on the file's challenge.
#include "protect/master_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

#include "carriers/tessel.h"
#include "des_reference.h"
#include "hex_bytes.h"
#include "protect/factor_readers.h"
#include "protect_test_support.h"

namespace nc::protect {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Hex;
using test::Key8;
using test::KeyOf;

Key8 ToKey(const Bytes& bytes) {
  Key8 key{};
  std::memcpy(key.data(), bytes.data(), 8);
  return key;
}

Key8 PasswordKey(const char* password, const std::uint8_t* challenge = nullptr) {
  auto state = test::NewAuthState(kFactorPassword, challenge, challenge != nullptr ? 4 : 0);
  AddPasswordFactor(*state, password);
  EXPECT_EQ(state->obtained.load(), kFactorPassword);
  EXPECT_EQ(state->key.count, 2u);
  return KeyOf(*state);
}

// ---- known answers (openssl enc -des-cbc -nopad -iv 4b4c424e56527a7a) -----------------

TEST(SelfKeyedDesCbc, IsDesCbcUnderTheBuffersOwnFirstEightBytes) {
  Bytes password(32, 0);
  std::memcpy(password.data(), "correct horse battery staple", 28);
  SelfKeyedDesCbc(password.data(), 32);
  EXPECT_EQ(password, Hex("3662351ac9e93301 47fa17e6e131d460 6e6687eb841265ec bb27c5b54fbdd22c"));

  Bytes rom = Hex("021cb801000000a2");
  SelfKeyedDesCbc(rom.data(), 8);
  EXPECT_EQ(rom, Hex("8b3ce3741a792f80"));
}

TEST(AddPasswordFactor, FoldsTheFirst32EncipheredBytes) {
  // The XOR of the four blocks above.
  EXPECT_EQ(PasswordKey("correct horse battery staple"), ToKey(Hex("a4d960a2e37750a1")));
}

TEST(FoldContribution, XorsByteIIntoKeyByteIMod8) {
  MasterKeyBlock key;
  key.key[0] = 0xF0;
  const Bytes contribution = Hex("0102030405060708 1010101010101010 ff");
  FoldContribution(key, contribution.data(), static_cast<std::uint32_t>(contribution.size()));
  EXPECT_EQ(Bytes(key.key, key.key + 8), Hex("1e12131415161718"));
  EXPECT_EQ(key.count, 2u);
}

// ---- against OpenSSL --------------------------------------------------------------------

#ifdef NCCORE_HAVE_OPENSSL
const std::uint8_t kFactorIvBytes[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};

Bytes OpenSslSelfKeyed(const Bytes& data) {
  return test::des_ref::OpenSslDes::Get().Run(test::des_ref::OpenSslDes::kCbc, true, data.data(),
                                              kFactorIvBytes, data);
}

Key8 Fold(const Bytes& contribution) {
  Key8 key{};
  for (std::size_t i = 0; i < contribution.size(); ++i) key[i % 8] ^= contribution[i];
  return key;
}

TEST(SelfKeyedDesCbc, AgreesWithOpenSslOnWholeBlocks) {
  std::uint32_t seed = 777;
  for (std::size_t length : {8u, 16u, 32u, 40u, 64u}) {
    for (int round = 0; round < 8; ++round) {
      Bytes data(length);
      for (auto& b : data)
        b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
      Bytes ours = data;
      SelfKeyedDesCbc(ours.data(), static_cast<std::uint32_t>(ours.size()));
      EXPECT_EQ(ours, OpenSslSelfKeyed(data)) << length;
    }
  }
}

TEST(AddPasswordFactor, IsTheFoldOfOpenSslsCbcOverThePaddedPassword) {
  // The 33rd byte (the terminator) is enciphered too but never folded, so
  // CBC over the first 32 bytes is the whole of the key.
  const std::string long40 = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  const std::string cases[] = {
      "x",
      "password",
      "\xCF\xE0\xF0\xEE\xEB\xFC",  // "Пароль" in code page 1251
      "\xFF\xFE\x01 mixed bytes",
      long40.substr(0, 32),
      long40,
  };
  for (const std::string& password : cases) {
    SCOPED_TRACE(password);
    Bytes padded(32, 0);
    std::memcpy(padded.data(), password.data(), std::min<std::size_t>(password.size(), 32));
    EXPECT_EQ(PasswordKey(password.c_str()), Fold(OpenSslSelfKeyed(padded)));
  }
}
#endif

// ---- passwords --------------------------------------------------------------------------

struct PasswordPair {
  const char* what;
  std::string a, b;
  bool same;
};

TEST(AddPasswordFactor, OnlyTheFirst32BytesCountAndEveryOneOfThem) {
  const std::string long40 = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  const PasswordPair pairs[] = {
      {"40 characters and their first 32", long40, long40.substr(0, 32), true},
      {"33 and 34 characters alike in their first 32", long40.substr(0, 33), long40.substr(0, 34),
       true},
      {"differ in the 9th byte", "abcdefgh1", "abcdefgh2", false},
      {"differ in the 32nd byte", long40.substr(0, 31) + "x", long40.substr(0, 31) + "y", false},
      {"one is the other and a character more", "abcdefghij", "abcdefghijk", false},
      {"case", "Secret", "secret", false},
  };
  for (const PasswordPair& p : pairs) {
    SCOPED_TRACE(p.what);
    EXPECT_EQ(PasswordKey(p.a.c_str()) == PasswordKey(p.b.c_str()), p.same);
  }
}

// ---- factors together ---------------------------------------------------------------------

class MasterKeyTest : public test::ProtectTest {};

TEST_F(MasterKeyTest, PasswordAndTouchMemoryXorInWhateverOrderTheyCome) {
  const char* password = "correct horse battery staple";
  auto tmFirst = test::NewAuthState(kFactorPassword | kFactorTouchMemory);
  PollTouchMemory(*tmFirst);
  AddPasswordFactor(*tmFirst, password);
  auto passwordFirst = test::NewAuthState(kFactorPassword | kFactorTouchMemory);
  AddPasswordFactor(*passwordFirst, password);
  PollTouchMemory(*passwordFirst);
  auto tmOnly = test::NewAuthState(kFactorTouchMemory);
  PollTouchMemory(*tmOnly);

  EXPECT_EQ(tmFirst->obtained.load() & 0xFFFF, 0x03u);
  EXPECT_EQ(passwordFirst->obtained.load() & 0xFFFF, 0x03u);
  EXPECT_EQ(KeyOf(*tmFirst), KeyOf(*passwordFirst));
  EXPECT_EQ(KeyOf(*tmFirst), test::Xor(KeyOf(*tmOnly), PasswordKey(password)));
  // The device's contribution is the fold of its enciphered ROM code
  // (8b3ce3741a792f80 above), the password's a4d960a2e37750a1.
  EXPECT_EQ(KeyOf(*tmOnly), ToKey(Hex("8b3ce3741a792f80")));
  EXPECT_EQ(KeyOf(*tmFirst), ToKey(Hex("2fe583d6f90e7f21")));
}

TEST_F(MasterKeyTest, AnotherDeviceGivesAnotherKey) {
  auto first = test::NewAuthState(kFactorTouchMemory);
  PollTouchMemory(*first);
  tm_.SetDevices({kOtherTmDevice});
  auto second = test::NewAuthState(kFactorTouchMemory);
  PollTouchMemory(*second);
  ASSERT_EQ(second->obtained.load() & kFactorTouchMemory, kFactorTouchMemory);
  EXPECT_NE(KeyOf(*first), KeyOf(*second));
}

const std::array<std::uint8_t, 8> kSerial = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const char kHashKey[] = "Tessel key A";

std::array<std::uint8_t, 36> Body() {
  std::array<std::uint8_t, 36> body{};
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(0x30 + i);
  return body;
}

TEST_F(MasterKeyTest, ThePasswordIgnoresTheChallengeTheTokenDoesNot) {
  devices_.tessel = {
      carriers::MakeTesselToken(kSerial, Body(), Bytes(kHashKey, kHashKey + sizeof kHashKey - 1))};
  const std::uint8_t fileA[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  const std::uint8_t fileB[4] = {0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(PasswordKey("same password", fileA), PasswordKey("same password", fileB));

  Key8 keys[2];
  const std::uint8_t* challenges[2] = {fileA, fileB};
  for (int i = 0; i < 2; ++i) {
    auto state = test::NewAuthState(kFactorTessel, challenges[i], 4);
    PollTessel(*state);
    ASSERT_EQ(state->obtained.load() & kFactorTessel, kFactorTessel);
    keys[i] = KeyOf(*state);
#ifdef NCCORE_HAVE_OPENSSL
    // The response folded as it is: HMAC-MD5 over body[0..3], the
    // challenge and body[4..35].
    const auto body = Body();
    Bytes message(body.begin(), body.begin() + 4);
    message.insert(message.end(), challenges[i], challenges[i] + 4);
    message.insert(message.end(), body.begin() + 4, body.end());
    unsigned char response[16];
    unsigned int length = 0;
    HMAC(EVP_md5(), kHashKey, static_cast<int>(sizeof kHashKey - 1), message.data(), message.size(),
         response, &length);
    ASSERT_EQ(length, 16u);
    EXPECT_EQ(keys[i], Fold(Bytes(response, response + 16)));
#endif
  }
  EXPECT_NE(keys[0], keys[1]);
}

}  // namespace
}  // namespace nc::protect
