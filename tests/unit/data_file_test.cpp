// The data-file container: header layout, the reader's checks, word blocks
// and the integrity value.
#include "frame/data_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace nc::frame {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadFileBytes;
using test::TempFolder;
using test::WriteFileBytes;

// A word block with room for N words.
template <unsigned N>
struct Room {
  std::uint32_t count;
  std::uint32_t words[N];
  WordBlock* get() { return reinterpret_cast<WordBlock*>(this); }
  const WordBlock* get() const { return reinterpret_cast<const WordBlock*>(this); }
  static constexpr std::size_t kCapacityBytes = 4 * (N + 1);
};

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Append32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A header as a writer of the format lays it out, byte by byte.
Bytes HeaderBytes(std::uint16_t fileKind, std::uint16_t algorithm, std::uint16_t keyKind) {
  Bytes b(48, 0);
  std::memcpy(b.data(), "TAVOCRYPTDATAFILE", 17);
  b[17] = 0x00;  // minor version
  b[18] = 0x03;  // major version
  Put16(b, 19, fileKind);
  Put16(b, 21, algorithm);
  Put16(b, 25, keyKind);
  b[28] = 48;  // header size
  return b;
}

// ---------------------------------------------------------------------------
// Header layout

TEST(DataFileHeader, EncodesEveryFieldAtItsOffsetLittleEndian) {
  DataFileHeader h{};
  std::memcpy(h.magic, "TAVOCRYPTDATAFILE", 17);
  h.formatVersion = 0x0302;
  h.fileKind = 0x1102;
  h.algorithm = 0x2203;
  h.mode = 0x3304;
  h.keyKind = 0x4405;
  h.unitSize = 0x55;
  h.headerSize = 0x66778899;
  h.dataLength = 0xAABBCCDD;
  h.protectionCode = 0x01020304;
  h.integrityValue = 0x0A0B0C0D;
  h.tokenChallenge = 0xF1F2F3F4;
  const Bytes expected = {
      'T',  'A',  'V',  'O',  'C',  'R',  'Y',  'P',  'T',  'D',  'A',  'T',
      'A',  'F',  'I',  'L',  'E',  0x02, 0x03, 0x02, 0x11, 0x03, 0x22, 0x04,
      0x33, 0x05, 0x44, 0x55, 0x99, 0x88, 0x77, 0x66, 0xDD, 0xCC, 0xBB, 0xAA,
      0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A, 0xF4, 0xF3, 0xF2, 0xF1,
  };
  std::uint8_t bytes[kHeaderSize];
  std::memset(bytes, 0xEE, sizeof bytes);
  EncodeHeader(h, bytes);
  EXPECT_EQ(Bytes(bytes, bytes + kHeaderSize), expected);

  DataFileHeader back = DecodeHeader(expected.data());
  EXPECT_EQ(std::memcmp(back.magic, h.magic, sizeof h.magic), 0);
  EXPECT_EQ(back.formatVersion, h.formatVersion);
  EXPECT_EQ(back.fileKind, h.fileKind);
  EXPECT_EQ(back.algorithm, h.algorithm);
  EXPECT_EQ(back.mode, h.mode);
  EXPECT_EQ(back.keyKind, h.keyKind);
  EXPECT_EQ(back.unitSize, h.unitSize);
  EXPECT_EQ(back.headerSize, h.headerSize);
  EXPECT_EQ(back.dataLength, h.dataLength);
  EXPECT_EQ(back.protectionCode, h.protectionCode);
  EXPECT_EQ(back.integrityValue, h.integrityValue);
  EXPECT_EQ(back.tokenChallenge, h.tokenChallenge);
}

TEST(DataFileHeader, NewHeaderIsZeroedApartFromMagicVersionKindsAndSize) {
  std::uint8_t bytes[kHeaderSize];
  EncodeHeader(NewHeader(kFileKey, kAlgDes, kKeySymmetric), bytes);
  EXPECT_EQ(Bytes(bytes, bytes + kHeaderSize), HeaderBytes(1, 2, 1));
  EncodeHeader(NewHeader(kFileHash, kAlgRsa, kKeyNone), bytes);
  EXPECT_EQ(Bytes(bytes, bytes + kHeaderSize), HeaderBytes(4, 3, 0));
}

// ---------------------------------------------------------------------------
// Opening and checking

class DataFileTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes, const char* name = "file.dat") {
    std::string path = folder_ / name;
    WriteFileBytes(path, bytes);
    return path;
  }
  TempFolder folder_;
};

struct OpenCase {
  const char* what;
  Bytes bytes;
  std::uint16_t fileKind, algorithm, keyKind, altKeyKind;
  std::uint32_t error;  // 0: opens
};

