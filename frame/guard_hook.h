// A place inside every operation's guarded work (platform/exception_guard.h)
// where a test may make the work fault on purpose.
#pragma once

namespace nc::frame {

// Called by every operation inside its guarded work; does nothing unless a
// test installed a hook (which may then fault on purpose).
void GuardedFaultPoint();
void SetGuardedFaultHookForTests(void (*hook)());

}  // namespace nc::frame
