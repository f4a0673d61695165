#include "gost/key_files.h"

#include "frame/data_file.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "protect/key_material.h"
#include "zq/wipe.h"

namespace nc::gost {

namespace {

constexpr std::uint32_t kAnyCount = 0xFFFFFFFFu;

// Opens `path` as a GOST file of `keyKind` and reads its one block, of
// exactly `words` words unless that is kAnyCount; the header goes to
// `header`.
bool ReadOneBlock(const char* path, std::uint16_t keyKind, OverCapacity over, WordBlock* block,
                  std::size_t capacity, std::uint32_t words, frame::DataFileHeader* header) {
  platform::ScopedFile file(
      frame::OpenDataFile(path, frame::kFileKey, frame::kAlgGost, keyKind, 0, header));
  if (!file.valid()) return false;
  bool ok = ReadGostBlock(file.get(), block, capacity, over);
  std::uint32_t error = platform::GetLastErrorCode();
  if (ok && words != kAnyCount && block->count != words) {
    ok = false;
    error = platform::kErrorInvalidData;
  }
  file.Close();
  if (!ok) platform::SetLastErrorCode(error);
  return ok;
}

bool IsZero(const WordBlock* n) {
  for (std::uint32_t i = 0; i < n->count; ++i)
    if (n->words[i] != 0) return false;
  return true;
}

bool Refuse() {
  platform::SetLastErrorCode(platform::kErrorInvalidData);
  return false;
}

}  // namespace

bool ReadSubstitutionFile(const char* path, OverCapacity over, WordBlock* block,
                          std::size_t capacity) {
  frame::DataFileHeader header{};
  if (!ReadOneBlock(path, frame::kKeySubstitution, over, block, capacity, kSubstitutionWords,
                    &header))
    return false;
  std::uint32_t integrity = 0;
  frame::UpdateIntegrityValue(&integrity, block->words, 4 * kSubstitutionWords);
  if (integrity != header.integrityValue) {
    platform::SetLastErrorCode(platform::kErrorFileCorrupt);
    return false;
  }
  return true;
}

bool ReadGostKeyFile(platform::WindowHandle parent, const char* path, bool quiet, OverCapacity over,
                     WordBlockOf<kGostKeyWords>& key) {
  frame::DataFileHeader header{};
  if (!ReadOneBlock(path, frame::kKeySymmetric, over, key.get(), sizeof key, kGostKeyWords,
                    &header)) {
    nc::SecureWipe(&key, sizeof key);
    return false;
  }
  return protect::OpenKeyMaterial(parent, header, quiet, protect::KeyMaterialKind::Gost, key.get(),
                                  nullptr);
}

bool ReadSignSecretFile(platform::WindowHandle parent, const char* path, bool quiet,
                        OverCapacity over, GOSNumber8& x) {
  auto* block = reinterpret_cast<WordBlock*>(&x);
  frame::DataFileHeader header{};
  bool ok = ReadOneBlock(path, frame::kKeySecretHalf, over, block, sizeof x, kAnyCount, &header) &&
            protect::OpenKeyMaterial(parent, header, quiet,
                                     protect::KeyMaterialKind::GostSignSecret, block, nullptr) &&
            (!IsZero(block) || Refuse());
  if (!ok) nc::SecureWipe(&x, sizeof x);
  return ok;
}

bool ReadSignPublicFile(const char* path, OverCapacity over, const GOSNumber32& p,
                        const GOSNumber8& q, GOSNumber32& y) {
  auto* block = reinterpret_cast<WordBlock*>(&y);
  frame::DataFileHeader header{};
  if (!ReadOneBlock(path, frame::kKeyPublicHalf, over, block, sizeof y, kAnyCount, &header))
    return false;
  // A public key is never enciphered, whatever its header says.
  std::uint32_t integrity = 0;
  frame::UpdateIntegrityValue(&integrity, block->words, 4 * std::size_t{block->count});
  if (integrity != header.integrityValue) {
    platform::SetLastErrorCode(platform::kErrorFileCorrupt);
    return false;
  }
  return IsKeyOfCommonNumbers(block, reinterpret_cast<const WordBlock*>(&p),
                              reinterpret_cast<const WordBlock*>(&q)) ||
         Refuse();
}

}  // namespace nc::gost
