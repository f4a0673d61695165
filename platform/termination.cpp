// Termination scopes (platform/termination.h): counting the scopes, the word
// that receives the cancel, and the request flag. How requests arrive is
// the platform's (platform/termination_backend.h).
#include "platform/termination.h"

#include <atomic>
#include <mutex>

#include "platform/termination_backend.h"

namespace nc::platform {

namespace {

std::atomic<bool> g_requested{false};
std::atomic<ProgressWord*> g_word{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<ProgressWord*>::is_always_lock_free);

std::mutex g_lock;  // the scopes' count, and taking and giving back
int g_users = 0;

}  // namespace

void termination::Record() {
  g_requested.store(true);
  if (ProgressWord* word = g_word.load()) word->fetch_or(kProgressCancel);
}

TerminationScope::TerminationScope(ProgressWord* word) {
  std::lock_guard<std::mutex> lock(g_lock);
  previousWord_ = g_word.load();
  if (word != nullptr) g_word.store(word);
  if (g_users++ > 0) return;
  g_requested.store(false);
  termination::Take();
}

TerminationScope::~TerminationScope() {
  {
    std::lock_guard<std::mutex> lock(g_lock);
    g_word.store(previousWord_);
    if (--g_users > 0) return;
    g_word.store(nullptr);
    termination::GiveBack();
    g_requested.store(false);
  }
  termination::AfterLastScope();
}

bool TerminationRequested() { return g_requested.load(); }

}  // namespace nc::platform
