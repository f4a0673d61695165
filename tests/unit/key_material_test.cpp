// Key material under the master key: the enciphered part of every kind
// against OpenSSL's DES-CBC with the kind's vector, round trips (also with
// partial final blocks), what the integrity value covers per kind, blocks
// shorter than their kind's coverage read only as far as their words go,
// and opening: unprotected files never ask for a master key, protected ones
// (silent mode, a Touch Memory device) open with the right device and are
// damaged (1392) with another one.
#include "protect/key_material.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "des_reference.h"
#include "frame/data_file.h"
#include "platform/last_error.h"
#include "protect/master_key.h"
#include "protect_test_support.h"
#include "zq/des.h"
#include "zq/wipe.h"

namespace nc::protect {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = KeyMaterialKind;

// A word block of exactly `count` words (AddressSanitizer sees a read past
// them), filled from `seed`.
class Block {
 public:
  Block(std::uint32_t count, std::uint32_t seed) : data_(count + 1 < 2 ? 2 : count + 1) {
    data_[0] = count;
    for (std::uint32_t i = 1; i <= count; ++i) {
      seed = seed * 1103515245u + 12345u;
      data_[i] = seed ^ (seed >> 13) ^ (i << 24);
    }
  }
  WordBlock* get() { return reinterpret_cast<WordBlock*>(data_.data()); }
  Bytes bytes() const {
    Bytes out(data_[0] * 4);
    if (!out.empty()) std::memcpy(out.data(), data_.data() + 1, out.size());
    return out;
  }
  void Flip(std::size_t byte) { reinterpret_cast<std::uint8_t*>(data_.data() + 1)[byte] ^= 0x40; }

 private:
  std::vector<std::uint32_t> data_;
};

DesKeyContext MasterKey(const char* key8) {
  DesKeyContext context{};
  context.count = 2;
  std::memcpy(context.key, key8, 8);
  DESEdk(&context);
  return context;
}

struct KindCase {
  const char* what;
  Kind kind;
  const char* iv;  // the kind's vector, zero-padded to 8 bytes
  std::uint16_t algorithm, keyKind;
  std::uint32_t firstCount, secondCount;  // secondCount: RSA only
};

const KindCase kKinds[] = {
    {"DES key", Kind::Des, "PWTQNV", frame::kAlgDes, frame::kKeySymmetric, 2, 0},
    {"GOST key", Kind::Gost, "HJKLRW", frame::kAlgGost, frame::kKeySymmetric, 8, 0},
    {"GOST signature secret key", Kind::GostSignSecret, "BVCXTE", frame::kAlgGost,
     frame::kKeySecretHalf, 8, 0},
    {"DH secret session key", Kind::DhSecret, "YQUOL", frame::kAlgDh, frame::kKeySecretHalf, 16, 0},
    {"RSA secret key", Kind::RsaSecret, "MXRQTB", frame::kAlgRsa, frame::kKeySecretHalf, 32, 32},
};

bool IsRsa(const KindCase& c) { return c.kind == Kind::RsaSecret; }

frame::DataFileHeader Header(const KindCase& c, std::uint32_t code) {
  frame::DataFileHeader header = frame::NewHeader(frame::kFileKey, c.algorithm, c.keyKind);
  header.protectionCode = code;
  header.tokenChallenge = 0xEFBEADDE;
  return header;
}

// ---- the enciphered part
// ---------------------------------------------------------------------------

#ifdef NCCORE_HAVE_OPENSSL
TEST(KeyMaterial, TheEncipheredPartIsOpenSslsDesCbcWithTheKindsVector) {
  DesKeyContext master = MasterKey("\x13\x57\x9b\xdf\x02\x46\x8a\xce");
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.what);
    Block first(c.firstCount, 1), second(c.secondCount, 2);
    const Bytes plainFirst = first.bytes(), plainSecond = second.bytes();
    frame::DataFileHeader header = Header(c, kFactorPassword);
    ProtectKeyMaterial(c.kind, header, master, first.get(), second.get());

    std::uint8_t iv[8] = {};
    std::memcpy(iv, c.iv, std::strlen(c.iv));
    const Bytes& enciphered = IsRsa(c) ? plainSecond : plainFirst;
    const Bytes expected = test::des_ref::OpenSslDes::Get().Run(
        test::des_ref::OpenSslDes::kCbc, true, reinterpret_cast<const std::uint8_t*>(master.key),
        iv, enciphered);
    EXPECT_EQ(IsRsa(c) ? second.bytes() : first.bytes(), expected);
    if (IsRsa(c)) {
      EXPECT_EQ(first.bytes(), plainFirst) << "the first number stays in the clear";
    }
  }
}
#endif

