// Serial and parallel ports on Windows: the device names and the comm API.
#include "platform/serial_port.h"

#include <cstring>
#include <string>

#include "platform/win32/windows_api.h"

namespace nc::platform {

struct SerialPort {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

constexpr DWORD kBaud = 115200;
constexpr DWORD kQueueSize = 128;
constexpr DWORD kEventMask = EV_RXCHAR | EV_TXEMPTY | EV_ERR;  // 0x85
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

bool Invalid(SerialPortHandle port) {
  if (port != nullptr) return false;
  ::SetLastError(ERROR_INVALID_HANDLE);
  return true;
}

}  // namespace

SerialPortHandle OpenSerialPort(const char* name) {
  if (name == nullptr || *name == '\0' || std::strlen(name) > 16) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  // "\\.\" reaches COM10 and above too.
  std::wstring path = L"\\\\.\\";
  for (const char* p = name; *p != '\0'; ++p) path += static_cast<wchar_t>(*p);
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;  // the last error tells why
  auto* port = new SerialPort;
  port->handle = handle;
  return port;
}

void CloseSerialPort(SerialPortHandle port) {
  if (port == nullptr) return;
  ::CloseHandle(port->handle);
  delete port;
}

bool ConfigureSerialPort(SerialPortHandle port) {
  if (Invalid(port)) return false;
  HANDLE h = port->handle;
  if (!::SetCommMask(h, kEventMask) || !::SetupComm(h, kQueueSize, kQueueSize) ||
      !::PurgeComm(h, kPurgeAll)) {
    return false;
  }
  COMMTIMEOUTS timeouts{};
  timeouts.ReadTotalTimeoutMultiplier = 500;
  timeouts.WriteTotalTimeoutMultiplier = 500;
  if (!::SetCommTimeouts(h, &timeouts)) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) return false;
  dcb.BaudRate = kBaud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fAbortOnError = TRUE;
  return ::SetCommState(h, &dcb) != FALSE;
}

bool SetSerialBaud(SerialPortHandle port, std::uint32_t baud) {
  if (Invalid(port)) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(port->handle, &dcb)) return false;
  dcb.BaudRate = baud;
  return ::SetCommState(port->handle, &dcb) != FALSE;
}

bool PurgeSerialPort(SerialPortHandle port) {
  if (Invalid(port)) return false;
  return ::PurgeComm(port->handle, kPurgeAll) != FALSE;
}

bool WriteSerialPort(SerialPortHandle port, const void* data, std::uint32_t size,
                     std::uint32_t* done) {
  *done = 0;
  if (Invalid(port)) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(port->handle, data, size, &written, nullptr);
  *done = written;
  return ok != FALSE;
}

bool ReadSerialPort(SerialPortHandle port, void* data, std::uint32_t size, std::uint32_t* done) {
  *done = 0;
  if (Invalid(port)) return false;
  DWORD read = 0;
  BOOL ok = ::ReadFile(port->handle, data, size, &read, nullptr);
  *done = read;
  return ok != FALSE;
}

bool ClearSerialErrors(SerialPortHandle port, std::uint32_t* errors, std::uint32_t* queued) {
  *errors = 0;
  *queued = 0;
  if (Invalid(port)) return false;
  DWORD flags = 0;
  COMSTAT status{};
  if (!::ClearCommError(port->handle, &flags, &status)) return false;
  *errors = flags;
  *queued = status.cbInQue;
  return true;
}

}  // namespace nc::platform
