// libgcrypt's numbers for tests: an independent peer for the library's
// arithmetic, built from and read back as little-endian bytes.
#pragma once
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace nc::test {

class Mpi {
 public:
  explicit Mpi(const std::vector<std::uint8_t>& littleEndian) {
    std::vector<std::uint8_t> big(littleEndian.rbegin(), littleEndian.rend());
    if (big.empty()) big.push_back(0);
    EXPECT_EQ(gcry_mpi_scan(&m_, GCRYMPI_FMT_USG, big.data(), big.size(), nullptr), 0);
  }
  explicit Mpi(unsigned long value) : m_(gcry_mpi_set_ui(nullptr, value)) {}
  Mpi() : m_(gcry_mpi_new(0)) {}
  ~Mpi() { gcry_mpi_release(m_); }
  Mpi(const Mpi&) = delete;
  Mpi& operator=(const Mpi&) = delete;
  gcry_mpi_t get() const { return m_; }
  unsigned Bits() const { return gcry_mpi_get_nbits(m_); }
  // The number's bytes, least significant first, zero-filled to at least
  // `atLeast` bytes.
  std::vector<std::uint8_t> LittleEndian(std::size_t atLeast = 0) const {
    std::vector<std::uint8_t> bytes((Bits() + 7) / 8 > atLeast ? (Bits() + 7) / 8 : atLeast, 0);
    for (unsigned bit = 0; bit < Bits(); ++bit)
      if (gcry_mpi_test_bit(m_, bit)) bytes[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
    return bytes;
  }

 private:
  gcry_mpi_t m_ = nullptr;
};

}  // namespace nc::test
