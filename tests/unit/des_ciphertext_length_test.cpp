// The plaintext length of DES ciphertexts from the payload size and the
// stored low 32 bits, around and beyond 4 GiB.
#include <gtest/gtest.h>

#include <cstdint>

#include "des/ciphertext_length.h"
#include "zq/zq.h"

namespace nc::des {
namespace {

constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
constexpr std::uint32_t kModes[] = {kDesEcb, kDesCbc, kDesCfb, kDesOfb};

std::uint64_t PayloadOf(std::uint64_t length, std::uint32_t mode) {
  return mode == kDesEcb ? (length + 7) / 8 * 8 : length;
}

// What the encryptor writes, for plaintext lengths on both sides of 0, 4 GiB
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
              << "mode " << mode << " length " << length;
          EXPECT_EQ(got, length) << "mode " << mode;
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
        bool expected =
            offset == 0 || (mode == kDesEcb && PayloadOf(length + offset, mode) == payload &&
                            static_cast<std::int64_t>(length) + offset >= 0);
        EXPECT_EQ(fits, expected) << "mode " << mode << " length " << length << " offset "
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
      {"truncated CBC", 4, 5, kDesCbc},
      {"truncated CFB", 100, 200, kDesCfb},
      {"CBC with extra bytes", 6, 5, kDesCbc},
      {"OFB a byte beyond 4 GiB stored as 0", k4G + 1, 0, kDesOfb},
      {"CFB 4 GiB stored as all ones", k4G, 0xFFFFFFFFu, kDesCfb},
      {"ECB payload not whole blocks", 15, 13, kDesEcb},
      {"ECB with a whole extra block", 16, 8, kDesEcb},
      {"ECB claiming more than its payload", 16, 17, kDesEcb},
      {"ECB truncated below its length", 8, 13, kDesEcb},
      {"ECB empty payload with a length", 0, 1, kDesEcb},
      {"ECB one block whose length wraps", 8, 0xFFFFFFFFu, kDesEcb},
      {"CBC empty payload with a length", 0, 0xFFFFFFFFu, kDesCbc},
      {"mode 0", 8, 8, 0},
      {"mode 5", 8, 8, 5},
  };
  for (const Case& c : cases) {
    std::uint64_t got = 0;
    EXPECT_FALSE(RecoverPlaintextLength(c.payload, c.stored, c.mode, &got)) << c.what;
  }
}

}  // namespace
}  // namespace nc::des
