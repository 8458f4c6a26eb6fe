// The console's real ends: the serial port component and the client socket component with the
// values of the window's form resource, behind the contracts the window uses.
#pragma once
#include <string>
#include <vector>

#include "main/formmain.h"

// Ports from /sys/class/tty (or another tty class directory, for tests).
TPortSource SysfsPortSource(std::string ttyClassDir = "/sys/class/tty");
// A fixed list of names or absolute device paths.
TPortSource FixedPortSource(std::vector<std::string> names);

TFormMainParts MakeConsoleParts(TPortSource ports);
