// Waits on POSIX descriptors that end early when a termination request
// arrives (platform/termination.h): the terminal, a password descriptor.
#pragma once

namespace nc::platform {

// A descriptor that becomes readable when a request arrives while a scope
// lives, for waits that poll several descriptors; -1 outside a scope. It is
// never drained while the scope lives, so every waiter sees it.
int TerminationDescriptor();

// Waits until `fd` has something to read (or is at its end, or in error);
// false when a termination request came first.
bool WaitForInput(int fd);

}  // namespace nc::platform
