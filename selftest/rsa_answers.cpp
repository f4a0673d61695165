// RSA: a fixed 512-bit key enciphers a known text of two blocks into the
// known ciphertext and deciphers it back; the file hash (SHAKE256, chained)
// gives its known values; a new key pair passes a pairwise round trip.
#include <cstring>
#include <vector>

#include "selftest/known_answer.h"
#include "selftest/self_test.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::selftest {
namespace {

using namespace answers;

// The key with the public exponent in slot e (RSAEncrypt) and the secret
// one in slot d (RSADecrypt).
RSAContext FixedKey() {
  RSAContext context{};
  context.size = sizeof(RSAContext);
  NumberInto(reinterpret_cast<WordBlock*>(&context.n), kRsaMaxWords, kRsaN);
  NumberInto(reinterpret_cast<WordBlock*>(&context.e), kRsaMaxWords, kRsaE);
  NumberInto(reinterpret_cast<WordBlock*>(&context.d), kRsaMaxWords, kRsaD);
  return context;
}

bool Encrypt(const Session& session, const char* test) {
  const RSAContext key = FixedKey();
  const std::vector<uint8_t> text = Bytes(kRsaText), known = Bytes(kRsaCiphertext);
  std::vector<uint8_t> out(known.size() + 64);
  const uint32_t length =
      RSAEncrypt(&key, out.data(), text.data(), static_cast<uint32_t>(text.size()));
  return RSAEncBlk(&key) == 63 && RSADecBlk(&key) == 64 && length == known.size() &&
         session.Same(test, out.data(), known.data(), known.size());
}

bool Decrypt(const Session& session, const char* test) {
  RSAContext key = FixedKey();
  const std::vector<uint8_t> cipher = Bytes(kRsaCiphertext);
  std::vector<uint8_t> known = Bytes(kRsaText);
  known.resize(2 * 63);  // the last block comes back zero-filled
  std::vector<uint8_t> out(known.size() + 64);
  const uint32_t length =
      RSADecrypt(&key, out.data(), cipher.data(), static_cast<uint32_t>(cipher.size()));
  const bool ok =
      length == known.size() && session.Same(test, out.data(), known.data(), known.size());
  SecureWipe(&key, sizeof key);
  SecureWipe(out.data(), out.size());
  return ok;
}

bool FileHash(const Session& session, const char* test) {
  uint8_t hash[128] = {};
  RSAHash(hash, "abc", 3);
  const std::vector<uint8_t> first = Bytes(kRsaHashAbc), second = Bytes(kRsaHashChained);
  const std::vector<uint8_t> text = Bytes(kRsaText);
  bool ok = session.Same(test, hash, first.data(), first.size());
  RSAHash(hash, text.data(), static_cast<uint32_t>(text.size()));
  return session.Same(test, hash, second.data(), second.size()) && ok;
}

// A new 512-bit pair: a block enciphered with one exponent and deciphered
// with the other comes back.
bool KeyPairRoundTrip(const Session&, const char*) {
  RSAContext key{};
  key.size = sizeof(RSAContext);
  key.param = 2;
  key.nBitsLo = key.nBitsHi = 512;
  key.eBitsLo = 2;
  key.eBitsHi = 512;
  bool ok = RSAGenPQN(&key, nullptr) == kRsaGenDone && RSAGenED(&key, nullptr) == kRsaGenDone;
  const std::vector<uint8_t> text = Bytes(kRsaText);
  std::vector<uint8_t> cipher(2 * 64), back(2 * 63);
  ok = ok && RSAEncrypt(&key, cipher.data(), text.data(), static_cast<uint32_t>(text.size())) ==
                 cipher.size();
  ok = ok && RSADecrypt(&key, back.data(), cipher.data(), static_cast<uint32_t>(cipher.size())) ==
                 back.size();
  ok = ok && std::memcmp(back.data(), text.data(), text.size()) == 0 &&
       std::memcmp(cipher.data(), text.data(), text.size()) != 0;
  SecureWipe(&key, sizeof key);
  SecureWipe(back.data(), back.size());
  return ok;
}

}  // namespace

void RunRsaTests(Session& session) {
  constexpr Check kChecks[] = {
      {"RSA encrypt", Encrypt},
      {"RSA decrypt", Decrypt},
      {"RSA file hash", FileHash},
      {"RSA key pair", KeyPairRoundTrip},
  };
  session.RunAll(kChecks);
}

}  // namespace nc::selftest
