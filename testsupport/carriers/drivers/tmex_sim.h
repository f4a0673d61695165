// The TMEX module simulated over a 1-Wire line (serial_onewire_sim.h): the
// eight entry points, resolved by name like those of a loaded library.
//
//   TMExtendedStartSession(port, type, options)  a new session (positive)
//       for a port number that has an adapter; 0 when that port already has
//       a session; -1 for a port without an adapter.
//   TMSetup  1.  TMFirst  1 when a device answers a reset, else 0.
//   TMRom    the ROM code of the device found (every device on the reader
//            is read at once, as on the line) in the low bytes of eight
//            16-bit values; the high bytes hold 0x5A, which a caller must
//            ignore. 1.
//   TMTouchReset  1 when a device answers, else 0.  TMTouchByte  the byte
//            read back over 8 slots.  TMClose  1.  TMEndSession  1.
// Calls with a session that is not open return -200.
//
// Switches (SimSwitches): "tmex.load" (nonzero: the module is missing),
// "tmex.port_busy" (nonzero: the start returns 0); for "tmex.start_session",
// "tmex.setup", "tmex.first", "tmex.rom", "tmex.touch_reset" a nonzero
// result is what the entry point returns instead (taken as a signed 32- or
// 16-bit value). Every entry point's name ("tmex.first", ...) can be the
// fault's. Only one simulated module can be loaded at a time.
#pragma once
#include <map>
#include <set>
#include <string>

#include "testsupport/carriers/drivers/serial_onewire_sim.h"
#include "carriers/drivers/tmex.h"

namespace nc::carriers::drivers {

class SimulatedTmexModule final : public TmexModuleLoader {
 public:
  SimulatedTmexModule(OneWireLine& line, SimSwitches& switches);
  ~SimulatedTmexModule() override;

  void SetInstalled(bool installed);
  // An entry point the module does not export (empty: none missing).
  void SetMissingEntry(const std::string& name);
  // Port numbers with an adapter (default 1..4).
  void SetPorts(std::set<int> ports);

  void* Load() override;
  void* Resolve(void* module, const char* name) override;
  void Free(void* module) override;

  int loads() const;  // modules loaded and not freed
  int openSessions() const;
  // The port number and type of the last session start.
  int lastPortNumber() const;
  int lastPortType() const;

  // The entry points' work (public for the entry points only).
  std::int32_t StartSession(std::int16_t port, std::int16_t type);
  std::int16_t EndSession(std::int32_t session);
  std::int16_t Setup(std::int32_t session);
  std::int16_t Close(std::int32_t session);
  std::int16_t First(std::int32_t session, void* state);
  std::int16_t Rom(std::int32_t session, void* state, std::int16_t* rom);
  std::int16_t TouchReset(std::int32_t session);
  std::int16_t TouchByte(std::int32_t session, std::int16_t byte);

 private:
  bool Open(std::int32_t session) const;
  OneWireLine& line_;
  SimSwitches& switches_;
  mutable std::mutex mutex_;
  bool installed_ = true;
  std::string missing_;
  std::set<int> ports_ = {1, 2, 3, 4};
  int loads_ = 0;
  std::int32_t nextSession_ = 0x1000;
  std::map<std::int32_t, int> sessions_;  // session -> port
  int lastPort_ = 0;
  int lastType_ = 0;
};

}  // namespace nc::carriers::drivers