TEST(KeyMaterial, EveryKindRoundTripsAlsoWithAPartialFinalBlock) {
  DesKeyContext master = MasterKey("masterky");
  for (const KindCase& c : kKinds) {
    for (std::uint32_t extra : {0u, 1u}) {  // one word more: a half block at the end
      SCOPED_TRACE(testing::Message() << c.what << " +" << extra);
      const std::uint32_t firstCount = c.firstCount + (IsRsa(c) ? 0 : extra);
      Block first(firstCount, 3), second(c.secondCount + (IsRsa(c) ? extra : 0), 4);
      const Bytes plainFirst = first.bytes(), plainSecond = second.bytes();
      frame::DataFileHeader header = Header(c, kFactorPassword);
      ProtectKeyMaterial(c.kind, header, master, first.get(), second.get());
      EXPECT_EQ(header.integrityValue,
                KeyMaterialIntegrity(c.kind, Block(firstCount, 3).get(),
                                     Block(c.secondCount + (IsRsa(c) ? extra : 0), 4).get()));
      EXPECT_NE(IsRsa(c) ? second.bytes() : first.bytes(), IsRsa(c) ? plainSecond : plainFirst);
      if (IsRsa(c)) {
        EXPECT_EQ(first.bytes(), plainFirst);
      }

      CipherKeyMaterial(c.kind, master, first.get(), second.get(), kDesDecipher);
      EXPECT_EQ(first.bytes(), plainFirst);
      EXPECT_EQ(second.bytes(), plainSecond);
    }
  }
}

TEST(KeyMaterial, UnprotectedMaterialIsWrittenInTheClearWithItsIntegrityValue) {
  DesKeyContext unused{};
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.what);
    Block first(c.firstCount, 5), second(c.secondCount, 6);
    const Bytes plainFirst = first.bytes(), plainSecond = second.bytes();
    frame::DataFileHeader header = Header(c, 0);
    ProtectKeyMaterial(c.kind, header, unused, first.get(), second.get());
    EXPECT_EQ(first.bytes(), plainFirst);
    EXPECT_EQ(second.bytes(), plainSecond);
    EXPECT_EQ(header.integrityValue, KeyMaterialIntegrity(c.kind, first.get(), second.get()));
    EXPECT_NE(header.integrityValue, 0u);
  }
}

// ---- what the integrity value covers
// ----------------------------------------------------------------

struct CoverCase {
  const char* what;
  Kind kind;
  std::uint32_t firstCount, secondCount;
  bool inSecond;
  std::size_t byte;
  bool covered;
};

TEST(KeyMaterial, TheIntegrityValueCoversWhatItsKindSays) {
  const CoverCase cases[] = {
      {"DES: first key byte", Kind::Des, 2, 0, false, 0, true},
      {"DES: last key byte", Kind::Des, 2, 0, false, 7, true},
      {"GOST: byte 31", Kind::Gost, 8, 0, false, 31, true},
      {"GOST: bytes beyond 32 are not covered", Kind::Gost, 10, 0, false, 32, false},
      {"GOST: nor the last", Kind::Gost, 10, 0, false, 39, false},
      {"GOST signature: the last of 9 words", Kind::GostSignSecret, 9, 0, false, 35, true},
      {"DH: the last of 5 words", Kind::DhSecret, 5, 0, false, 19, true},
      {"RSA: first number, first byte", Kind::RsaSecret, 4, 6, false, 0, true},
      {"RSA: first number, last byte", Kind::RsaSecret, 4, 6, false, 15, true},
      {"RSA: second number, last byte", Kind::RsaSecret, 4, 6, true, 23, true},
  };
  for (const CoverCase& c : cases) {
    SCOPED_TRACE(c.what);
    Block first(c.firstCount, 7), second(c.secondCount, 8);
    const std::uint32_t before = KeyMaterialIntegrity(c.kind, first.get(), second.get());
    (c.inSecond ? second : first).Flip(c.byte);
    EXPECT_EQ(KeyMaterialIntegrity(c.kind, first.get(), second.get()) != before, c.covered);
  }
}

TEST(KeyMaterial, AnRsaKeysValueRunsOverBothNumbersInOrder) {
  Block first(4, 9), second(6, 10);
  Bytes both = first.bytes();
  const Bytes tail = second.bytes();
  both.insert(both.end(), tail.begin(), tail.end());
  std::uint32_t expected = 0;
  frame::UpdateIntegrityValue(&expected, both.data(), both.size());
  EXPECT_EQ(KeyMaterialIntegrity(Kind::RsaSecret, first.get(), second.get()), expected);
  // Swapped numbers give another value.
  EXPECT_NE(KeyMaterialIntegrity(Kind::RsaSecret, second.get(), first.get()), expected);
}

