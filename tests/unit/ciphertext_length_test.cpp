// The plaintext length of ciphertexts from the payload size and the stored
// low 32 bits, around and beyond 4 GiB, padded to blocks or exact.
#include "frame/ciphertext_length.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace nc::frame {
namespace {

constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
// Block sizes: 8 (DES ECB, GOST simple replacement), 1 (no padding) and an
// RSA modulus's 63 bytes.
constexpr std::uint32_t kModes[] = {8, 1, 63};
constexpr std::uint32_t kEcb = 8, kCbc = 1, kCfb = 1, kOfb = 1;

std::uint64_t PayloadOf(std::uint64_t length, std::uint32_t block) {
  return (length + block - 1) / block * block;
}

// What an encryptor writes, for plaintext lengths on both sides of 0, 4 GiB
// and 8 GiB, comes back exactly in every mode.
TEST(CiphertextLength, EveryWrittenLengthIsRecovered) {
  for (std::uint32_t mode : kModes) {
    for (std::uint64_t base : {std::uint64_t{0}, k4G, 2 * k4G}) {
      for (std::uint64_t delta = 0; delta < 40; ++delta) {
        for (std::uint64_t length : {base + delta, base - delta}) {
          if (base == 0 && length != delta) continue;
          std::uint64_t payload = PayloadOf(length, mode);
          std::uint64_t got = ~std::uint64_t{0};
          ASSERT_TRUE(
              RecoverPlaintextLength(payload, static_cast<std::uint32_t>(length), mode, &got))
              << "block " << mode << " length " << length;
          EXPECT_EQ(got, length) << "block " << mode;
        }
      }
    }
  }
}

// Any other stored value for the same payload is refused: the answer is
// never a guess.
TEST(CiphertextLength, NoOtherStoredValueFits) {
  for (std::uint32_t mode : kModes) {
    for (std::uint64_t length :
         {std::uint64_t{0}, std::uint64_t{13}, k4G - 3, k4G, k4G + 1, k4G + 8, 3 * k4G - 1}) {
      std::uint64_t payload = PayloadOf(length, mode);
      for (std::int64_t offset = -20; offset <= 20; ++offset) {
        auto stored = static_cast<std::uint32_t>(length + static_cast<std::uint64_t>(offset));
        std::uint64_t got = 0;
        bool fits = RecoverPlaintextLength(payload, stored, mode, &got);
        // Only stored values of another plaintext with the same payload fit.
        bool expected = offset == 0 || (mode > 1 && PayloadOf(length + offset, mode) == payload &&
                                        static_cast<std::int64_t>(length) + offset >= 0);
        EXPECT_EQ(fits, expected) << "block " << mode << " length " << length << " offset "
                                  << offset;
        if (fits) {
          EXPECT_EQ(got, length + static_cast<std::uint64_t>(offset));
        }
      }
    }
  }
}

TEST(CiphertextLength, FilesThatCannotBeCiphertextsAreRefused) {
  struct Case {
    const char* what;
    std::uint64_t payload;
    std::uint32_t stored;
    std::uint32_t mode;
  } cases[] = {
      {"truncated CBC", 4, 5, kCbc},
      {"truncated CFB", 100, 200, kCfb},
      {"CBC with extra bytes", 6, 5, kCbc},
      {"OFB a byte beyond 4 GiB stored as 0", k4G + 1, 0, kOfb},
      {"CFB 4 GiB stored as all ones", k4G, 0xFFFFFFFFu, kCfb},
      {"ECB payload not whole blocks", 15, 13, kEcb},
      {"ECB with a whole extra block", 16, 8, kEcb},
      {"ECB claiming more than its payload", 16, 17, kEcb},
      {"ECB truncated below its length", 8, 13, kEcb},
      {"ECB empty payload with a length", 0, 1, kEcb},
      {"ECB one block whose length wraps", 8, 0xFFFFFFFFu, kEcb},
      {"RSA blocks with a whole extra block", 126, 62, 63},
      {"RSA payload not whole blocks", 100, 99, 63},
      {"CBC empty payload with a length", 0, 0xFFFFFFFFu, kCbc},
  };
  for (const Case& c : cases) {
    std::uint64_t got = 0;
    EXPECT_FALSE(RecoverPlaintextLength(c.payload, c.stored, c.mode, &got)) << c.what;
  }
}

}  // namespace
}  // namespace nc::frame
