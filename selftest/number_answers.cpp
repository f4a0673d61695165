// The big-number routines on GOST R 34.10-94's example numbers (a has order
// q modulo p, so a^q mod p = 1 is the standard's own known answer), and a
// health test of the prime generator.
#include <cstring>
#include <vector>

#include "selftest/known_answer.h"
#include "selftest/self_test.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::selftest {
namespace {

using namespace answers;

bool SameNumber(const Session& session, const char* test, const WordBlock* computed,
                const WordBlock* known) {
  const std::vector<uint8_t> a = WordBytes(computed), b = WordBytes(known);
  return a.size() == b.size() && session.Same(test, a.data(), b.data(), a.size());
}

bool Power(const Session& session, const char* test) {
  auto p = Number<32>(kSignP), q = Number<32>(kSignQ), a = Number<32>(kSignA);
  auto x = Number<32>(kSignX), one = Number<32>(kNumberPowerQ), y = Number<32>(kNumberPowerX);
  WordBlockOf<32> result{};
  zq_emd(result.get(), a.get(), q.get(), p.get());
  bool ok = SameNumber(session, test, result.get(), one.get());
  zq_emd(result.get(), a.get(), x.get(), p.get());
  return SameNumber(session, test, result.get(), y.get()) && ok;
}

bool Remainder(const Session& session, const char* test) {
  auto q = Number<32>(kSignQ), a = Number<32>(kSignA), known = Number<32>(kNumberModQ);
  WordBlockOf<32> result{};
  zq_mod(result.get(), a.get(), q.get());
  return SameNumber(session, test, result.get(), known.get());
}

// zq_shr keeps the count: compare the words of p's 16.
bool Shift(const Session& session, const char* test) {
  auto p = Number<32>(kSignP), known = Number<32>(kNumberShift37);
  zq_shr(p.get(), 37);
  known.count = p.count;
  return p.count == 16 && SameNumber(session, test, p.get(), known.get());
}

bool LengthAndCopy(const Session& session, const char* test) {
  auto p = Number<32>(kSignP), q = Number<32>(kSignQ);
  WordBlockOf<32> copy{};
  zq_mov(copy.get(), p.get());
  const uint32_t lengths[3] = {zq_bit(p.get()), zq_bit(q.get()), zq_bit(copy.get())};
  const uint32_t known[3] = {512, 256, 512};
  return session.Same(test, reinterpret_cast<const uint8_t*>(lengths),
                      reinterpret_cast<const uint8_t*>(known), sizeof known) &&
         SameNumber(session, test, copy.get(), p.get());
}

// A new prime of 256 bits: its length, odd, and Fermat's test to bases 2 and 3.
bool PrimeGeneration(const Session&, const char*) {
  WordBlockOf<8> n{};
  if (zq_prime(n.get(), 256) != 0 || zq_bit(n.get()) != 256 || (n.words[0] & 1) == 0) return false;
  WordBlockOf<8> exponent = n, result{};
  exponent.words[0] -= 1;  // n is odd: no borrow
  for (uint32_t base : {2u, 3u}) {
    WordBlockOf<1> b{1, {base}};
    zq_emd(result.get(), b.get(), exponent.get(), n.get());
    if (result.count != 1 || result.words[0] != 1) return false;
  }
  return true;
}

}  // namespace

void RunNumberTests(Session& session) {
  constexpr Check kChecks[] = {
      {"big numbers: modular power", Power},
      {"big numbers: remainder", Remainder},
      {"big numbers: shift", Shift},
      {"big numbers: bit length and copy", LengthAndCopy},
      {"big numbers: prime generation", PrimeGeneration},
  };
  session.RunAll(kChecks);
}

}  // namespace nc::selftest
