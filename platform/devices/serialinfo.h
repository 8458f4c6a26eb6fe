// What the system says about a serial port beyond its name: its /dev/serial/by-id link and the
// maker, product and serial number of the USB device behind it.
#pragma once
#include <string>

struct TSerialPortInfo {
  std::string byIdLink;  // the link's full path; empty when the port has none
  std::string maker;
  std::string product;
  std::string serial;
};

// `device` is the device's name below `devDir` ("ttyUSB0"); a tree other than /dev and
// /sys/class/tty may be given for tests.
TSerialPortInfo DescribeSerialPort(const std::string& device, const std::string& devDir = "/dev",
                                   const std::string& ttyClassDir = "/sys/class/tty");

// The device name a by-id link points to now ("ttyUSB1"); empty when the link is gone.
std::string ResolveByIdLink(const std::string& link);
