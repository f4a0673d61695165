// The simulated ports (see serial_sim.h).
#include "testsupport/carriers/drivers/serial_sim.h"

#include "platform/last_error.h"

namespace nc::carriers::drivers {

namespace {

constexpr std::uint32_t kCommFraming = 0x0008;  // CE_FRAME

std::string Upper(const char* name) {
  std::string s = name != nullptr ? name : "";
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

bool Fail(std::uint32_t code) {
  platform::SetLastErrorCode(code);
  return false;
}

}  // namespace

void SimulatedPorts::AddPort(const std::string& name, PassiveAdapter* adapter) {
  std::lock_guard<std::mutex> lock(mutex_);
  ports_[Upper(name.c_str())].adapter = adapter;
}

bool SimulatedPorts::IsOpen(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto p = ports_.find(Upper(name.c_str()));
  return p != ports_.end() && p->second.open;
}

SimulatedPorts::Stats SimulatedPorts::stats(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto p = ports_.find(Upper(name.c_str()));
  return p == ports_.end() ? Stats() : p->second.stats;
}

// Handles are the addresses of the port records (std::map keeps them put).
SimulatedPorts::Port* SimulatedPorts::Find(PortHandle port) {
  for (auto& [name, p] : ports_) {
    if (reinterpret_cast<PortHandle>(&p) == port && p.open) return &p;
  }
  return nullptr;
}

PortHandle SimulatedPorts::Open(const char* name) {
  if (std::uint32_t error = switches_.Enter("serial.open"); error != 0) {
    platform::SetLastErrorCode(error);
    return kNoPort;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto p = ports_.find(Upper(name));
  if (p == ports_.end()) {
    platform::SetLastErrorCode(platform::kErrorFileNotFound);
    return kNoPort;
  }
  Port& port = p->second;
  if (port.open) {
    platform::SetLastErrorCode(platform::kErrorAccessDenied);
    return kNoPort;
  }
  port.open = true;
  port.input.clear();
  port.errors = 0;
  ++port.stats.opens;
  return reinterpret_cast<PortHandle>(&port);
}

void SimulatedPorts::Close(PortHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Port* port = Find(handle)) {
    port->open = false;
    port->input.clear();
  }
}

bool SimulatedPorts::Configure(PortHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* port = Find(handle);
  if (port == nullptr) return Fail(6);  // ERROR_INVALID_HANDLE
  ++port->stats.configures;
  port->baud = 115200;
  port->stats.rates.push_back(115200);
  port->input.clear();
  return true;
}

bool SimulatedPorts::SetBaud(PortHandle handle, std::uint32_t baud) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* port = Find(handle);
  if (port == nullptr) return Fail(6);
  port->baud = baud;
  port->stats.rates.push_back(baud);
  return true;
}

bool SimulatedPorts::Purge(PortHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* port = Find(handle);
  if (port == nullptr) return Fail(6);
  port->input.clear();
  return true;
}

bool SimulatedPorts::Write(PortHandle handle, const void* data, std::uint32_t size,
                           std::uint32_t* done) {
  *done = 0;
  switches_.Enter("serial.write");
  std::uint32_t framing = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Find(handle) == nullptr) return Fail(6);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::uint32_t i = 0; i < size; ++i) {
    PassiveAdapter* adapter;
    std::uint32_t baud;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Port* port = Find(handle);
      if (port == nullptr) return Fail(6);
      adapter = port->adapter;
      baud = port->baud;
    }
    // The adapter is asked outside the ports' lock (it has its own).
    std::optional<std::uint8_t> answer;
    if (adapter != nullptr) answer = adapter->Exchange(bytes[i], baud);
    if (answer && baud < 57600) framing = switches_.Enter("serial.framing");
    std::lock_guard<std::mutex> lock(mutex_);
    Port* port = Find(handle);
    if (port == nullptr) return Fail(6);
    if (answer) {
      port->input.push_back(*answer);
      if (framing != 0) port->framingPending = true;
    }
    ++*done;
  }
  return true;
}

bool SimulatedPorts::Read(PortHandle handle, void* data, std::uint32_t size, std::uint32_t* done) {
  *done = 0;
  switches_.Enter("serial.read");
  std::lock_guard<std::mutex> lock(mutex_);
  Port* port = Find(handle);
  if (port == nullptr) return Fail(6);
  if (port->errors != 0) return Fail(1117);  // ERROR_IO_DEVICE until the errors are cleared
  if (port->framingPending && !port->input.empty()) {
    port->framingPending = false;
    port->errors |= kCommFraming;
    return Fail(1117);
  }
  auto* bytes = static_cast<std::uint8_t*>(data);
  while (*done < size && !port->input.empty()) {
    bytes[(*done)++] = port->input.front();
    port->input.pop_front();
  }
  return true;
}

bool SimulatedPorts::ClearErrors(PortHandle handle, std::uint32_t* errors, std::uint32_t* queued) {
  *errors = 0;
  *queued = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  Port* port = Find(handle);
  if (port == nullptr) return Fail(6);
  *errors = port->errors;
  port->errors = 0;
  *queued = static_cast<std::uint32_t>(port->input.size());
  return true;
}

}  // namespace nc::carriers::drivers
