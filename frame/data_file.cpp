// The data-file header and word blocks.
#include "frame/data_file.h"

#include <cstring>
#include <limits>

#include "platform/last_error.h"

namespace nc::frame {

namespace {

using platform::SetLastErrorCode;

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

DataFileHeader NewHeader(std::uint16_t fileKind, std::uint16_t algorithm, std::uint16_t keyKind) {
  DataFileHeader header{};
  std::memcpy(header.magic, kDataFileMagic, sizeof header.magic);
  header.formatVersion = kFormatVersion;
  header.fileKind = fileKind;
  header.algorithm = algorithm;
  header.keyKind = keyKind;
  header.headerSize = kHeaderSize;
  return header;
}

void EncodeHeader(const DataFileHeader& h, std::uint8_t bytes[kHeaderSize]) {
  std::memset(bytes, 0, kHeaderSize);
  std::memcpy(bytes, h.magic, sizeof h.magic);
  Put16(bytes + kOffsetFormatVersion, h.formatVersion);
  Put16(bytes + kOffsetFileKind, h.fileKind);
  Put16(bytes + kOffsetAlgorithm, h.algorithm);
  Put16(bytes + kOffsetMode, h.mode);
  Put16(bytes + kOffsetKeyKind, h.keyKind);
  bytes[kOffsetUnitSize] = h.unitSize;
  Put32(bytes + kOffsetHeaderSize, h.headerSize);
  Put32(bytes + kOffsetDataLength, h.dataLength);
  Put32(bytes + kOffsetProtectionCode, h.protectionCode);
  Put32(bytes + kOffsetIntegrityValue, h.integrityValue);
  Put32(bytes + kOffsetTokenChallenge, h.tokenChallenge);
}

DataFileHeader DecodeHeader(const std::uint8_t bytes[kHeaderSize]) {
  DataFileHeader h{};
  std::memcpy(h.magic, bytes, sizeof h.magic);
  h.formatVersion = Get16(bytes + kOffsetFormatVersion);
  h.fileKind = Get16(bytes + kOffsetFileKind);
  h.algorithm = Get16(bytes + kOffsetAlgorithm);
  h.mode = Get16(bytes + kOffsetMode);
  h.keyKind = Get16(bytes + kOffsetKeyKind);
  h.unitSize = bytes[kOffsetUnitSize];
  h.headerSize = Get32(bytes + kOffsetHeaderSize);
  h.dataLength = Get32(bytes + kOffsetDataLength);
  h.protectionCode = Get32(bytes + kOffsetProtectionCode);
  h.integrityValue = Get32(bytes + kOffsetIntegrityValue);
  h.tokenChallenge = Get32(bytes + kOffsetTokenChallenge);
  return h;
}

platform::FileHandle OpenDataFile(const char* path, std::uint16_t fileKind, std::uint16_t algorithm,
                                  std::uint16_t keyKind, std::uint16_t altKeyKind,
                                  DataFileHeader* header) {
  platform::ScopedFile file(platform::OpenForRead(path));
  if (!file.valid()) {
    SetLastErrorCode(platform::kErrorReadFault);
    return platform::kInvalidFile;
  }
  std::uint8_t bytes[kHeaderSize];
  std::uint32_t got = 0;
  if (!platform::ReadFile(file.get(), bytes, kHeaderSize, &got) || got != kHeaderSize) {
    SetLastErrorCode(platform::kErrorReadFault);
    return platform::kInvalidFile;
  }
  DataFileHeader h = DecodeHeader(bytes);
  bool keyKindOk = h.keyKind == keyKind || (altKeyKind != 0 && h.keyKind == altKeyKind);
  if (std::memcmp(h.magic, kDataFileMagic, sizeof h.magic) != 0 || h.fileKind != fileKind ||
      h.algorithm != algorithm || !keyKindOk) {
    SetLastErrorCode(platform::kErrorInvalidData);
    return platform::kInvalidFile;
  }
  if (bytes[kOffsetFormatVersion + 1] != kFormatMajor) {
    SetLastErrorCode(platform::kErrorUnknownRevision);
    return platform::kInvalidFile;
  }
  if (header != nullptr) *header = h;
  return file.release();
}

bool SourceUnchanged(platform::FileHandle file, std::uint64_t size, std::uint64_t read) {
  std::uint64_t now = 0;
  if (read == size && platform::GetFileSize(file, &now) && now == size) return true;
  SetLastErrorCode(platform::kErrorReadFault);
  return false;
}

bool WriteDataFileHeader(platform::FileHandle file, const DataFileHeader& header) {
  std::uint8_t bytes[kHeaderSize];
  EncodeHeader(header, bytes);
  std::uint32_t put = 0;
  if (!platform::WriteFile(file, bytes, kHeaderSize, &put) || put != kHeaderSize) {
    SetLastErrorCode(platform::kErrorWriteFault);
    return false;
  }
  return true;
}

bool ReadWordBlock(platform::FileHandle file, WordBlock* block, std::size_t capacity) {
  std::uint8_t countBytes[4];
  std::uint32_t got = 0;
  if (!platform::ReadFile(file, countBytes, 4, &got) || got != 4) {
    SetLastErrorCode(platform::kErrorReadFault);
    return false;
  }
  std::uint64_t count = Get32(countBytes);
  if (count * 4 + 4 > capacity) {  // 64-bit: cannot overflow
    SetLastErrorCode(platform::kErrorInvalidUserBuffer);
    return false;
  }
  block->count = static_cast<std::uint32_t>(count);
  std::uint32_t bytes = static_cast<std::uint32_t>(count * 4);
  if (!platform::ReadFile(file, block->words, bytes, &got) || got != bytes) {
    SetLastErrorCode(platform::kErrorReadFault);
    return false;
  }
  return true;
}

bool WriteWordBlock(platform::FileHandle file, const WordBlock* block) {
  std::uint64_t bytes = (static_cast<std::uint64_t>(block->count) + 1) * 4;
  std::uint32_t put = 0;
  if (bytes > std::numeric_limits<std::uint32_t>::max() ||
      !platform::WriteFile(file, block, static_cast<std::uint32_t>(bytes), &put) || put != bytes) {
    SetLastErrorCode(platform::kErrorWriteFault);
    return false;
  }
  return true;
}

}  // namespace nc::frame
