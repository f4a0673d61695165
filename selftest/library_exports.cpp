// The library's version and its self-test, exported beside the operations.
#include "nccore21.h"
#include "nccore21_build.h"
#include "selftest/self_test.h"

namespace {

#if defined(_WIN64)
#define NCCORE_PLATFORM "windows-x86_64"
#elif defined(_WIN32)
#define NCCORE_PLATFORM "windows-x86"
#elif defined(__linux__) && defined(__x86_64__)
#define NCCORE_PLATFORM "linux-x86_64"
#elif defined(__linux__) && defined(__i386__)
#define NCCORE_PLATFORM "linux-x86"
#elif defined(__linux__) && defined(__aarch64__)
#define NCCORE_PLATFORM "linux-arm64"
#else
#define NCCORE_PLATFORM "other"
#endif

struct Forward {
  Nccore21SelfTestReport report;
  void* context;
};

void ForwardResult(void* context, const char* test, bool passed) {
  const Forward* forward = static_cast<const Forward*>(context);
  if (forward->report != nullptr) forward->report(forward->context, test, passed ? 1 : 0);
}

}  // namespace

extern "C" NCEXPORT const char* NCAPI nccore21_version(void) {
  return NCCORE_VERSION " (build " NCCORE_BUILD ", " NCCORE_PLATFORM ")";
}

extern "C" NCEXPORT int32_t NCAPI nccore21_self_test(Nccore21SelfTestReport report, void* context) {
  Forward forward{report, context};
  return nc::selftest::Run(ForwardResult, &forward, nc::selftest::CompareExactly);
}
