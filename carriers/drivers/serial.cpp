// The system's ports through platform/serial_port.h.
#include "carriers/drivers/serial.h"

#include "platform/serial_port.h"

namespace nc::carriers::drivers {

namespace {

platform::SerialPortHandle Port(PortHandle port) {
  return reinterpret_cast<platform::SerialPortHandle>(port);
}

class SystemPorts final : public SerialDriver {
 public:
  PortHandle Open(const char* name) override {
    return reinterpret_cast<PortHandle>(platform::OpenSerialPort(name));
  }
  void Close(PortHandle port) override { platform::CloseSerialPort(Port(port)); }
  bool Configure(PortHandle port) override { return platform::ConfigureSerialPort(Port(port)); }
  bool SetBaud(PortHandle port, std::uint32_t baud) override {
    return platform::SetSerialBaud(Port(port), baud);
  }
  bool Purge(PortHandle port) override { return platform::PurgeSerialPort(Port(port)); }
  bool Write(PortHandle port, const void* data, std::uint32_t size, std::uint32_t* done) override {
    return platform::WriteSerialPort(Port(port), data, size, done);
  }
  bool Read(PortHandle port, void* data, std::uint32_t size, std::uint32_t* done) override {
    return platform::ReadSerialPort(Port(port), data, size, done);
  }
  bool ClearErrors(PortHandle port, std::uint32_t* errors, std::uint32_t* queued) override {
    return platform::ClearSerialErrors(Port(port), errors, queued);
  }
};

}  // namespace

SerialDriver& SystemSerialDriver() {
  static SystemPorts ports;
  return ports;
}

}  // namespace nc::carriers::drivers
