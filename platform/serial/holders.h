// Who else has a device: the owner of a lock on it, or a process that holds it open. Looked up
// before the device is opened, because opening a serial port raises DTR and RTS, which resets
// many attached devices under the program that has them.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

// The process holding a flock, POSIX or open-file lock on the inode (`fsDevice` is the st_dev of
// the file system it lives on), as `locksTable` (the kernel's /proc/locks) lists it; 0 when none.
long LockHolder(dev_t fsDevice, ino_t inode, const std::string& locksTable = "/proc/locks");
// Another process that has `devicePath` (the real path) open; 0 when none can be seen (without
// root only one's own processes can).
long ProcessHoldingOpen(const std::string& devicePath);
// Pseudo-terminal slaves: the program that owns the master customarily keeps its slave open too
// (so the terminal does not hang up between users), which is no claim on the port.
bool IsPseudoTerminalSlave(dev_t device);
// True for a character device of the tty subsystem (serial ports, pseudo-terminal slaves).
// `node` is the device's stat, filled whenever stat succeeded; `error` the errno when it did not.
bool IsTerminalDevice(const std::string& devicePath, struct stat& node, int& error);
