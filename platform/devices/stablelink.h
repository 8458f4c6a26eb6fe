// Finding a serial device again after it went away: USB adapters come back under whatever
// ttyUSBn is free, but udev gives each a link below /dev/serial/by-id named after the adapter.
#pragma once
#include <string>

inline constexpr const char* DefaultByIdDir = "/dev/serial/by-id";

// The name that finds this port's device again: the port name itself when it already is a link,
// else a link below `byIdDir` that leads to the same device, else the device's own path. A name
// without a slash is first looked for below `byIdDir` (an adapter named by its by-id name, which
// is also what such a name stands for while the adapter is away).
std::string StableDeviceName(const std::string& portName, const std::string& byIdDir = DefaultByIdDir);
// Whether `path` leads (through links) to a character device right now.
bool CharacterDevicePresent(const std::string& path);
