// The serial ports the system knows: entries of /sys/class/tty that have a device behind them.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "runtime/errorvalue.h"

inline constexpr const char* DefaultTtyClassDir = "/sys/class/tty";

// One step through an open directory: 1 with the next entry's name, 0 at its end, -errno when
// reading failed (readdir tells an error from the end only through errno).
using TDirectoryStep = std::function<int(std::string& name)>;
// Opens a directory for stepping; an empty step with `error` (errno) when it cannot.
using TDirectoryOpener = std::function<TDirectoryStep(const std::string& dir, int& error)>;
TDirectoryStep OpenDirectory(const std::string& dir, int& error);

// Fills `names` (unsorted) with the port names below `ttyClassDir`; false, with the cause in
// `error` when given and `names` left as it was, when the directory cannot be read to its end.
// An 8250 port whose `type` reads 0 has no UART behind it and is left out.
bool EnumerateSerialPorts(const std::string& ttyClassDir, std::vector<std::string>& names,
                          TPlatformError* error = nullptr, const TDirectoryOpener& open = OpenDirectory);
