// The Touch Memory simulators together: one reader (a 1-Wire line with the
// devices on it) served by a simulated VTMD driver, a simulated TMEX module
// and simulated ports with passive serial adapters, plus the switches that
// make their calls fail or fault (testsupport/carriers/drivers/*_sim.h).
//
// Tests build a SimulatedTouchMemory, describe the set-up through it and
// install it (ScopedSimulatedTouchMemory). A description file given to the
// demonstration host (testsupport/carriers/simulated_devices.h) may hold a
// [touchmemory] section:
//
//   [touchmemory]
//   device = 01 1c b8 01 00 00 00 a2   a device on the reader (8 bytes, hex;
//                                      7 bytes: the CRC-8 is added); the key
//                                      may repeat (several devices)
//   driver = yes                       the VTMD driver's device opens (no:
//                                      "driver not loaded")
//   platform = nt                      nt or 9x: which parameters key the
//                                      driver reports
//   tmex = yes                         the TMEX module loads
//   tmex.missing = TMRom               an entry point the module lacks
//   tmex.ports = 1 2 3 4               TMEX port numbers with an adapter
//   adapter = COM2                     a passive serial adapter on COM2
//                                      (repeatable)
//   port = LPT1                        a port that exists, nothing answering
//                                      (repeatable)
//   corrupt = 3:0x10                   ROM byte 3 goes wrong on the line
//   fail.<call> = 5 5                  the next results of <call>
//   always.<call> = 5                  the result of every later <call>
//   fault = <call>                     an access violation inside <call>
//
// Calls and their results: testsupport/carriers/drivers/vtmd_sim.h, tmex_sim.h,
// serial_sim.h. The adapter type and "TMEX" switch are not part of the
// description: the library reads them from the settings store as always.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "carriers/drivers/carrier_drivers.h"
#include "testsupport/carriers/drivers/serial_onewire_sim.h"
#include "testsupport/carriers/drivers/serial_sim.h"
#include "testsupport/carriers/drivers/tmex_sim.h"
#include "testsupport/carriers/drivers/vtmd_sim.h"

namespace nc::carriers {

class SimulatedTouchMemory {
 public:
  SimulatedTouchMemory();
  SimulatedTouchMemory(const SimulatedTouchMemory&) = delete;
  SimulatedTouchMemory& operator=(const SimulatedTouchMemory&) = delete;

  drivers::OneWireLine& line() { return line_; }
  drivers::SimSwitches& switches() { return switches_; }
  drivers::SimulatedVtmdDriver& vtmd() { return vtmd_; }
  drivers::SimulatedTmexModule& tmex() { return tmex_; }
  drivers::SimulatedPorts& ports() { return ports_; }

  // The devices on the reader (none: the reader is empty).
  void SetDevices(std::vector<drivers::RomCode> devices) { line_.SetDevices(std::move(devices)); }
  // A passive adapter on port `name` (the adapter is owned here).
  drivers::PassiveAdapter& AddAdapter(const std::string& name);
  // A port that exists with nothing answering on it.
  void AddPort(const std::string& name) { ports_.AddPort(name); }

  drivers::TouchMemoryDrivers drivers();

 private:
  drivers::OneWireLine line_;
  drivers::SimSwitches switches_;
  drivers::SimulatedVtmdDriver vtmd_;
  drivers::SimulatedTmexModule tmex_;
  drivers::SimulatedPorts ports_;
  std::vector<std::unique_ptr<drivers::PassiveAdapter>> adapters_;
};

// Installs `drivers` for the Touch Memory library (TmShutdown first; empty:
// the system's), keeping the other carriers' drivers as installed.
void InstallTouchMemoryDrivers(const drivers::TouchMemoryDrivers& drivers);

// Installs the simulators for the Touch Memory library (TmShutdown first),
// and puts the system's drivers back afterwards.
class ScopedSimulatedTouchMemory {
 public:
  explicit ScopedSimulatedTouchMemory(SimulatedTouchMemory& sim);
  ScopedSimulatedTouchMemory(const ScopedSimulatedTouchMemory&) = delete;
  ScopedSimulatedTouchMemory& operator=(const ScopedSimulatedTouchMemory&) = delete;
  ~ScopedSimulatedTouchMemory();
};

// Sets `sim` up from the lines of a [touchmemory] section (name = value
// pairs, in order); false with a message naming the entry when one does not
// parse.
bool ConfigureTouchMemorySimulation(const std::vector<std::pair<std::string, std::string>>& lines,
                                    SimulatedTouchMemory* sim, std::string* error);

}  // namespace nc::carriers
