#include "rsa/rsa_key_files.h"

#include "frame/data_file.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "protect/key_material.h"
#include "zq/wipe.h"

namespace nc::rsa {

namespace {

// The smallest modulus the block routines take: one input byte per block.
constexpr std::uint32_t kMinModulusBits = 17;

WordBlock* AsBlock(RSANumber& number) { return reinterpret_cast<WordBlock*>(&number); }

// The number's length in bits; leading zero words in the stored count are
// not counted.
std::uint32_t BitLength(const RSANumber& number) {
  for (std::uint32_t i = number.count; i > 0; --i) {
    std::uint32_t word = number.words[i - 1];
    if (word == 0) continue;
    std::uint32_t bits = 32 * (i - 1);
    for (; word != 0; word >>= 1) ++bits;
    return bits;
  }
  return 0;
}

// Both blocks of the open key file; the stored counts are checked against
// the room of 64 words before anything else reads them.
bool ReadNumbers(const char* path, std::uint16_t keyKind, RSANumber& n, RSANumber& exponent,
                 frame::DataFileHeader* header) {
  platform::ScopedFile file(
      frame::OpenDataFile(path, frame::kFileKey, frame::kAlgRsa, keyKind, 0, header));
  if (!file.valid()) return false;
  const bool ok = frame::ReadWordBlock(file.get(), AsBlock(n), sizeof n) &&
                  frame::ReadWordBlock(file.get(), AsBlock(exponent), sizeof exponent);
  const std::uint32_t error = platform::GetLastErrorCode();
  file.Close();
  platform::SetLastErrorCode(error);
  return ok;
}

}  // namespace

bool UsableRsaKey(const RSANumber& n, const RSANumber& exponent) {
  return BitLength(n) >= kMinModulusBits && (n.words[0] & 1) != 0 && BitLength(exponent) > 1;
}

bool ReadRsaKeyFile(platform::WindowHandle parent, const char* path, RsaKeyKind kind, bool quiet,
                    RSANumber& n, RSANumber& exponent) {
  const bool secret = kind == RsaKeyKind::Secret;
  frame::DataFileHeader header{};
  bool ok = ReadNumbers(path, secret ? frame::kKeySecretHalf : frame::kKeyPublicHalf, n, exponent,
                        &header);
  if (ok && secret) {
    ok = protect::OpenKeyMaterial(parent, header, quiet, protect::KeyMaterialKind::RsaSecret,
                                  AsBlock(n), AsBlock(exponent));
  } else if (ok) {
    // The same running value over both numbers, with nothing deciphered.
    if (protect::KeyMaterialIntegrity(protect::KeyMaterialKind::RsaSecret, AsBlock(n),
                                      AsBlock(exponent)) != header.integrityValue) {
      platform::SetLastErrorCode(platform::kErrorFileCorrupt);
      ok = false;
    }
  }
  // A key that passes its integrity check may still be one no processor can
  // use: too short a modulus, an even one, or an exponent that leaves every
  // block as it is (or makes it 0).
  if (ok && !UsableRsaKey(n, exponent)) {
    platform::SetLastErrorCode(platform::kErrorInvalidData);
    ok = false;
  }
  if (!ok) {
    const std::uint32_t error = platform::GetLastErrorCode();
    nc::SecureWipe(&n, sizeof n);
    nc::SecureWipe(&exponent, sizeof exponent);
    platform::SetLastErrorCode(error);
  }
  nc::SecureWipe(&header, sizeof header);
  return ok;
}

}  // namespace nc::rsa
