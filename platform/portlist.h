// The serial ports the system knows: entries of /sys/class/tty that have a device behind them.
#pragma once
#include <string>
#include <vector>

inline constexpr const char* DefaultTtyClassDir = "/sys/class/tty";

// Fills `names` (unsorted) with the port names below `ttyClassDir`; false when it cannot be read.
// An 8250 port whose `type` reads 0 has no UART behind it and is left out.
bool EnumerateSerialPorts(const std::string& ttyClassDir, std::vector<std::string>& names);
