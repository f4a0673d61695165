// Serial (and parallel) ports held exclusively, with the line settings a
// passive 1-Wire adapter needs.
//
// Ports are named as on Windows: "COM1", "COM2", ..., "LPT1", "LPT2", ...
//
// Windows: "\\.\COMn" and "\\.\LPTn" through CreateFileW (read and write,
// not shared, existing only) and the comm API.
//
// POSIX: a port name maps to a device path read from the settings store
// (platform/settings.h): key "SOFTWARE\NCCORE\SerialPorts", text value named
// after the port ("COM2" = "/dev/ttyUSB0"); without such a value "COMn" is
// /dev/ttyS<n-1>. Likewise "LPTn" from key "SOFTWARE\NCCORE\ParallelPorts",
// default /dev/parport<n-1>. The device is opened read-write, without
// becoming the controlling terminal, and held exclusively: an flock() lock
// (any other opener through this layer, in this or another process, is
// refused) and, for a terminal, TIOCEXCL (other openers that are not root
// are refused too), released on close.
#pragma once
#include <cstdint>
#include <string>

namespace nc::platform {

struct SerialPort;
using SerialPortHandle = SerialPort*;

// The Windows comm error bits that ClearSerialErrors reports.
inline constexpr std::uint32_t kSerialOverrun = 0x0002;  // CE_OVERRUN
inline constexpr std::uint32_t kSerialParity = 0x0004;   // CE_RXPARITY
inline constexpr std::uint32_t kSerialFraming = 0x0008;  // CE_FRAME
inline constexpr std::uint32_t kSerialBreak = 0x0010;    // CE_BREAK

// Null when the port cannot be opened, with the last error set:
// kErrorAccessDenied when someone else holds the port (or may not open it),
// kErrorFileNotFound when there is no such port, another code otherwise.
SerialPortHandle OpenSerialPort(const char* name);
// Releases the port (null is ignored).
void CloseSerialPort(SerialPortHandle port);

// The line of a passive 1-Wire adapter: 115200 baud, 8 data bits, no parity,
// 1 stop bit, binary, DTR and RTS on, no hardware or software flow control;
// a read or write of n bytes waits at most 500 ms per byte (total
// multipliers, no interval time-out). Where the platform has them (Windows):
// receive and transmit queues of 128 bytes, the event mask receive-character
// | transmit-empty | error, no DSR sensitivity, abort on error. Purges both
// directions.
bool ConfigureSerialPort(SerialPortHandle port);
// Changes the bit rate only (any rate, 14400 included), at once.
bool SetSerialBaud(SerialPortHandle port, std::uint32_t baud);
// Drops everything queued in both directions and aborts pending transfers.
bool PurgeSerialPort(SerialPortHandle port);
// Writes `size` bytes, waiting at most 500 ms per byte; *done tells how many
// went out. True also when the time ran out first; false on an error.
bool WriteSerialPort(SerialPortHandle port, const void* data, std::uint32_t size,
                     std::uint32_t* done);
// Reads up to `size` bytes, waiting at most 500 ms per byte asked for; *done
// tells how many came. True also when the time ran out first (as ReadFile
// with comm time-outs); false on an error (on Windows a line error after
// "abort on error", until ClearSerialErrors).
bool ReadSerialPort(SerialPortHandle port, void* data, std::uint32_t size, std::uint32_t* done);
// Clears the port's error state: *errors gets the comm error bits since the
// last call (POSIX reports none: a framing error or a break arrives as a 0
// byte there), *queued the number of received bytes waiting to be read.
bool ClearSerialErrors(SerialPortHandle port, std::uint32_t* errors, std::uint32_t* queued);

#ifndef _WIN32
// The device path a port name stands for on POSIX (see above); empty for a
// name that is no port name.
std::string SerialPortDevicePath(const char* name);
#endif

}  // namespace nc::platform
