#include "platform/devices/stablelink.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "platform/serial/backend.h"

namespace {
bool SameDevice(const struct stat& a, const std::string& path) {
  struct stat b {};
  return stat(path.c_str(), &b) == 0 && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
}

bool IsLink(const std::string& path) {
  struct stat s {};
  return lstat(path.c_str(), &s) == 0 && S_ISLNK(s.st_mode);
}
}  // namespace

bool CharacterDevicePresent(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 && S_ISCHR(s.st_mode);
}

std::string StableDeviceName(const std::string& portName, const std::string& byIdDir) {
  if (portName.empty()) return portName;
  if (portName.find('/') == std::string::npos) {
    const std::string named = byIdDir + "/" + portName;
    if (IsLink(named)) return named;
    // An adapter's by-id name while the adapter is away: nothing below /dev is called so.
    struct stat s {};
    if (portName.rfind("tty", 0) != 0 && lstat(("/dev/" + portName).c_str(), &s) != 0) return named;
  }
  const std::string path = DevicePathFromName(portName);
  if (IsLink(path)) return path;
  struct stat device {};
  if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return path;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(byIdDir.c_str()), closedir);
  if (!dir) return path;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string candidate = byIdDir + "/" + entry->d_name;
    if (entry->d_name[0] != '.' && IsLink(candidate) && SameDevice(device, candidate)) return candidate;
  }
  return path;
}
