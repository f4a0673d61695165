#include "frame/guard_hook.h"

#include <atomic>

namespace nc::frame {

namespace {
std::atomic<void (*)()> g_hook{nullptr};
}

void GuardedFaultPoint() {
  if (auto hook = g_hook.load()) hook();
}

void SetGuardedFaultHookForTests(void (*hook)()) { g_hook.store(hook); }

}  // namespace nc::frame
