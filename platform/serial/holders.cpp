#include "platform/serial/holders.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {
// Unix98 pseudo-terminal slaves (major 136 to 143) have no entry below /sys/dev/char.
constexpr unsigned kPtySlaveFirstMajor = 136, kPtySlaveLastMajor = 143;

struct TDirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using TDir = std::unique_ptr<DIR, TDirCloser>;

bool AllDigits(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}
}  // namespace

long LockHolder(dev_t fsDevice, ino_t inode, const std::string& locksTable) {
  std::ifstream table(locksTable);
  std::string line;
  // "1: FLOCK  ADVISORY  WRITE 1234 00:19:3 0 EOF"; waiters read "1: -> FLOCK ..." and hold nothing.
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, kind, mode, access, where;
    long pid = 0;
    if (!(fields >> id >> kind) || kind == "->") continue;
    if (!(fields >> mode >> access >> pid >> where)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long node = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &node) != 3) continue;
    if (pid > 0 && major == ::major(fsDevice) && minor == ::minor(fsDevice) && node == inode) return pid;
  }
  return 0;
}

long ProcessHoldingOpen(const std::string& devicePath) {
  TDir proc(::opendir("/proc"));
  if (!proc) return 0;
  const long self = ::getpid();
  while (const dirent* process = ::readdir(proc.get())) {
    if (!AllDigits(process->d_name)) continue;
    const long pid = std::strtol(process->d_name, nullptr, 10);
    if (pid == self) continue;
    const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
    TDir fds(::opendir(fdDir.c_str()));
    if (!fds) continue;  // gone, or not ours to see
    while (const dirent* fd = ::readdir(fds.get())) {
      if (!AllDigits(fd->d_name)) continue;
      char target[PATH_MAX];
      const std::string link = fdDir + "/" + fd->d_name;
      const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = '\0';
      if (devicePath == target) return pid;
    }
  }
  return 0;
}

bool IsPseudoTerminalSlave(dev_t device) {
  return ::major(device) >= kPtySlaveFirstMajor && ::major(device) <= kPtySlaveLastMajor;
}

bool IsTerminalDevice(const std::string& devicePath, struct stat& st, int& error) {
  error = 0;
  if (::stat(devicePath.c_str(), &st) != 0) {
    error = errno;
    return false;
  }
  if (!S_ISCHR(st.st_mode)) return false;
  const unsigned major = ::major(st.st_rdev), minor = ::minor(st.st_rdev);
  const std::string entry = "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor);
  char subsystem[PATH_MAX];
  const ssize_t n = ::readlink((entry + "/subsystem").c_str(), subsystem, sizeof subsystem - 1);
  if (n > 0) {
    subsystem[n] = '\0';
    const char* base = std::strrchr(subsystem, '/');
    return std::strcmp(base ? base + 1 : subsystem, "tty") == 0;
  }
  if (IsPseudoTerminalSlave(st.st_rdev)) return true;
  // Without sysfs nothing more can be known before opening; the terminal probe after it decides.
  return ::access("/sys/dev/char", F_OK) != 0;
}
