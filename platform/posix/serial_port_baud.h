// Bit rates of a terminal device, any rate included (14400 has no B
// constant on Linux). Shared by the serial port and by tests that watch the
// rate a port was set to (a pseudo-terminal keeps the rate it is given).
#pragma once
#include <cstdint>

namespace nc::platform::posix {

// Sets input and output rate at once (TCSANOW). False with errno set.
bool SetTerminalBaud(int fd, std::uint32_t baud);
// The output rate the terminal is set to.
bool GetTerminalBaud(int fd, std::uint32_t* baud);

}  // namespace nc::platform::posix
