// Helpers of the file operations' tests (the DES operations and the
// generators of common numbers): calling an export, reading files by the
// library's own names, the fields every data file shares, and DES key files
// made by hand.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/data_file.h"
#include "frame_test_support.h"
#include "nccore21.h"
#include "platform/files.h"

namespace nc::test {

using Operation = std::int32_t(NCAPI*)(void*, const char*, char*, std::int32_t);

// Calls `operation` with `options`; returns the result text, the code in *code.
inline std::string CallOperation(Operation operation, const std::string& options, int* code,
                                 void* parent = nullptr) {
  char result[512];
  std::memset(result, 0x55, sizeof result);
  *code = operation(parent, options.c_str(), result, sizeof result);
  EXPECT_NE(std::memchr(result, '\0', sizeof result), nullptr);
  return result;
}

// The same, called from within `folder` (where the default names go).
inline std::string CallOperationIn(const std::filesystem::path& folder, Operation operation,
                                   const std::string& options, int* code) {
  InFolder here(folder);
  return CallOperation(operation, options, code);
}

// "name" in double quotes, as option strings take names.
inline std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// A file's bytes, its name taken in the library's encoding (code page 1251
// on Windows, where the C++ streams would use the ANSI code page instead).
inline std::vector<std::uint8_t> ReadLibraryFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  platform::ScopedFile file(platform::OpenForRead(path.c_str()));
  if (!file.valid()) return bytes;
  std::uint8_t buffer[65536];
  std::uint32_t got = 0;
  while (platform::ReadFile(file.get(), buffer, sizeof buffer, &got) && got > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  return bytes;
}

inline frame::DataFileHeader HeaderOf(const std::vector<std::uint8_t>& file) {
  if (file.size() < frame::kHeaderSize) {
    ADD_FAILURE() << "no header in " << file.size() << " bytes";
    return {};
  }
  return frame::DecodeHeader(file.data());
}

// The fields every data file the library writes shares (the magic, format
// version 3.0, the 48-byte header), and its kind, algorithm and key kind.
inline void ExpectDataFileHeader(const frame::DataFileHeader& h, std::uint16_t fileKind,
                                 std::uint16_t algorithm, std::uint16_t keyKind) {
  EXPECT_EQ(std::string(h.magic, 17), "TAVOCRYPTDATAFILE");
  EXPECT_EQ(h.formatVersion, 0x0300);
  EXPECT_EQ(h.fileKind, fileKind);
  EXPECT_EQ(h.algorithm, algorithm);
  EXPECT_EQ(h.keyKind, keyKind);
  EXPECT_EQ(h.headerSize, 48u);
}

inline std::uint32_t Le32(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t{bytes[3]} << 24);
}

// A DES key file as the generator writes it for an unprotected key: the
// header, count 2 and the 8 key bytes, with the integrity value over them.
inline std::vector<std::uint8_t> DesKeyFileBytes(const std::array<std::uint8_t, 8>& key) {
  frame::DataFileHeader header =
      frame::NewHeader(frame::kFileKey, frame::kAlgDes, frame::kKeySymmetric);
  frame::UpdateIntegrityValue(&header.integrityValue, key.data(), key.size());
  header.tokenChallenge = 0x12345678;
  std::vector<std::uint8_t> bytes(frame::kHeaderSize);
  frame::EncodeHeader(header, bytes.data());
  bytes.insert(bytes.end(), {2, 0, 0, 0});
  bytes.insert(bytes.end(), key.begin(), key.end());
  return bytes;
}

}  // namespace nc::test
