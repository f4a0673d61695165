#include "gost/pqa_file.h"

#include "frame/data_file.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace nc::gost {

namespace {

// Blocks large enough for any result of the arithmetic below.
using Scratch = WordBlockOf<ZQ_MAX_WORDS>;

bool Equals(const WordBlock* n, std::uint32_t value) {
  if (n->count == 0) return value == 0;
  if (n->words[0] != value) return false;
  for (std::uint32_t i = 1; i < n->count; ++i)
    if (n->words[i] != 0) return false;
  return true;
}

// a < b, for blocks of any counts (leading zero words allowed).
bool Less(const WordBlock* a, const WordBlock* b) {
  const std::uint32_t n = a->count > b->count ? a->count : b->count;
  for (std::uint32_t i = n; i-- > 0;) {
    const std::uint32_t x = i < a->count ? a->words[i] : 0;
    const std::uint32_t y = i < b->count ? b->words[i] : 0;
    if (x != y) return x < y;
  }
  return false;
}

bool ReadValue(platform::FileHandle file, std::uint8_t (&bytes)[4]) {
  std::uint32_t got = 0;
  if (platform::ReadFile(file, bytes, 4, &got) && got == 4) return true;
  platform::SetLastErrorCode(platform::kErrorReadFault);
  return false;
}

}  // namespace

bool ReadGostBlock(platform::FileHandle file, WordBlock* block, std::size_t capacity,
                   OverCapacity over) {
  if (frame::ReadWordBlock(file, block, capacity)) return true;
  if (over == OverCapacity::ReadFault &&
      platform::GetLastErrorCode() == platform::kErrorInvalidUserBuffer)
    platform::SetLastErrorCode(platform::kErrorReadFault);
  return false;
}

bool UsableCommonNumbers(const WordBlock* p, const WordBlock* q, const WordBlock* a) {
  if (p->count == 0 || q->count == 0 || a->count == 0) return false;
  if (!Less(Scratch{1, {3}}.get(), p) || !Less(Scratch{1, {1}}.get(), q)) return false;
  if (!Less(Scratch{1, {1}}.get(), a) || !Less(a, p)) return false;
  Scratch rest{};
  zq_mod(rest.get(), p, q);  // q divides p - 1: p = 1 (mod q)
  if (!Equals(rest.get(), 1)) return false;
  zq_emd(rest.get(), a, q, p);  // a is of order q
  return Equals(rest.get(), 1);
}

bool IsKeyOfCommonNumbers(const WordBlock* y, const WordBlock* p, const WordBlock* q) {
  if (y->count == 0 || p->count == 0 || q->count == 0) return false;
  if (!Less(Scratch{1, {1}}.get(), y) || !Less(y, p)) return false;
  Scratch rest{};
  zq_emd(rest.get(), y, q, p);
  return Equals(rest.get(), 1);
}

bool ReadPqaFile(const char* path, OverCapacity over, const PqaNumbers& numbers) {
  frame::DataFileHeader header{};
  platform::ScopedFile file(frame::OpenDataFile(path, frame::kFileKey, frame::kAlgGost,
                                                frame::kKeyCommonNumbers, 0, &header));
  if (!file.valid()) return false;
  auto* p = reinterpret_cast<WordBlock*>(numbers.p);
  auto* q = reinterpret_cast<WordBlock*>(numbers.q);
  auto* a = reinterpret_cast<WordBlock*>(numbers.a);
  std::uint8_t first[4], second[4];
  bool ok = ReadGostBlock(file.get(), p, sizeof *numbers.p, over) &&
            ReadGostBlock(file.get(), q, sizeof *numbers.q, over) &&
            ReadGostBlock(file.get(), a, sizeof *numbers.a, over) && ReadValue(file.get(), first) &&
            ReadValue(file.get(), second);
  const std::uint32_t error = platform::GetLastErrorCode();
  file.Close();
  if (!ok) {
    platform::SetLastErrorCode(error);
    return false;
  }
  std::uint32_t integrity = 0;
  frame::UpdateIntegrityValue(&integrity, p->words, 4u * p->count);
  frame::UpdateIntegrityValue(&integrity, q->words, 4u * q->count);
  frame::UpdateIntegrityValue(&integrity, a->words, 4u * a->count);
  frame::UpdateIntegrityValue(&integrity, first, 4);
  frame::UpdateIntegrityValue(&integrity, second, 4);
  if (integrity != header.integrityValue) {
    platform::SetLastErrorCode(platform::kErrorFileCorrupt);
    return false;
  }
  if (!UsableCommonNumbers(p, q, a)) {
    platform::SetLastErrorCode(platform::kErrorInvalidData);
    return false;
  }
  return true;
}

}  // namespace nc::gost
