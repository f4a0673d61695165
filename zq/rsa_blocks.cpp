// ZQRSA32, block encryption: RSAEncBlk, RSADecBlk, RSAEncrypt, RSADecrypt
// (conventions in zq/rsa.h). Every exponentiation goes through
// ModExpConstTime with the exponent padded to the modulus's word count, so
// neither the exponent's value nor its length shows in the running time.
#include <cstring>
#include <new>
#include <vector>

#include "zq/rsa.h"
#include "zq/rsa_modexp.h"
#include "zq/wipe.h"

namespace nc::zq {
namespace {

// The smallest modulus that carries a block: 17 bits, 2 bytes per block.
constexpr uint32_t kMinModulusBits = 17;

// The modulus of a context: its significant words and its length.
struct Modulus {
  uint32_t words[kRsaMaxWords];
  uint32_t count;  // without leading zero words
  uint32_t bits;
  uint32_t enc_block;  // input bytes of RSAEncrypt per block
  uint32_t dec_block;  // RSADecBlk: one byte more
};

// False when the context holds no usable modulus (count above the slot,
// fewer than 17 bits).
bool LoadModulus(const RSAContext* context, Modulus& m) {
  if (context == nullptr || context->n.count > kRsaMaxWords) return false;
  m.count = context->n.count;
  std::memcpy(m.words, context->n.words, 4 * m.count);
  while (m.count > 0 && m.words[m.count - 1] == 0) --m.count;
  m.bits = 0;
  if (m.count > 0) {
    uint32_t top = m.words[m.count - 1], top_bits = 0;
    while (top != 0) {
      ++top_bits;
      top >>= 1;
    }
    m.bits = 32 * (m.count - 1) + top_bits;
  }
  m.enc_block = (m.bits - 1) / 8;
  m.dec_block = (m.bits + 7) / 8;
  return m.bits >= kMinModulusBits;
}

// The exponent of a slot, zero-padded to at least the modulus's word count;
// false when its count is above the slot or it is zero.
bool LoadExponent(const RSANumber& slot, uint32_t modulus_words, uint32_t x[kRsaMaxWords],
                  uint32_t& x_words) {
  if (slot.count > kRsaMaxWords) return false;
  std::memset(x, 0, 4 * kRsaMaxWords);
  std::memcpy(x, slot.words, 4 * slot.count);
  uint32_t any = 0;
  for (uint32_t i = 0; i < slot.count; ++i) any |= x[i];
  x_words = slot.count > modulus_words ? slot.count : modulus_words;
  return any != 0;
}

// A big-endian octet string of `length` (at most 4 * kRsaMaxWords) bytes as
// words, least significant first.
void BytesToWords(const uint8_t* bytes, uint32_t length, uint32_t words[kRsaMaxWords]) {
  std::memset(words, 0, 4 * kRsaMaxWords);
  for (uint32_t i = 0; i < length; ++i) {
    const uint32_t position = length - 1 - i;  // byte's significance
    words[position / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (position % 4));
  }
}

// The low `length` bytes of a number as a big-endian octet string.
void WordsToBytes(const uint32_t words[kRsaMaxWords], uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    const uint32_t position = length - 1 - i;
    bytes[i] = static_cast<uint8_t>(words[position / 4] >> (8 * (position % 4)));
  }
}

// a < b for numbers of `count` words (public values: a ciphertext and n).
bool Below(const uint32_t* a, const uint32_t* b, uint32_t count) {
  for (uint32_t i = count; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

}  // namespace
}  // namespace nc::zq

extern "C" uint32_t ZQAPI RSAEncBlk(const RSAContext* context) {
  nc::zq::Modulus m;
  return nc::zq::LoadModulus(context, m) ? m.enc_block : 0;
}

extern "C" uint32_t ZQAPI RSADecBlk(const RSAContext* context) {
  nc::zq::Modulus m;
  return nc::zq::LoadModulus(context, m) ? m.dec_block : 0;
}

// Every input block is below 2^(8 RSAEncBlk) <= 2^(bits(n) - 1) < n, so
// nothing here depends on the data but the work itself.
extern "C" uint32_t ZQAPI RSAEncrypt(const RSAContext* context, void* output, const void* input,
                                     uint32_t length) {
  using namespace nc::zq;
  Modulus m;
  uint32_t x[kRsaMaxWords], x_words = 0;
  if (!LoadModulus(context, m) || (m.words[0] & 1u) == 0 ||
      !LoadExponent(context->e, m.count, x, x_words)) {
    nc::SecureWipe(x, sizeof x);
    return 0;
  }
  const uint64_t blocks = (static_cast<uint64_t>(length) + m.enc_block - 1) / m.enc_block;
  const uint64_t total = blocks * m.dec_block;
  if (total == 0 || total > UINT32_MAX || output == nullptr || input == nullptr) {
    nc::SecureWipe(x, sizeof x);
    return 0;
  }
  const uint8_t* in = static_cast<const uint8_t*>(input);
  uint8_t* out = static_cast<uint8_t*>(output);
  uint8_t block[4 * kRsaMaxWords];
  uint32_t number[kRsaMaxWords];
  for (uint64_t i = 0; i < blocks; ++i) {
    const uint64_t offset = i * m.enc_block;
    const uint32_t take =
        static_cast<uint32_t>(length - offset < m.enc_block ? length - offset : m.enc_block);
    std::memset(block, 0, m.enc_block);
    std::memcpy(block, in + offset, take);
    BytesToWords(block, m.enc_block, number);
    ModExpConstTime(number, number, x, x_words, m.words, m.count);
    WordsToBytes(number, out + i * m.dec_block, m.dec_block);
  }
  nc::SecureWipe(block, sizeof block);
  nc::SecureWipe(number, sizeof number);
  nc::SecureWipe(x, sizeof x);
  return static_cast<uint32_t>(total);
}

// All blocks are checked against n before any work; the plaintext is formed
// in a private buffer and copied out only when every block fits its
// RSAEncBlk bytes, so a refused input writes nothing.
extern "C" uint32_t ZQAPI RSADecrypt(const RSAContext* context, void* output, const void* input,
                                     uint32_t length) {
  using namespace nc::zq;
  Modulus m;
  uint32_t x[kRsaMaxWords], x_words = 0;
  if (!LoadModulus(context, m) || (m.words[0] & 1u) == 0 ||
      !LoadExponent(context->d, m.count, x, x_words) || length == 0 || length % m.dec_block != 0 ||
      output == nullptr || input == nullptr) {
    nc::SecureWipe(x, sizeof x);
    return 0;
  }
  const uint32_t blocks = length / m.dec_block;
  const uint8_t* in = static_cast<const uint8_t*>(input);
  uint32_t number[kRsaMaxWords];
  bool below = true;
  for (uint32_t i = 0; i < blocks && below; ++i) {
    BytesToWords(in + static_cast<uint64_t>(i) * m.dec_block, m.dec_block, number);
    below = Below(number, m.words, m.count);
  }
  std::vector<uint8_t> plain;
  if (below) {
    try {
      plain.resize(static_cast<size_t>(blocks) * m.enc_block);
    } catch (const std::bad_alloc&) {
      below = false;
    }
  }
  if (!below) {
    nc::SecureWipe(x, sizeof x);
    return 0;
  }
  // The byte above RSAEncBlk of every result, ORed: a result that does not
  // fit is found without a branch on any one block.
  uint32_t overflow = 0;
  for (uint32_t i = 0; i < blocks; ++i) {
    BytesToWords(in + static_cast<uint64_t>(i) * m.dec_block, m.dec_block, number);
    ModExpConstTime(number, number, x, x_words, m.words, m.count);
    overflow |= number[m.enc_block / 4] >> (8 * (m.enc_block % 4));
    WordsToBytes(number, plain.data() + static_cast<size_t>(i) * m.enc_block, m.enc_block);
  }
  const uint32_t written = overflow == 0 ? blocks * m.enc_block : 0;
  if (written != 0) std::memcpy(output, plain.data(), written);
  nc::SecureWipe(plain.data(), plain.size());
  nc::SecureWipe(number, sizeof number);
  nc::SecureWipe(x, sizeof x);
  return written;
}