Bytes With(Bytes b, std::size_t at, std::uint8_t value) {
  b[at] = value;
  return b;
}

TEST_F(DataFileTest, OpenChecksKindsBeforeTheVersion) {
  const Bytes desKey = HeaderBytes(1, 2, 1);
  const Bytes rsaSecret = HeaderBytes(1, 3, 2);
  const Bytes rsaPublic = HeaderBytes(1, 3, 3);
  const Bytes cipher = HeaderBytes(2, 2, 0);
  const OpenCase cases[] = {
      {"DES key", desKey, 1, 2, 1, 0, 0},
      {"DES ciphertext", cipher, 2, 2, 0, 0, 0},
      {"47 bytes", Bytes(desKey.begin(), desKey.end() - 1), 1, 2, 1, 0, 30},
      {"empty file", Bytes(), 1, 2, 1, 0, 30},
      {"wrong first magic byte", With(desKey, 0, 'X'), 1, 2, 1, 0, 13},
      {"wrong last magic byte", With(desKey, 16, 'e'), 1, 2, 1, 0, 13},
      {"lower-case magic", With(desKey, 3, 'o'), 1, 2, 1, 0, 13},
      {"wrong kind", desKey, 2, 2, 1, 0, 13},
      {"kind's high byte", With(desKey, 20, 1), 1, 2, 1, 0, 13},
      {"wrong algorithm", desKey, 1, 1, 1, 0, 13},
      {"algorithm's high byte", With(desKey, 22, 1), 1, 2, 1, 0, 13},
      {"wrong key kind", desKey, 1, 2, 2, 0, 13},
      {"key kind's high byte", With(desKey, 26, 1), 1, 2, 1, 0, 13},
      {"key kind 0 is no alternative", cipher, 2, 2, 1, 0, 13},
      {"expected key kind with an alternative", rsaSecret, 1, 3, 2, 3, 0},
      {"alternative key kind", rsaPublic, 1, 3, 2, 3, 0},
      {"neither key kind", HeaderBytes(1, 3, 4), 1, 3, 2, 3, 13},
      {"major version 2", With(desKey, 18, 2), 1, 2, 1, 0, 1305},
      {"major version 4", With(desKey, 18, 4), 1, 2, 1, 0, 1305},
      {"minor version 5", With(desKey, 17, 5), 1, 2, 1, 0, 0},
      {"kind error wins over version", With(With(desKey, 18, 2), 19, 2), 1, 2, 1, 0, 13},
      {"magic error wins over version", With(With(desKey, 18, 2), 0, 0), 1, 2, 1, 0, 13},
      {"header size is not used", With(desKey, 28, 0), 1, 2, 1, 0, 0},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = Write(c.bytes);
    platform::SetLastErrorCode(0);
    DataFileHeader header{};
    platform::FileHandle file =
        OpenDataFile(path.c_str(), c.fileKind, c.algorithm, c.keyKind, c.altKeyKind, &header);
    platform::ScopedFile closer(file);
    if (c.error != 0) {
      EXPECT_EQ(file, platform::kInvalidFile);
      EXPECT_EQ(platform::GetLastErrorCode(), c.error);
    } else {
      ASSERT_NE(file, platform::kInvalidFile);
      std::uint8_t copy[kHeaderSize];
      EncodeHeader(header, copy);
      EXPECT_EQ(Bytes(copy, copy + kHeaderSize), c.bytes);
    }
  }
}

TEST_F(DataFileTest, OpenFailsWithReadFaultWithoutAFile) {
  const std::string missing = folder_ / "missing.dek";
  const std::string inMissingFolder = folder_ / "nowhere/k.dek";
  for (const std::string& path : {missing, inMissingFolder, folder_.path().string()}) {
    SCOPED_TRACE(path);
    platform::SetLastErrorCode(0);
    EXPECT_EQ(OpenDataFile(path.c_str(), 1, 2, 1, 0, nullptr), platform::kInvalidFile);
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorReadFault);
  }
}

TEST_F(DataFileTest, OpenLeavesTheFileAtThePayload) {
  Bytes bytes = HeaderBytes(1, 1, 5);
  bytes.insert(bytes.end(), {0xA1, 0xB2, 0xC3});
  std::string path = Write(bytes);
  platform::ScopedFile file(OpenDataFile(path.c_str(), 1, 1, 5, 0, nullptr));
  ASSERT_TRUE(file.valid());
  std::uint64_t position = 0;
  ASSERT_TRUE(platform::SeekFile(file.get(), 0, platform::SeekOrigin::Current, &position));
  EXPECT_EQ(position, 48u);
  std::uint8_t payload[8];
  std::uint32_t got = 0;
  ASSERT_TRUE(platform::ReadFile(file.get(), payload, sizeof payload, &got));
  EXPECT_EQ(Bytes(payload, payload + got), (Bytes{0xA1, 0xB2, 0xC3}));
}

