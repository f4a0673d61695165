#include "dh/session_numbers.h"

#include <cstring>
#include <initializer_list>

#include "frame/data_file.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "protect/key_material.h"
#include "zq/rsa_modexp.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::dh {

namespace {

bool Refuse() {
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return false;
}

// Opens `path` as a Diffie-Hellman key file of `keyKind` and reads the
// numbers in order. Any failed read, a number too long for its room
// included, is a read failure.
bool ReadNumbers(const char* path, std::uint16_t keyKind, frame::DataFileHeader* header,
                 std::initializer_list<Number*> numbers) {
  platform::ScopedFile file(
      frame::OpenDataFile(path, frame::kFileKey, frame::kAlgDh, keyKind, 0, header));
  if (!file.valid()) return false;
  bool ok = true;
  for (Number* n : numbers) ok = ok && frame::ReadWordBlock(file.get(), n->get(), sizeof *n);
  file.Close();
  platform::SetLastErrorCode(ok ? platform::kErrorSuccess : platform::kErrorReadFault);
  return ok;
}

std::uint32_t Integrity(std::initializer_list<const Number*> numbers) {
  std::uint32_t value = 0;
  for (const Number* n : numbers) frame::UpdateIntegrityValue(&value, n->words, 4u * n->count);
  return value;
}

bool Corrupt() {
  platform::SetLastErrorCode(platform::kErrorFileCorrupt);
  return false;
}

// Whether n mod p is 0 or 1.
bool ResidueIsZeroOrOne(const Number& n, const Number& p) {
  Number rest{};
  zq_mod(rest.get(), n.get(), p.get());
  const bool degenerate = IsZeroOrOne(rest);
  nc::SecureWipe(&rest, sizeof rest);
  return degenerate;
}

bool AtMostTwo(const Number& n) {
  for (std::uint32_t i = 1; i < n.count; ++i)
    if (n.words[i] != 0) return false;
  return n.count == 0 || n.words[0] <= 2;
}

}  // namespace

bool IsZeroOrOne(const Number& n) {
  for (std::uint32_t i = 1; i < n.count; ++i)
    if (n.words[i] != 0) return false;
  return n.count == 0 || n.words[0] <= 1;
}

bool ReadCommonNumbers(const char* path, Number& a, Number& p) {
  frame::DataFileHeader header{};
  bool ok = ReadNumbers(path, frame::kKeyCommonNumbers, &header, {&a, &p}) &&
            (Integrity({&a, &p}) == header.integrityValue || Corrupt()) &&
            // Such numbers give every party the same public key, 0 or 1.
            ((!AtMostTwo(p) && a.count != 0 && !ResidueIsZeroOrOne(a, p)) || Refuse());
  if (!ok) {
    const std::uint32_t error = platform::GetLastErrorCode();
    nc::SecureWipe(&a, sizeof a);
    nc::SecureWipe(&p, sizeof p);
    platform::SetLastErrorCode(error);
  }
  return ok;
}

bool ReadSecretSessionKey(platform::WindowHandle parent, const char* path, bool quiet, Number& x) {
  frame::DataFileHeader header{};
  // X of 0 or 1 makes the shared key 1 or the other party's public key.
  bool ok = ReadNumbers(path, frame::kKeySecretHalf, &header, {&x}) &&
            protect::OpenKeyMaterial(parent, header, quiet, protect::KeyMaterialKind::DhSecret,
                                     x.get(), nullptr) &&
            (!IsZeroOrOne(x) || Refuse());
  if (!ok) {
    const std::uint32_t error = platform::GetLastErrorCode();
    nc::SecureWipe(&x, sizeof x);
    platform::SetLastErrorCode(error);
  }
  nc::SecureWipe(&header, sizeof header);
  return ok;
}

bool ReadPublicSessionKey(const char* path, const Number& p, Number& y) {
  frame::DataFileHeader header{};
  // Y of 0 or 1 makes the shared key 0 or 1 whatever the secret.
  return ReadNumbers(path, frame::kKeyPublicHalf, &header, {&y}) &&
         (Integrity({&y}) == header.integrityValue || Corrupt()) &&
         (!ResidueIsZeroOrOne(y, p) || Refuse());
}

void SecretPower(Number& r, const Number& b, const Number& x, std::uint32_t xWords,
                 const Number& p) {
  Number base{};  // b mod p, zero above its count
  zq_mod(base.get(), b.get(), p.get());
  if (p.count != 0 && (p.words[0] & 1) != 0) {
    std::uint32_t exponent[kNumberWords] = {};
    std::memcpy(exponent, x.words, 4u * x.count);
    if (xWords < x.count) xWords = x.count;
    const bool done = zq::ModExpConstTime(r.words, base.words, exponent, xWords, p.words, p.count);
    r.count = done ? p.count : 0;
    nc::SecureWipe(exponent, sizeof exponent);
  } else {
    // An even modulus has no Montgomery form (common numbers made before P
    // was drawn as a prime can have one): libgcrypt's exponentiation, which
    // is not constant-time.
    zq_emd(r.get(), base.get(), x.get(), p.get());
  }
  nc::SecureWipe(&base, sizeof base);
}

}  // namespace nc::dh
