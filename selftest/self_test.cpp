#include "selftest/self_test.h"

#include <cstring>

namespace nc::selftest {

bool CompareExactly(const char*, const uint8_t* computed, const uint8_t* known, size_t length) {
  return std::memcmp(computed, known, length) == 0;
}

void Session::Result(const char* test, bool passed) {
  if (!passed) ++failures_;
  if (report_ != nullptr) report_(context_, test, passed);
}

int Run(Report report, void* context, Compare compare) {
  Session session(report, context, compare);
  RunDesTests(session);
  RunGostTests(session);
  RunNumberTests(session);
  RunRsaTests(session);
  RunRandomHealthCheck(session);
  return session.failures();
}

}  // namespace nc::selftest
