// The library's power-on self-test: known answers of every primitive it
// ships (DES, GOST 28147-89, GOST R 34.11-94, GOST R 34.10-94, RSA, the big
// numbers) and a health check of the random generator, run through the same
// entry points the operations call (on Windows, the companion DLLs).
#pragma once

#include <cstddef>
#include <cstdint>

namespace nc::selftest {

// Told the outcome of each test, once, in order.
using Report = void (*)(void* context, const char* test, bool passed);

// Compares a computed answer with the known one for the named test. The
// library compares exactly; a test of the self-test passes one that breaks
// the known answer of a chosen test, to see that failure reported.
using Compare = bool (*)(const char* test, const uint8_t* computed, const uint8_t* known,
                         size_t length);
bool CompareExactly(const char* test, const uint8_t* computed, const uint8_t* known, size_t length);

class Session;

// One test: its name and the check, which compares its known answers (if
// any) through Session::Same under that name.
struct Check {
  const char* test;
  bool (*run)(const Session& session, const char* test);
};

// One run: reports every test and counts the failures.
class Session {
 public:
  Session(Report report, void* context, Compare compare)
      : report_(report), context_(context), compare_(compare) {}
  // The known-answer comparison of `test`.
  bool Same(const char* test, const uint8_t* computed, const uint8_t* known, size_t length) const {
    return compare_(test, computed, known, length);
  }
  // Reports `test` with its outcome.
  void Result(const char* test, bool passed);
  // Runs the checks in order, reporting each.
  template <size_t N>
  void RunAll(const Check (&checks)[N]) {
    for (const Check& check : checks) Result(check.test, check.run(*this, check.test));
  }
  int failures() const { return failures_; }

 private:
  Report report_;
  void* context_;
  Compare compare_;
  int failures_ = 0;
};

// Runs every test; returns the number that failed.
int Run(Report report, void* context, Compare compare);

// The groups of tests, in the order they run.
void RunDesTests(Session& session);
void RunGostTests(Session& session);
void RunNumberTests(Session& session);
void RunRsaTests(Session& session);
void RunRandomHealthCheck(Session& session);

}  // namespace nc::selftest
