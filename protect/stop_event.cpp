// Placeholder, replaced by the real implementation.
#include "protect/stop_event.h"
namespace nc::protect {
void StopEvent::Signal() {}
bool StopEvent::Wait(std::uint32_t) { return false; }
bool StopEvent::Signalled() { return false; }
}  // namespace nc::protect