TEST_F(DataFileTest, HeaderWithoutPayloadOpensButHasNoBlock) {
  std::string path = Write(HeaderBytes(1, 2, 1));
  platform::ScopedFile file(OpenDataFile(path.c_str(), 1, 2, 1, 0, nullptr));
  ASSERT_TRUE(file.valid());
  Room<2> block{};
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(ReadWordBlock(file.get(), block.get(), 12));
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorReadFault);
}

// ---------------------------------------------------------------------------
// Word blocks

struct BlockCase {
  const char* what;
  Bytes payload;
  std::size_t capacity;
  std::uint32_t error;  // 0: read
  std::vector<std::uint32_t> words;
};

Bytes Block(std::uint32_t count, const std::vector<std::uint32_t>& words) {
  Bytes b;
  Append32(b, count);
  for (std::uint32_t w : words) Append32(b, w);
  return b;
}

TEST_F(DataFileTest, ReadWordBlockChecksCountAgainstCapacityAndData) {
  Bytes truncated = Block(2, {0x11111111, 0x22222222});
  truncated.pop_back();
  const BlockCase cases[] = {
      {"DES key block", Block(2, {0x04030201, 0x08070605}), 12, 0, {0x04030201, 0x08070605}},
      {"empty block", Block(0, {}), 4, 0, {}},
      {"fills a larger room", Block(1, {0xCAFEBABE}), 64, 0, {0xCAFEBABE}},
      {"count 3 in 12 bytes", Block(3, {1, 2, 3}), 12, 1784, {}},
      {"count 0 in 3 bytes", Block(0, {}), 3, 1784, {}},
      {"count 0xFFFFFFFF", Block(0xFFFFFFFF, {1, 2}), 12, 1784, {}},
      {"count wrapping to 0 in 32 bits", Block(0x3FFFFFFF, {1, 2}), 12, 1784, {}},
      {"count wrapping to 4 in 32 bits", Block(0x40000000, {1, 2}), 12, 1784, {}},
      {"count wrapping to 8 in 32 bits", Block(0x40000001, {1, 2}), 12, 1784, {}},
      {"no count", Bytes(), 12, 30, {}},
      {"short count", Bytes{2, 0, 0}, 12, 30, {}},
      {"no words", Block(2, {}), 12, 30, {}},
      {"short words", truncated, 12, 30, {}},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = Write(c.payload);
    platform::ScopedFile file(platform::OpenForRead(path.c_str()));
    ASSERT_TRUE(file.valid());
    // Exactly the room the reader is told about, so a write beyond it shows.
    std::size_t words = c.capacity / 4 > 0 ? c.capacity / 4 : 1;
    std::unique_ptr<std::uint32_t[]> room(new std::uint32_t[words]());
    auto* block = reinterpret_cast<WordBlock*>(room.get());
    platform::SetLastErrorCode(0);
    bool ok = ReadWordBlock(file.get(), block, c.capacity);
    if (c.error != 0) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(platform::GetLastErrorCode(), c.error);
    } else {
      ASSERT_TRUE(ok);
      EXPECT_EQ(block->count, c.words.size());
      EXPECT_EQ(std::vector<std::uint32_t>(room.get() + 1, room.get() + 1 + block->count), c.words);
    }
  }
}

TEST_F(DataFileTest, BlocksFollowOneAnother) {
  Bytes payload = Block(1, {0xAAAAAAAA});
  Bytes second = Block(3, {1, 2, 3});
  payload.insert(payload.end(), second.begin(), second.end());
  std::string path = Write(payload);
  platform::ScopedFile file(platform::OpenForRead(path.c_str()));
  Room<4> block{};
  ASSERT_TRUE(ReadWordBlock(file.get(), block.get(), block.kCapacityBytes));
  EXPECT_EQ(block.count, 1u);
  EXPECT_EQ(block.words[0], 0xAAAAAAAAu);
  ASSERT_TRUE(ReadWordBlock(file.get(), block.get(), block.kCapacityBytes));
  EXPECT_EQ(block.count, 3u);
  EXPECT_EQ(block.words[2], 3u);
  EXPECT_FALSE(ReadWordBlock(file.get(), block.get(), block.kCapacityBytes));
}

