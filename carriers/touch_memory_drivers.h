// What the Touch Memory library uses below it: the VTMD driver, the TMEX
// module and the ports: those installed here (the test support installs its
// simulators this way, testsupport/carriers/touch_memory_sim.h), else the
// system's own.
#pragma once

#include "carriers/drivers/serial.h"
#include "carriers/drivers/tmex.h"
#include "carriers/drivers/vtmd.h"

namespace nc::carriers {

struct TouchMemoryDrivers {
  drivers::VtmdDriver* vtmd = nullptr;
  drivers::TmexModuleLoader* tmex = nullptr;
  drivers::SerialDriver* ports = nullptr;
};

// The drivers in use.
TouchMemoryDrivers CurrentTouchMemoryDrivers();
// Replaces the drivers; null members take the system's; a null argument
// goes back to the choice above. Shuts the library down first (as
// TmShutdown), so that nothing opened through the previous drivers is used
// with the new ones; the library changes drivers in the same way whenever
// the installed description changes.
void SetTouchMemoryDrivers(const TouchMemoryDrivers* drivers);

}  // namespace nc::carriers