TEST(KeyMaterial, BlocksShorterThanTheirKindsCoverageAreReadOnlyAsFarAsTheirWords) {
  // Exactly sized blocks: AddressSanitizer reports any read past the words.
  struct Short {
    Kind kind;
    std::uint32_t count;
  };
  for (const Short& s : {Short{Kind::Des, 1}, Short{Kind::Des, 0}, Short{Kind::Gost, 3}}) {
    Block block(s.count, 11);
    const Bytes bytes = block.bytes();
    std::uint32_t expected = 0;
    frame::UpdateIntegrityValue(&expected, bytes.data(), bytes.size());
    EXPECT_EQ(KeyMaterialIntegrity(s.kind, block.get(), nullptr), expected);
    DesKeyContext master = MasterKey("masterky");
    CipherKeyMaterial(s.kind, master, block.get(), nullptr, kDesEncipher);
    CipherKeyMaterial(s.kind, master, block.get(), nullptr, kDesDecipher);
    EXPECT_EQ(block.bytes(), bytes);
  }
}

// ---- opening
// ------------------------------------------------------------------------------------------

class KeyMaterialOpen : public test::ProtectTest {};

TEST_F(KeyMaterialOpen, AnUnprotectedFileIsCheckedWithoutAskingForAMasterKey) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.what);
    DesKeyContext unused{};
    Block first(c.firstCount, 12), second(c.secondCount, 13);
    const Bytes plainFirst = first.bytes(), plainSecond = second.bytes();
    frame::DataFileHeader header = Header(c, 0);
    ProtectKeyMaterial(c.kind, header, unused, first.get(), second.get());

    platform::SetLastErrorCode(99);
    EXPECT_TRUE(OpenKeyMaterial(nullptr, header, false, c.kind, first.get(), second.get()));
    EXPECT_EQ(platform::GetLastErrorCode(), 0u);
    EXPECT_EQ(first.bytes(), plainFirst);
    EXPECT_EQ(second.bytes(), plainSecond);

    // A changed byte: damaged, and what was read is wiped.
    (IsRsa(c) ? second : first).Flip(1);
    EXPECT_FALSE(OpenKeyMaterial(nullptr, header, false, c.kind, first.get(), second.get()));
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileCorrupt);
    EXPECT_EQ(first.bytes(), Bytes(plainFirst.size(), 0));
  }
  EXPECT_EQ(tm_.switches().Calls("vtmd.open"), 0);
  EXPECT_TRUE(devices_.log.calls.empty());
}

TEST_F(KeyMaterialOpen, AProtectedFileOpensWithItsDeviceAndIsDamagedWithAnother) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.what);
    tm_.SetDevices({kTmDevice});
    frame::DataFileHeader header = Header(c, kFactorTouchMemory);
    std::uint8_t challenge[4];
    for (int i = 0; i < 4; ++i) {
      challenge[i] = static_cast<std::uint8_t>(header.tokenChallenge >> (8 * i));
    }
    DesKeyContext master{};
    ASSERT_TRUE(ObtainMasterKey(nullptr, kFactorTouchMemory, true, challenge, master))
        << platform::GetLastErrorCode();
    Block first(c.firstCount, 14), second(c.secondCount, 15);
    const Bytes plainFirst = first.bytes(), plainSecond = second.bytes();
    ProtectKeyMaterial(c.kind, header, master, first.get(), second.get());
    SecureWipe(&master, sizeof master);
    const Bytes sealedFirst = first.bytes(), sealedSecond = second.bytes();

    EXPECT_TRUE(OpenKeyMaterial(nullptr, header, true, c.kind, first.get(), second.get()));
    EXPECT_EQ(platform::GetLastErrorCode(), 0u);
    EXPECT_EQ(first.bytes(), plainFirst);
    EXPECT_EQ(second.bytes(), plainSecond);

    // Another device: a wrong master key, seen only as damage.
    Block otherFirst(c.firstCount, 14), otherSecond(c.secondCount, 15);
    if (!sealedFirst.empty()) {
      std::memcpy(otherFirst.get()->words, sealedFirst.data(), sealedFirst.size());
    }
    if (!sealedSecond.empty()) {
      std::memcpy(otherSecond.get()->words, sealedSecond.data(), sealedSecond.size());
    }
    tm_.SetDevices({kOtherTmDevice});
    EXPECT_FALSE(
        OpenKeyMaterial(nullptr, header, true, c.kind, otherFirst.get(), otherSecond.get()));
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileCorrupt);

    // No device at all: the factors were not obtained.
    tm_.SetDevices({});
    EXPECT_FALSE(
        OpenKeyMaterial(nullptr, header, true, c.kind, otherFirst.get(), otherSecond.get()));
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorLogonFailure);
  }
}

TEST_F(KeyMaterialOpen, AMasterKeyNotObtainedLeavesTheContextWiped) {
  // A password cannot be asked for in silent mode.
  const std::uint8_t challenge[4] = {1, 2, 3, 4};
  DesKeyContext master;
  std::memset(&master, 0xA5, sizeof master);
  EXPECT_FALSE(ObtainMasterKey(nullptr, kFactorPassword, true, challenge, master));
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorLogonFailure);
  const DesKeyContext zero{};
  EXPECT_EQ(std::memcmp(&master, &zero, sizeof master), 0);
}

}  // namespace
}  // namespace nc::protect
