// ZqGOSK: the GOST key file it writes (84 bytes, eight key words) and its
// protection under a password, checked against libgcrypt's DES-CBC with
// the vector of GOST key files. What it shares with ZqDESK (questions,
// refused carriers, faults, outputs) is tested there.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "des_reference.h"
#include "des_test_support.h"
#include "frame/data_file.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/ui.h"
#include "protect/key_material.h"
#include "protect_test_support.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::test {
namespace {

using platform::ScriptedUi;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kGekSize = 84;

struct GostKeyFile {
  frame::DataFileHeader header;
  Bytes key;  // the 32 stored key bytes
};

GostKeyFile ExpectGostKeyFile(const Bytes& file, std::uint32_t protection) {
  GostKeyFile out{};
  EXPECT_EQ(file.size(), kGekSize);
  if (file.size() != kGekSize) return out;
  out.header = HeaderOf(file);
  ExpectDataFileHeader(out.header, 1, 1, 1);
  EXPECT_EQ(out.header.mode, 0);
  EXPECT_EQ(out.header.unitSize, 0);
  EXPECT_EQ(out.header.dataLength, 0u);
  EXPECT_EQ(out.header.protectionCode, protection);
  EXPECT_EQ(Le32(&file[48]), 8u);
  out.key.assign(file.begin() + 52, file.end());
  return out;
}

std::uint32_t IntegrityOf(const Bytes& bytes) {
  std::uint32_t value = 0;
  frame::UpdateIntegrityValue(&value, bytes.data(), bytes.size());
  return value;
}

class GoskTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override { platform::SetUi(nullptr); }
  void AnswerPassword(const char* password) {
    ui_.carrierScript = [password](const ScriptedUi::CarrierEvent& e) {
      if (e.kind != ScriptedUi::CarrierEvent::Open) return ScriptedUi::CarrierAction{};
      return ScriptedUi::CarrierAction{true, password, platform::kCarrierOk};
    };
  }

  ScriptedUi ui_;
  TempFolder folder_;
};

TEST_F(GoskTest, NoOptionsWriteAnUnprotectedKeyUnderTheDefaultName) {
  int code = -1;
  EXPECT_EQ(CallOperationIn(folder_.path(), ZqGOSK, "", &code),
            Native("ZQGOSK00: Операция выполнена успешно"));
  EXPECT_EQ(code, 0);
  const std::string name = folder_.path().string() + "/" + Native("Ключ ГОСТ.GEK");
  GostKeyFile file = ExpectGostKeyFile(ReadLibraryFile(name), 0);
  EXPECT_EQ(file.header.integrityValue, IntegrityOf(file.key));
  EXPECT_EQ(folder_.Names().size(), 1u);
}

TEST_F(GoskTest, EveryKeyAndChallengeIsFresh) {
  int code = -1;
  const std::string a = folder_ / "a.gek", b = folder_ / "b.gek";
  CallOperation(ZqGOSK, Quoted(a), &code);
  CallOperation(ZqGOSK, Quoted(b), &code);
  GostKeyFile first = ExpectGostKeyFile(ReadFileBytes(a), 0);
  GostKeyFile second = ExpectGostKeyFile(ReadFileBytes(b), 0);
  EXPECT_NE(first.key, second.key);
  EXPECT_NE(first.header.tokenChallenge, second.header.tokenChallenge);
}

// The stored words are DES-CBC under the password's master key with the
// vector "HJKLRW"; the integrity value is the plaintext's; the library
// opens the key again with the same password.
TEST_F(GoskTest, AProtectedKeyIsEncipheredWithTheGostVector) {
  AnswerPassword("secret");
  int code = -1;
  const std::string name = folder_ / "k.gek";
  CallOperation(ZqGOSK, Quoted("PWD:" + name), &code);
  ASSERT_EQ(code, 0);
  const Bytes bytes = ReadFileBytes(name);
  GostKeyFile file = ExpectGostKeyFile(bytes, 1);
  const Key8 master = PasswordKeyOf("secret");
  const des_ref::Block iv = {'H', 'J', 'K', 'L', 'R', 'W', 0, 0};
  const Bytes plain = des_ref::Run(GCRY_CIPHER_MODE_CBC, false, master, iv, file.key);
  EXPECT_EQ(file.header.integrityValue, IntegrityOf(plain));
  EXPECT_NE(file.header.integrityValue, IntegrityOf(file.key));

  WordBlockOf<8> key{};
  key.count = 8;
  std::memcpy(key.words, file.key.data(), 32);
  EXPECT_TRUE(protect::OpenKeyMaterial(nullptr, file.header, false, protect::KeyMaterialKind::Gost,
                                       key.get(), nullptr));
  EXPECT_EQ(Bytes(reinterpret_cast<const std::uint8_t*>(key.words),
                  reinterpret_cast<const std::uint8_t*>(key.words) + 32),
            plain);
}

TEST_F(GoskTest, ARefusedMasterKeyKeepsTheOldKeyFile) {
  const std::string name = folder_ / "k.gek";
  WriteFileText(name, "old key");
  int code = -1;
  EXPECT_EQ(CallOperation(ZqGOSK, Quoted("PWD:" + name) + " /NOLOGO /Y", &code),
            Native("ZQGOSK25: Ошибка при чтении параметров аппаратуры"));
  EXPECT_EQ(ReadFileText(name), "old key");
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"k.gek"});
}

}  // namespace
}  // namespace nc::test
