// DES in every mode and unit size, the CBC routine and the keyed hash, on
// the example of FIPS 81 (key 0123456789abcdef, vector 1234567890abcdef,
// "Now is the time for all "). Each test enciphers, compares with the known
// ciphertext, and deciphers back.
#include <cstring>
#include <vector>

#include "selftest/known_answer.h"
#include "selftest/self_test.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::selftest {
namespace {

using namespace answers;

struct ModeAnswer {
  const char* test;
  uint32_t mode;
  uint32_t unit;
  const char* ciphertext;
};

constexpr ModeAnswer kModes[] = {
    {"DES ECB", kDesEcb, 8, kDesEcbAnswer}, {"DES CBC", kDesCbc, 8, kDesCbcAnswer},
    {"DES CFB-8", kDesCfb, 1, kDesCfb8},    {"DES CFB-16", kDesCfb, 2, kDesCfb16},
    {"DES CFB-24", kDesCfb, 3, kDesCfb24},  {"DES CFB-32", kDesCfb, 4, kDesCfb32},
    {"DES CFB-40", kDesCfb, 5, kDesCfb40},  {"DES CFB-48", kDesCfb, 6, kDesCfb48},
    {"DES CFB-56", kDesCfb, 7, kDesCfb56},  {"DES CFB-64", kDesCfb, 8, kDesCfb64},
    {"DES OFB-8", kDesOfb, 1, kDesOfb8},    {"DES OFB-16", kDesOfb, 2, kDesOfb16},
    {"DES OFB-24", kDesOfb, 3, kDesOfb24},  {"DES OFB-32", kDesOfb, 4, kDesOfb32},
    {"DES OFB-40", kDesOfb, 5, kDesOfb40},  {"DES OFB-48", kDesOfb, 6, kDesOfb48},
    {"DES OFB-56", kDesOfb, 7, kDesOfb56},  {"DES OFB-64", kDesOfb, 8, kDesOfb64},
};

DesJobContext Job(uint32_t operation, uint32_t mode, uint32_t unit) {
  DesJobContext job{};
  job.size = sizeof(DesJobContext);
  job.operation = operation;
  job.mode = mode;
  job.unitSize = unit;
  job.key.count = 2;
  std::vector<uint8_t> key = Bytes(kDesKey), iv = Bytes(kDesIv);
  std::memcpy(job.key.key, key.data(), 8);
  std::memcpy(job.iv, iv.data(), 8);
  std::memcpy(job.chaining, iv.data(), 8);
  return job;
}

// Enciphers the example in two chunks (the running state must carry across
// them), compares, and deciphers in one call.
bool ModeRoundTrip(const Session& session, const ModeAnswer& answer) {
  const std::vector<uint8_t> text = Bytes(kDesText), known = Bytes(answer.ciphertext);
  std::vector<uint8_t> data = text;
  const uint32_t split = answer.mode <= kDesCbc ? 16 : 11;
  DesJobContext job = Job(kDesEncipher, answer.mode, answer.unit);
  bool ok = DESExec(data.data(), split, &job) == kDesExecOk &&
            DESExec(data.data() + split, static_cast<uint32_t>(data.size() - split), &job) ==
                kDesExecOk &&
            session.Same(answer.test, data.data(), known.data(), known.size());
  job = Job(kDesDecipher, answer.mode, answer.unit);
  ok = ok && DESExec(data.data(), static_cast<uint32_t>(data.size()), &job) == kDesExecOk &&
       data == text;
  SecureWipe(&job, sizeof job);
  return ok;
}

bool CbcRoutine(const Session& session, const char* test) {
  const std::vector<uint8_t> text = Bytes(kDesText), known = Bytes(kDesCbcAnswer);
  const std::vector<uint8_t> key = Bytes(kDesKey), iv = Bytes(kDesIv);
  DesKeyContext context{};
  context.count = 2;
  std::memcpy(context.key, key.data(), 8);
  DESEdk(&context);
  std::vector<uint8_t> data = text;
  DESCbc(data.data(), static_cast<uint32_t>(data.size()), &context, iv.data(), 1);
  bool ok = session.Same(test, data.data(), known.data(), known.size());
  DESCbc(data.data(), static_cast<uint32_t>(data.size()), &context, iv.data(), 2);
  SecureWipe(&context, sizeof context);
  return ok && data == text;
}

bool KeyedHash(const Session& session, const char* test) {
  const std::vector<uint8_t> text = Bytes(kDesText), known = Bytes(kDesKeyedHash);
  DesJobContext job = Job(kDesHash, 0, 0);
  std::vector<uint8_t> data = text;
  bool ok = DESExec(data.data(), 5, &job) == kDesExecOk &&
            DESExec(data.data() + 5, static_cast<uint32_t>(data.size() - 5), &job) == kDesExecOk &&
            session.Same(test, job.chaining, known.data(), known.size());
  SecureWipe(&job, sizeof job);
  return ok && data == text;  // hashing leaves the data as it was
}

}  // namespace

void RunDesTests(Session& session) {
  for (const ModeAnswer& answer : kModes)
    session.Result(answer.test, ModeRoundTrip(session, answer));
  constexpr Check kChecks[] = {{"DES CBC routine", CbcRoutine}, {"DES keyed hash", KeyedHash}};
  session.RunAll(kChecks);
}

}  // namespace nc::selftest
