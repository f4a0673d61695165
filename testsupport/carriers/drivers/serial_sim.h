// Ports simulated in-process: ports that exist (COMn, LPTn), some with a
// passive 1-Wire adapter (serial_onewire_sim.h). Opening is exclusive as on
// Windows: a held port refuses a second open with error 5, a port that does
// not exist fails with error 2. Bytes written to an adapter's port come
// back at once as the adapter answers them at the rate set; a read takes
// what is there and returns short (a time-out, without waiting) when less
// is there.
//
// Switches (SimSwitches): "serial.open" (nonzero: the open fails with that
// Windows error); "serial.framing" (nonzero: the next reset's answer comes
// with a framing error: the read fails and ClearErrors reports the error
// with the byte still queued, as the comm API does after "abort on error").
// "serial.read" and "serial.write" can be the fault's.
#pragma once
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "carriers/drivers/serial.h"
#include "testsupport/carriers/drivers/serial_onewire_sim.h"

namespace nc::carriers::drivers {

class SimulatedPorts final : public SerialDriver {
 public:
  explicit SimulatedPorts(SimSwitches& switches) : switches_(switches) {}

  // A port that exists, with `adapter` on it (null: nothing answers).
  void AddPort(const std::string& name, PassiveAdapter* adapter = nullptr);

  bool IsOpen(const std::string& name) const;
  // What happened on a port.
  struct Stats {
    int opens = 0;
    int configures = 0;
    std::vector<std::uint32_t> rates;  // every rate set, in order
  };
  Stats stats(const std::string& name) const;

  PortHandle Open(const char* name) override;
  void Close(PortHandle port) override;
  bool Configure(PortHandle port) override;
  bool SetBaud(PortHandle port, std::uint32_t baud) override;
  bool Purge(PortHandle port) override;
  bool Write(PortHandle port, const void* data, std::uint32_t size, std::uint32_t* done) override;
  bool Read(PortHandle port, void* data, std::uint32_t size, std::uint32_t* done) override;
  bool ClearErrors(PortHandle port, std::uint32_t* errors, std::uint32_t* queued) override;

 private:
  struct Port {
    PassiveAdapter* adapter = nullptr;
    bool open = false;
    std::uint32_t baud = 9600;
    std::deque<std::uint8_t> input;
    bool framingPending = false;  // the next answer arrives with a framing error
    std::uint32_t errors = 0;     // comm error bits not yet cleared
    Stats stats;
  };
  Port* Find(PortHandle port);

  SimSwitches& switches_;
  mutable std::mutex mutex_;
  std::map<std::string, Port> ports_;  // by upper-case name
};

}  // namespace nc::carriers::drivers
