// Fuzz harness: data-file headers and word blocks. The input is written to a
// scratch file and opened with OpenDataFile under several expected kinds
// (fixed ones of real readers, and the kinds the input itself names so that
// deeper paths are reached); after a successful open, ReadWordBlock reads
// blocks of several capacities into buffers of exactly that size. Every
// outcome, last error and value read is checked against the container's
// rules restated from the bytes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "frame/data_file.h"
#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace {

using nc::platform::GetLastErrorCode;
using nc::platform::SetLastErrorCode;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;  // the last error before a call

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Expected {
  std::uint16_t fileKind, algorithm, keyKind, altKeyKind;
};

// The last error OpenDataFile must leave, or 0 when it must succeed.
std::uint32_t OpenOutcome(const std::uint8_t* data, std::size_t size, const Expected& e) {
  if (size < 48) return nc::platform::kErrorReadFault;
  std::uint16_t keyKind = Le16(data + 25);
  bool kindsOk = std::memcmp(data, "TAVOCRYPTDATAFILE", 17) == 0 && Le16(data + 19) == e.fileKind &&
                 Le16(data + 21) == e.algorithm &&
                 (keyKind == e.keyKind || (e.altKeyKind != 0 && keyKind == e.altKeyKind));
  if (!kindsOk) return nc::platform::kErrorInvalidData;
  if (data[18] != 3) return nc::platform::kErrorUnknownRevision;
  return 0;
}

void CheckHeaderCopy(const nc::frame::DataFileHeader& h, const std::uint8_t* data) {
  FUZZ_CHECK(std::memcmp(h.magic, data, 17) == 0);
  FUZZ_CHECK(h.formatVersion == Le16(data + 17));
  FUZZ_CHECK(h.fileKind == Le16(data + 19));
  FUZZ_CHECK(h.algorithm == Le16(data + 21));
  FUZZ_CHECK(h.mode == Le16(data + 23));
  FUZZ_CHECK(h.keyKind == Le16(data + 25));
  FUZZ_CHECK(h.unitSize == data[27]);
  FUZZ_CHECK(h.headerSize == Le32(data + 28));
  FUZZ_CHECK(h.dataLength == Le32(data + 32));
  FUZZ_CHECK(h.protectionCode == Le32(data + 36));
  FUZZ_CHECK(h.integrityValue == Le32(data + 40));
  FUZZ_CHECK(h.tokenChallenge == Le32(data + 44));
}

// Reads blocks after the header with capacities taken in turn from a list
// (DES key 12, a GOST table 1028, and others), each into a buffer of exactly
// its capacity, until a read fails as the rules say it must.
void CheckBlocks(nc::platform::FileHandle file, const std::uint8_t* data, std::size_t size) {
  static const std::size_t kCapacities[] = {12, 1028, 4, 68, 36, 260};
  std::size_t at = 48;
  for (std::size_t turn = 0;; ++turn) {
    std::size_t capacity = kCapacities[turn % (sizeof kCapacities / sizeof kCapacities[0])];
    std::unique_ptr<std::uint32_t[]> room(new std::uint32_t[capacity / 4]);
    auto* block = reinterpret_cast<WordBlock*>(room.get());
    SetLastErrorCode(kUntouched);
    bool ok = nc::frame::ReadWordBlock(file, block, capacity);
    if (size - at < 4) {
      FUZZ_CHECK(!ok && GetLastErrorCode() == nc::platform::kErrorReadFault);
      return;
    }
    std::uint64_t count = Le32(data + at);
    if (count * 4 + 4 > capacity) {
      FUZZ_CHECK(!ok && GetLastErrorCode() == nc::platform::kErrorInvalidUserBuffer);
      return;
    }
    if (size - at - 4 < count * 4) {
      FUZZ_CHECK(!ok && GetLastErrorCode() == nc::platform::kErrorReadFault);
      return;
    }
    FUZZ_CHECK(ok);
    FUZZ_CHECK(block->count == count);
    FUZZ_CHECK(std::memcmp(room.get() + 1, data + at + 4, count * 4) == 0);
    at += 4 + count * 4;
  }
}

void CheckOpen(const char* path, const std::uint8_t* data, std::size_t size, const Expected& e,
               bool readBlocks) {
  nc::frame::DataFileHeader header{};
  SetLastErrorCode(kUntouched);
  nc::platform::FileHandle file =
      nc::frame::OpenDataFile(path, e.fileKind, e.algorithm, e.keyKind, e.altKeyKind, &header);
  std::uint32_t want = OpenOutcome(data, size, e);
  if (want != 0) {
    FUZZ_CHECK(file == nc::platform::kInvalidFile);
    FUZZ_CHECK(GetLastErrorCode() == want);
    return;
  }
  FUZZ_CHECK(file != nc::platform::kInvalidFile);
  CheckHeaderCopy(header, data);
  if (readBlocks) CheckBlocks(file, data, size);
  nc::platform::CloseFile(file);

  // Without a header copy the outcome is the same.
  file = nc::frame::OpenDataFile(path, e.fileKind, e.algorithm, e.keyKind, e.altKeyKind, nullptr);
  FUZZ_CHECK(file != nc::platform::kInvalidFile);
  nc::platform::CloseFile(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile scratch("data-file");
  scratch.Write(data, size);

  // Readers of the library: DES key, GOST substitution block, GOST
  // ciphertext, an RSA key file with an alternative key kind.
  static const Expected kReaders[] = {{1, 2, 1, 0}, {1, 1, 5, 0}, {2, 1, 0, 0}, {1, 3, 2, 3}};
  for (const Expected& e : kReaders) CheckOpen(scratch.path(), data, size, e, false);
  if (size >= 27) {
    Expected own{Le16(data + 19), Le16(data + 21), Le16(data + 25), 0};
    CheckOpen(scratch.path(), data, size, own, true);
    Expected alternative{own.fileKind, own.algorithm, static_cast<std::uint16_t>(own.keyKind + 1),
                         own.keyKind};
    CheckOpen(scratch.path(), data, size, alternative, false);
  }

  // The header's 48 bytes decode and encode back unchanged.
  if (size >= 48) {
    std::uint8_t again[48];
    nc::frame::EncodeHeader(nc::frame::DecodeHeader(data), again);
    FUZZ_CHECK(std::memcmp(again, data, 48) == 0);
  }
  return 0;
}
