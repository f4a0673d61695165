// The data-file container: the 48-byte header every file of the library
// starts with, word blocks, and the integrity value of key material.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "zq/word_block.h"

namespace nc::frame {

inline constexpr char kDataFileMagic[17] = {'T', 'A', 'V', 'O', 'C', 'R', 'Y', 'P', 'T',
                                            'D', 'A', 'T', 'A', 'F', 'I', 'L', 'E'};
inline constexpr std::uint16_t kFormatVersion = 0x0300;  // major 3 in byte 18
inline constexpr std::uint8_t kFormatMajor = 3;
inline constexpr std::uint32_t kHeaderSize = 48;

enum FileKind : std::uint16_t {
  kFileKey = 1,
  kFileCiphertext = 2,
  kFileMac = 3,
  kFileHash = 4,
  kFileSignature = 5,
};
enum Algorithm : std::uint16_t { kAlgGost = 1, kAlgDes = 2, kAlgRsa = 3, kAlgDh = 4 };
enum KeyKind : std::uint16_t {
  kKeyNone = 0,
  kKeySymmetric = 1,
  kKeySecretHalf = 2,
  kKeyPublicHalf = 3,
  kKeyCommonNumbers = 4,
  kKeySubstitution = 5,
};

// The header as fields; it is read and written as 48 little-endian bytes
// with EncodeHeader/DecodeHeader, never through the struct's memory.
struct DataFileHeader {
  char magic[17];
  std::uint16_t formatVersion;
  std::uint16_t fileKind;
  std::uint16_t algorithm;
  std::uint16_t mode;
  std::uint16_t keyKind;
  std::uint8_t unitSize;
  std::uint32_t headerSize;
  std::uint32_t dataLength;
  std::uint32_t protectionCode;
  std::uint32_t integrityValue;
  std::uint32_t tokenChallenge;
};

// Byte offsets of the fields in the file.
inline constexpr std::size_t kOffsetFormatVersion = 17;
inline constexpr std::size_t kOffsetFileKind = 19;
inline constexpr std::size_t kOffsetAlgorithm = 21;
inline constexpr std::size_t kOffsetMode = 23;
inline constexpr std::size_t kOffsetKeyKind = 25;
inline constexpr std::size_t kOffsetUnitSize = 27;
inline constexpr std::size_t kOffsetHeaderSize = 28;
inline constexpr std::size_t kOffsetDataLength = 32;
inline constexpr std::size_t kOffsetProtectionCode = 36;
inline constexpr std::size_t kOffsetIntegrityValue = 40;
inline constexpr std::size_t kOffsetTokenChallenge = 44;
static_assert(kOffsetTokenChallenge + 4 == kHeaderSize);

// A zeroed header with magic, version and header size filled in.
DataFileHeader NewHeader(std::uint16_t fileKind, std::uint16_t algorithm, std::uint16_t keyKind);
void EncodeHeader(const DataFileHeader& header, std::uint8_t bytes[kHeaderSize]);
DataFileHeader DecodeHeader(const std::uint8_t bytes[kHeaderSize]);

// Opens a data file and checks its header: magic, kind, algorithm and key
// kind (or `altKeyKind` when not 0) first, then the major version. Returns
// the handle positioned after the header, or kInvalidFile with the last
// error 30 (cannot open or short header), 13 (wrong kind) or 1305
// (version); the failing handle is closed with the last error kept.
platform::FileHandle OpenDataFile(const char* path, std::uint16_t fileKind, std::uint16_t algorithm,
                                  std::uint16_t keyKind, std::uint16_t altKeyKind,
                                  DataFileHeader* header);

// Writes the header's 48 bytes; false with last error 29 on a failed or
// short write.
// Sources are read as a snapshot or not at all: true when the source
// `file`, which held `size` bytes when it was opened, gave exactly `read`
// bytes up to its end and still holds `size` bytes, so nothing was added or
// cut off while it was read. False with the last error 30 otherwise (the
// job reports 02 with the source's name and writes no output).
[[nodiscard]] bool SourceUnchanged(platform::FileHandle file, std::uint64_t size,
                                   std::uint64_t read);

[[nodiscard]] bool WriteDataFileHeader(platform::FileHandle file, const DataFileHeader& header);

// Reads a word block into `block`, whose room is `capacity` bytes counting
// the count word. Fails with 30 on a short read, 1784 when the stored count
// does not fit.
[[nodiscard]] bool ReadWordBlock(platform::FileHandle file, WordBlock* block, std::size_t capacity);
// Writes the count and the words in one call; 29 on failure.
[[nodiscard]] bool WriteWordBlock(platform::FileHandle file, const WordBlock* block);

// Folds `bytes` into the integrity register `value`. The register starts at
// 0 and is not inverted at the end; data bits enter at the top, so this is
// not the common table-driven CRC-32 (stored files depend on this form).
void UpdateIntegrityValue(std::uint32_t* value, const void* bytes, std::size_t size);

}  // namespace nc::frame
