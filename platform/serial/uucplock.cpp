#include "platform/serial/uucplock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {
// The owner's process id, or 0 when the file is unreadable or holds no number.
long ReadOwner(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[64] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  return std::strtol(text, nullptr, 10);
}

bool Alive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }
}  // namespace

TUucpLock& TUucpLock::operator=(TUucpLock&& other) noexcept {
  if (this != &other) {
    Release();
    file_ = std::move(other.file_);
    other.file_.clear();
  }
  return *this;
}

std::string TUucpLock::LockName(const std::string& devicePath) {
  std::string name = devicePath;
  if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  for (char& c : name)
    if (c == '/') c = '_';
  return "LCK.." + name;
}

std::string TUucpLock::DefaultDirectory() {
  struct stat st;
  for (const char* dir : {"/var/lock", "/run/lock"})
    if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  return {};
}

bool TUucpLock::Acquire(const std::string& devicePath, const std::string& directory) {
  Release();
  const std::string dir = directory.empty() ? DefaultDirectory() : directory;
  if (dir.empty()) return true;
  const std::string file = dir + "/" + LockName(devicePath);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      char text[16];
      const int n = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
      const bool written = ::write(fd, text, n) == n;
      ::close(fd);
      if (!written) {
        ::unlink(file.c_str());
        return true;
      }
      file_ = file;
      return true;
    }
    if (errno != EEXIST) return true;  // no right to lock here: nobody else can either
    const long owner = ReadOwner(file);
    if (owner == ::getpid() || Alive(owner)) return false;
    ::unlink(file.c_str());  // stale: its owner is gone
  }
  return false;
}

void TUucpLock::Release() {
  if (file_.empty()) return;
  ::unlink(file_.c_str());
  file_.clear();
}
