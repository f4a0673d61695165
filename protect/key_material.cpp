// Key material under the master key: what each kind enciphers and what its
// integrity value covers, the generation side and the opening side. Blocks
// are read only as far as their counts go (the precondition in the header).
#include "protect/key_material.h"

#include <cstddef>
#include <cstring>

#include "platform/last_error.h"
#include "protect/master_key.h"
#include "zq/des.h"
#include "zq/random.h"
#include "zq/wipe.h"

namespace nc::protect {
namespace {

constexpr std::uint8_t kIvDes[8] = {'P', 'W', 'T', 'Q', 'N', 'V', 0, 0};
constexpr std::uint8_t kIvGost[8] = {'H', 'J', 'K', 'L', 'R', 'W', 0, 0};
constexpr std::uint8_t kIvGostSign[8] = {'B', 'V', 'C', 'X', 'T', 'E', 0, 0};
constexpr std::uint8_t kIvDh[8] = {'Y', 'Q', 'U', 'O', 'L', 0, 0, 0};
constexpr std::uint8_t kIvRsa[8] = {'M', 'X', 'R', 'Q', 'T', 'B', 0, 0};

std::size_t WordBytes(const WordBlock* block) {
  return block != nullptr ? static_cast<std::size_t>(block->count) * 4 : 0;
}

// The first `limit` bytes of the block's words, or all of them when fewer.
void Cover(std::uint32_t* value, const WordBlock* block, std::size_t limit) {
  std::size_t size = WordBytes(block);
  if (size > limit) size = limit;
  if (size != 0) frame::UpdateIntegrityValue(value, block->words, size);
}

// The block a kind enciphers: the number, or an RSA key's second number.
WordBlock* EncipheredBlock(KeyMaterialKind kind, WordBlock* first, WordBlock* second) {
  return kind == KeyMaterialKind::RsaSecret ? second : first;
}

void WipeWords(WordBlock* block) {
  if (block != nullptr) SecureWipe(block->words, WordBytes(block));
}

}  // namespace

const std::uint8_t* KeyMaterialIv(KeyMaterialKind kind) {
  switch (kind) {
    case KeyMaterialKind::Des:
      return kIvDes;
    case KeyMaterialKind::Gost:
      return kIvGost;
    case KeyMaterialKind::GostSignSecret:
      return kIvGostSign;
    case KeyMaterialKind::DhSecret:
      return kIvDh;
    case KeyMaterialKind::RsaSecret:
      return kIvRsa;
  }
  return kIvDes;
}

std::uint32_t KeyMaterialIntegrity(KeyMaterialKind kind, const WordBlock* first,
                                   const WordBlock* second) {
  std::uint32_t value = 0;
  constexpr std::size_t kAll = static_cast<std::size_t>(-1);
  switch (kind) {
    case KeyMaterialKind::Des:
      Cover(&value, first, 8);  // the 8 key bytes
      break;
    case KeyMaterialKind::Gost:
      Cover(&value, first, 32);  // the 256-bit key
      break;
    case KeyMaterialKind::GostSignSecret:
    case KeyMaterialKind::DhSecret:
      Cover(&value, first, kAll);
      break;
    case KeyMaterialKind::RsaSecret:
      // One running value over both numbers.
      Cover(&value, first, kAll);
      Cover(&value, second, kAll);
      break;
  }
  return value;
}

void CipherKeyMaterial(KeyMaterialKind kind, DesKeyContext& masterKey, WordBlock* first,
                       WordBlock* second, std::uint32_t direction) {
  WordBlock* block = EncipheredBlock(kind, first, second);
  std::size_t size = WordBytes(block);
  if (size == 0) return;
  DESCbc(block->words, static_cast<std::uint32_t>(size), &masterKey, KeyMaterialIv(kind),
         direction);
}

bool ObtainMasterKey(platform::WindowHandle parent, std::uint32_t code, bool quiet,
                     const std::uint8_t challenge[4], DesKeyContext& masterKey) {
  SecureWipe(&masterKey, sizeof masterKey);
  MasterKeyBlock block;
  int obtained = AcquireMasterKey(parent, code, quiet ? 1 : 0, challenge, 4, &block);
  // The block is the context's first 12 bytes: count, then the key.
  masterKey.count = block.count;
  std::memcpy(masterKey.key, block.key, sizeof block.key);
  SecureWipe(&block, sizeof block);
  if (obtained == 0) {
    SecureWipe(&masterKey, sizeof masterKey);
    platform::SetLastErrorCode(platform::kErrorLogonFailure);
    return false;
  }
  DESEdk(&masterKey);
  return true;
}

bool ObtainMasterKeyFor(platform::WindowHandle parent, const frame::DataFileHeader& header,
                        bool quiet, DesKeyContext& masterKey) {
  const std::uint8_t challenge[4] = {
      static_cast<std::uint8_t>(header.tokenChallenge & 0xFF),
      static_cast<std::uint8_t>((header.tokenChallenge >> 8) & 0xFF),
      static_cast<std::uint8_t>((header.tokenChallenge >> 16) & 0xFF),
      static_cast<std::uint8_t>(header.tokenChallenge >> 24)};
  return ObtainMasterKey(parent, header.protectionCode, quiet, challenge, masterKey);
}

bool StartKeyMaterial(platform::WindowHandle parent, bool quiet, frame::DataFileHeader& header,
                      DesKeyContext& masterKey) {
  WordBlockOf<1> random{};
  random.count = 1;
  zq_rnd(random.get());
  header.tokenChallenge = random.words[0];
  SecureWipe(&random, sizeof random);
  return header.protectionCode == 0 || ObtainMasterKeyFor(parent, header, quiet, masterKey);
}

bool StartSecretHalf(platform::WindowHandle parent, bool quiet, std::uint16_t algorithm,
                     std::uint32_t protection, frame::DataFileHeader& header,
                     DesKeyContext& masterKey) {
  header = frame::NewHeader(frame::kFileKey, algorithm, frame::kKeySecretHalf);
  header.protectionCode = protection;
  return StartKeyMaterial(parent, quiet, header, masterKey);
}

void ProtectKeyMaterial(KeyMaterialKind kind, frame::DataFileHeader& header,
                        DesKeyContext& masterKey, WordBlock* first, WordBlock* second) {
  header.integrityValue = KeyMaterialIntegrity(kind, first, second);
  if (header.protectionCode != 0) CipherKeyMaterial(kind, masterKey, first, second, kDesEncipher);
}

bool OpenKeyMaterial(platform::WindowHandle parent, const frame::DataFileHeader& header, bool quiet,
                     KeyMaterialKind kind, WordBlock* first, WordBlock* second) {
  if (header.protectionCode != 0) {
    DesKeyContext masterKey;
    if (!ObtainMasterKeyFor(parent, header, quiet, masterKey)) {
      return false;  // wiped, last error 1326
    }
    CipherKeyMaterial(kind, masterKey, first, second, kDesDecipher);
    SecureWipe(&masterKey, sizeof masterKey);
  }
  // A wrong master key shows only here: the deciphered material does not
  // match the value of the plaintext. What was deciphered is no key then.
  if (KeyMaterialIntegrity(kind, first, second) != header.integrityValue) {
    WipeWords(first);
    WipeWords(second);
    platform::SetLastErrorCode(platform::kErrorFileCorrupt);
    return false;
  }
  platform::SetLastErrorCode(platform::kErrorSuccess);
  return true;
}

}  // namespace nc::protect
