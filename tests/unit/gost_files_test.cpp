// The readers of GOST key and parameter files (gost/key_files.h): files made
// by the library's own generators are read back, and every damage a file
// can carry is refused with its last error.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "des_test_support.h"
#include "frame/data_file.h"
#include "frame_test_support.h"
#include "gost/key_files.h"
#include "nccore21.h"
#include "platform/last_error.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"

namespace nc::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using gost::OverCapacity;

void PutLe32(Bytes& file, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The file with its one block cut to `words` words and its integrity value
// made right again: damage only the count check can see.
Bytes WithWords(Bytes file, std::uint32_t words) {
  file.resize(52 + 4 * words);
  PutLe32(file, 48, words);
  std::uint32_t integrity = 0;
  frame::UpdateIntegrityValue(&integrity, &file[52], 4 * words);
  PutLe32(file, 40, integrity);
  return file;
}

class GostFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetUi(&ui_);
    int code = -1;
    CallOperation(ZqGOSB,
                  Quoted(std::string(NCCORE_SOURCE_DIR) + "/tests/blackbox/gosb_table.txt") + " " +
                      Quoted(table_),
                  &code);
    ASSERT_EQ(code, 0);
    CallOperation(ZqGOSK, Quoted(key_), &code);
    ASSERT_EQ(code, 0);
  }
  void TearDown() override { platform::SetUi(nullptr); }

  // The last error a reader leaves for the file `bytes` (0: read).
  std::uint32_t TableError(const Bytes& bytes, OverCapacity over) {
    WriteFileBytes(scratch_, bytes);
    WordBlockOf<256> block{};
    platform::SetLastErrorCode(0);
    return gost::ReadSubstitutionFile(scratch_.c_str(), over, block.get(), sizeof block)
               ? 0
               : platform::GetLastErrorCode();
  }
  std::uint32_t KeyError(const Bytes& bytes, OverCapacity over) {
    WriteFileBytes(scratch_, bytes);
    WordBlockOf<8> key{};
    platform::SetLastErrorCode(0);
    return gost::ReadGostKeyFile(nullptr, scratch_.c_str(), true, over, key)
               ? 0
               : platform::GetLastErrorCode();
  }

  platform::ScriptedUi ui_;
  TempFolder folder_;
  const std::string table_ = folder_ / "t.gtb";
  const std::string key_ = folder_ / "k.gek";
  const std::string scratch_ = folder_ / "scratch";
};

TEST_F(GostFilesTest, WhatTheGeneratorsWriteIsReadBack) {
  WordBlockOf<256> table{};
  ASSERT_TRUE(gost::ReadSubstitutionFile(table_.c_str(), OverCapacity::ReadFault, table.get(),
                                         sizeof table));
  EXPECT_EQ(table.count, 16u);
  const Bytes tableFile = ReadFileBytes(table_);
  EXPECT_EQ(std::memcmp(table.words, &tableFile[52], 64), 0);

  WordBlockOf<8> key{};
  ASSERT_TRUE(gost::ReadGostKeyFile(nullptr, key_.c_str(), true, OverCapacity::ReadFault, key));
  const Bytes keyFile = ReadFileBytes(key_);
  EXPECT_EQ(std::memcmp(key.words, &keyFile[52], 32), 0);
}

TEST_F(GostFilesTest, DamagedFilesAreRefusedWithTheirError) {
  const Bytes table = ReadFileBytes(table_), key = ReadFileBytes(key_);
  Bytes tableAltered = table, keyAltered = key;
  tableAltered[60] ^= 1;
  keyAltered[60] ^= 1;
  Bytes tableTooLarge = table, keyTooLarge = key;
  PutLe32(tableTooLarge, 48, 257);
  PutLe32(keyTooLarge, 48, 9);
  Bytes keyAsTable = key;  // a key where a table belongs
  struct Case {
    const char* what;
    bool isKey;
    Bytes file;
    OverCapacity over;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"table read back", false, table, OverCapacity::ReadFault, 0},
      {"table cut short", false, Bytes(table.begin(), table.end() - 4), OverCapacity::ReadFault,
       platform::kErrorReadFault},
      {"table of 15 words", false, WithWords(table, 15), OverCapacity::ReadFault,
       platform::kErrorInvalidData},
      {"table too large, as a read fault", false, tableTooLarge, OverCapacity::ReadFault,
       platform::kErrorReadFault},
      {"table too large, as such", false, tableTooLarge, OverCapacity::UnknownError,
       platform::kErrorInvalidUserBuffer},
      {"table altered", false, tableAltered, OverCapacity::ReadFault, platform::kErrorFileCorrupt},
      {"a key for a table", false, keyAsTable, OverCapacity::ReadFault,
       platform::kErrorInvalidData},
      {"key read back", true, key, OverCapacity::ReadFault, 0},
      {"key of 7 words", true, WithWords(key, 7), OverCapacity::ReadFault,
       platform::kErrorInvalidData},
      {"key too large", true, keyTooLarge, OverCapacity::UnknownError,
       platform::kErrorInvalidUserBuffer},
      {"key altered", true, keyAltered, OverCapacity::ReadFault, platform::kErrorFileCorrupt},
      {"a table for a key", true, table, OverCapacity::ReadFault, platform::kErrorInvalidData},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.isKey ? KeyError(c.file, c.over) : TableError(c.file, c.over), c.error);
  }
}

}  // namespace
}  // namespace nc::test
