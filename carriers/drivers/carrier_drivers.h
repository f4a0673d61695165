// Which drivers the carrier layers use, for all four families at once: the
// NorvexQuadra and Activator/M clients, the Tessel driver and what the
// Touch Memory library uses below it. Whatever is not installed is the
// system's own (for the two dongles, which have no client on these
// systems, a client that finds none). The test support installs its
// simulators here; the library itself never does.
#pragma once

#include "carriers/drivers/activator_client.h"
#include "carriers/drivers/quadra_client.h"
#include "carriers/drivers/serial.h"
#include "carriers/drivers/tessel_driver.h"
#include "carriers/drivers/tmex.h"
#include "carriers/drivers/vtmd.h"

namespace nc::carriers::drivers {

// What the Touch Memory library uses below it: the VTMD driver, the TMEX
// module and the ports.
struct TouchMemoryDrivers {
  VtmdDriver* vtmd = nullptr;
  TmexModuleLoader* tmex = nullptr;
  SerialDriver* ports = nullptr;
};

struct CarrierDrivers {
  QuadraClient* quadra = nullptr;
  ActivatorClient* activator = nullptr;
  TesselDriver* tessel = nullptr;
  TouchMemoryDrivers touchMemory;
};

// Installs a copy of `drivers`: each null member, and everything when
// `drivers` is null, is the real driver again. Before it returns, the
// layers above let go of what they opened through the drivers installed
// before (the Touch Memory library shuts down, as TmShutdown), so those may
// be destroyed afterwards; installed objects must live until then.
void InstallCarrierDrivers(const CarrierDrivers* drivers);

// A copy of the record installed last (all null when none is).
CarrierDrivers InstalledCarrierDrivers();

// Where a layer above that keeps state opened through the drivers hears of
// an installation: InstallCarrierDrivers calls `release` once the new
// record is in place, while the previous drivers still exist. One such
// layer: the Touch Memory library.
void SetDriverReleaseHook(void (*release)());

}  // namespace nc::carriers::drivers
