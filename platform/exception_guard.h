// Runs an operation's work so that an access violation or an illegal
// instruction inside it ends the work instead of the process. Other faults,
// and faults on other threads, go on to whatever handled them before.
//
// The work's own stack frames are abandoned when a fault is caught: keep
// everything that needs cleaning up (handles, outputs, secrets) in a record
// owned by the caller of RunGuarded, not in locals of the work.
#pragma once

namespace nc::platform {

using GuardedWork = void (*)(void* context);

// Returns true when `work` returned, false when a fault was caught.
[[nodiscard]] bool RunGuarded(GuardedWork work, void* context);

}  // namespace nc::platform
