// GOST 28147-89 in its four modes with the GOST R 34.11-94 test S-box, the
// GOST R 34.11-94 hash of RFC 5831's two examples, and GOST R 34.10-94: a
// known signature over the standard's example numbers checked (and, altered,
// refused), then a fresh key pair's signature checked.
#include <cstring>
#include <vector>

#include "selftest/known_answer.h"
#include "selftest/self_test.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::selftest {
namespace {

using namespace answers;

GOSCipherContext Cipher(uint32_t operation, uint32_t mode) {
  GOSCipherContext context{};
  context.size = sizeof(GOSCipherContext);
  context.key.count = kGosKeyWords;
  std::vector<uint8_t> key = Bytes(kGostKey), sbox = Bytes(kGostSbox),
                       synchro = Bytes(kGostSynchro);
  std::memcpy(context.key.words, key.data(), key.size());
  context.substitution.count = kGosSubstitutionWords;
  std::memcpy(context.substitution.words, sbox.data(), sbox.size());
  std::memset(context.synchro, ' ', 4);
  std::memcpy(context.synchro + 4, synchro.data(), 8);
  context.operation = operation;
  context.mode = mode;
  SecureWipe(key.data(), key.size());
  return context;
}

// Enciphers in two chunks, compares, deciphers in one call.
bool CipherRoundTrip(const Session& session, const char* test, uint32_t mode, const char* answer) {
  std::vector<uint8_t> text = Bytes(kGostText);
  if (mode == kGosSimpleReplacement) text.resize(32);  // whole blocks only
  const std::vector<uint8_t> known = Bytes(answer);
  std::vector<uint8_t> data = text;
  GOSCipherContext context = Cipher(kGosEncipher, mode);
  bool ok =
      GOSExec(data.data(), 8, &context) == kGosExecOk &&
      GOSExec(data.data() + 8, static_cast<uint32_t>(data.size() - 8), &context) == kGosExecOk &&
      session.Same(test, data.data(), known.data(), known.size());
  context = Cipher(kGosDecipher, mode);
  ok = ok && GOSExec(data.data(), static_cast<uint32_t>(data.size()), &context) == kGosExecOk &&
       data == text;
  SecureWipe(&context, sizeof context);
  return ok;
}

bool SimpleReplacement(const Session& session, const char* test) {
  return CipherRoundTrip(session, test, kGosSimpleReplacement, kGostSimpleReplacement);
}
bool Gamma(const Session& session, const char* test) {
  return CipherRoundTrip(session, test, kGosGamma, kGostGamma);
}
bool FeedbackGamma(const Session& session, const char* test) {
  return CipherRoundTrip(session, test, kGosFeedbackGamma, kGostFeedbackGamma);
}

bool Imitation(const Session& session, const char* test) {
  const std::vector<uint8_t> text = Bytes(kGostText), known = Bytes(kGostImitation);
  GOSCipherContext context = Cipher(kGosImitation, kGosNoMode);
  std::vector<uint8_t> data = text;
  bool ok =
      GOSExec(data.data(), 13, &context) == kGosExecOk &&
      GOSExec(data.data() + 13, static_cast<uint32_t>(data.size() - 13), &context) == kGosExecOk &&
      session.Same(test, context.mac, known.data(), known.size());
  SecureWipe(&context, sizeof context);
  return ok && data == text;
}

bool Hash(const Session& session, const char* test) {
  const char* messages[] = {kGostHashMessage32, kGostHashMessage50};
  const char* results[] = {kGostHash32, kGostHash50};
  bool ok = true;
  for (int i = 0; i < 2; ++i) {
    const std::vector<uint8_t> message = Bytes(messages[i]), known = Bytes(results[i]);
    const std::vector<uint8_t> sbox = Bytes(kGostSbox);
    GOSHashContext context{};
    context.size = sizeof(GOSHashContext);
    context.substitution.count = kGosSubstitutionWords;
    std::memcpy(context.substitution.words, sbox.data(), sbox.size());
    GOSHash(message.data(), 7, &context);
    GOSHash(message.data() + 7, static_cast<uint32_t>(message.size() - 7), &context);
    GOSHashComplete(&context);
    ok = session.Same(test, context.hash, known.data(), known.size()) && ok;
  }
  return ok;
}

// The standard's p, q, a in a signature context.
GOSSignContext SignContext() {
  GOSSignContext context{};
  context.size = sizeof(GOSSignContext);
  NumberInto(reinterpret_cast<WordBlock*>(&context.p), 32, kSignP);
  NumberInto(reinterpret_cast<WordBlock*>(&context.q), 8, kSignQ);
  NumberInto(reinterpret_cast<WordBlock*>(&context.a), 32, kSignA);
  return context;
}

bool SignatureCheck(const Session& session, const char* test) {
  GOSSignContext context = SignContext();
  NumberInto(reinterpret_cast<WordBlock*>(&context.y), 32, kSignY);
  const std::vector<uint8_t> hash = Bytes(kSignHash), signature = Bytes(kSignSignature);
  std::memcpy(context.hash, hash.data(), hash.size());
  std::memcpy(context.signature, signature.data(), signature.size());
  const uint8_t valid = GOSSignCheck(&context) != 0 ? 1 : 0;
  context.signature[40] ^= 0x01;  // s altered
  const uint8_t altered = GOSSignCheck(&context) != 0 ? 1 : 0;
  const uint8_t outcome[2] = {valid, altered}, known[2] = {1, 0};
  return session.Same(test, outcome, known, sizeof known);
}

// A pairwise test of the generators: a new key pair signs, its public key checks.
bool KeyPairSignature(const Session&, const char*) {
  GOSPairContext pair{};
  pair.size = sizeof(GOSPairContext);
  GOSSignContext sign = SignContext();
  std::memcpy(&pair.p, &sign.p, sizeof pair.p);
  std::memcpy(&pair.q, &sign.q, sizeof pair.q);
  std::memcpy(&pair.a, &sign.a, sizeof pair.a);
  GOSSignGenPair(&pair);
  std::memcpy(&sign.x, &pair.x, sizeof sign.x);
  std::memcpy(&sign.y, &pair.y, sizeof sign.y);
  const std::vector<uint8_t> hash = Bytes(kSignHash);
  std::memcpy(sign.hash, hash.data(), hash.size());
  GOSSignGen(&sign);
  bool ok = GOSSignCheck(&sign) != 0;
  sign.hash[0] ^= 0x01;
  ok = ok && GOSSignCheck(&sign) == 0;
  SecureWipe(&pair, sizeof pair);
  SecureWipe(&sign, sizeof sign);
  return ok;
}

}  // namespace

void RunGostTests(Session& session) {
  constexpr Check kChecks[] = {
      {"GOST 28147-89 simple replacement", SimpleReplacement},
      {"GOST 28147-89 gamma", Gamma},
      {"GOST 28147-89 gamma with feedback", FeedbackGamma},
      {"GOST 28147-89 imitation insert", Imitation},
      {"GOST R 34.11-94", Hash},
      {"GOST R 34.10-94 signature check", SignatureCheck},
      {"GOST R 34.10-94 key pair and signature", KeyPairSignature},
  };
  session.RunAll(kChecks);
}

}  // namespace nc::selftest