TEST_F(DataFileTest, WriteWordBlockWritesCountAndWordsLittleEndian) {
  std::string path = folder_ / "blocks.dat";
  Room<3> three{3, {0x00000001, 0x01020304, 0xFFFFFFFF}};
  Room<1> none{0, {0x77777777}};
  {
    platform::ScopedFile file(platform::CreateAlways(path.c_str()));
    ASSERT_TRUE(file.valid());
    ASSERT_TRUE(WriteWordBlock(file.get(), three.get()));
    ASSERT_TRUE(WriteWordBlock(file.get(), none.get()));
  }
  Bytes expected = Block(3, {0x00000001, 0x01020304, 0xFFFFFFFF});
  Append32(expected, 0);  // the empty block: its count only
  EXPECT_EQ(ReadFileBytes(path), expected);

  platform::ScopedFile file(platform::OpenForRead(path.c_str()));
  Room<3> back{};
  ASSERT_TRUE(ReadWordBlock(file.get(), back.get(), back.kCapacityBytes));
  EXPECT_EQ(back.count, 3u);
  EXPECT_EQ(std::memcmp(back.words, three.words, sizeof three.words), 0);
  ASSERT_TRUE(ReadWordBlock(file.get(), back.get(), back.kCapacityBytes));
  EXPECT_EQ(back.count, 0u);
}

TEST_F(DataFileTest, FailedWritesReportWriteFault) {
  std::string path = Write(Bytes(4, 0));
  platform::ScopedFile readOnly(platform::OpenForRead(path.c_str()));
  ASSERT_TRUE(readOnly.valid());
  Room<2> block{2, {1, 2}};
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(WriteWordBlock(readOnly.get(), block.get()));
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorWriteFault);
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(WriteDataFileHeader(readOnly.get(), NewHeader(1, 2, 1)));
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorWriteFault);
}

TEST_F(DataFileTest, WrittenHeaderIsReadBack) {
  std::string path = folder_ / "k.dek";
  DataFileHeader h = NewHeader(kFileKey, kAlgDh, kKeySecretHalf);
  h.protectionCode = 19;
  h.integrityValue = 0x89ABCDEF;
  h.tokenChallenge = 0x13579BDF;
  {
    platform::ScopedFile file(platform::CreateAlways(path.c_str()));
    ASSERT_TRUE(WriteDataFileHeader(file.get(), h));
  }
  Bytes expected = HeaderBytes(1, 4, 2);
  expected[36] = 19;
  std::memcpy(expected.data() + 40, "\xEF\xCD\xAB\x89\xDF\x9B\x57\x13", 8);
  EXPECT_EQ(ReadFileBytes(path), expected);
  DataFileHeader back{};
  platform::ScopedFile file(OpenDataFile(path.c_str(), 1, 4, 2, 0, &back));
  ASSERT_TRUE(file.valid());
  EXPECT_EQ(back.protectionCode, 19u);
  EXPECT_EQ(back.integrityValue, 0x89ABCDEFu);
  EXPECT_EQ(back.tokenChallenge, 0x13579BDFu);
}

// ---------------------------------------------------------------------------
// Integrity value

std::uint32_t Integrity(std::uint32_t start, const std::string& text) {
  std::uint32_t v = start;
  UpdateIntegrityValue(&v, text.data(), text.size());
  return v;
}

TEST(UpdateIntegrityValue, KnownValues) {
  EXPECT_EQ(Integrity(0, "abc"), 0x63626100u);
  EXPECT_EQ(Integrity(0, "abcd"), 0x64636261u);
  EXPECT_EQ(Integrity(0, "abcdefgh"), 0xA4A17468u);
  EXPECT_EQ(Integrity(0, ""), 0u);
  EXPECT_EQ(Integrity(0x12345678, ""), 0x12345678u);
}

TEST(UpdateIntegrityValue, FourZeroBytesMoreGiveTheCommonCrc32) {
  // With data entering at the top, the register after the message and 32
  // zero bits is the remainder the table-driven CRC-32 computes. Its start
  // value 0xFFFFFFFF equals inverting the message's first 32 bits, and its
  // final inversion is applied here: the published check value of
  // "123456789" must come out.
  std::string message = "123456789";
  for (int i = 0; i < 4; ++i) message[i] = static_cast<char>(~message[i]);
  message.append(4, '\0');
  EXPECT_EQ(~Integrity(0, message), 0xCBF43926u);
}

TEST(UpdateIntegrityValue, EverySplitPointGivesTheSameValue) {
  static const char kData[] = "The quick brown fox jumps over the lazy dog\x00\xFF\x80";
  const std::string data(kData, sizeof kData - 1);
  const std::uint32_t whole = Integrity(0, data);
  for (std::size_t split = 0; split <= data.size(); ++split) {
    SCOPED_TRACE(split);
    EXPECT_EQ(Integrity(Integrity(0, data.substr(0, split)), data.substr(split)), whole);
  }
}

}  // namespace
}  // namespace nc::frame
