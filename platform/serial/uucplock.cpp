#include "platform/serial/uucplock.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
// The owner's process id, or 0 when the file is unreadable or holds no number; -1 when there is
// no such file.
long ReadOwner(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? -1 : 0;
  char text[64] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  return std::strtol(text, nullptr, 10);
}

bool Alive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

std::mutex g_directoriesLock;
std::vector<std::string> g_directories;  // empty: the usual ones

std::vector<std::string> UsualDirectories() {
  std::vector<std::string> found;
  for (const char* dir : {"/run/lock", "/var/lock", "/var/spool/lock", "/var/spool/uucp"}) {
    char real[PATH_MAX];
    struct stat st;
    if (!::realpath(dir, real) || ::stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    bool seen = false;
    for (const std::string& f : found) seen = seen || f == real;
    if (!seen) found.emplace_back(real);
  }
  return found;
}

// Our lock files, for the termination handler: it may only use what is async-signal-safe, so
// the paths sit in a fixed table and each slot says by its state whether it may be read.
constexpr int kSlots = 32;
enum : int { kFree, kFilling, kLive };
struct TSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
TSlot g_slots[kSlots];

void RemoveOursAndTerminate(int signal) {
  const int saved = errno;
  for (TSlot& s : g_slots)
    if (s.state.load(std::memory_order_acquire) == kLive) ::unlink(s.path);
  // The default action, now: the signal is blocked inside its handler and ends the process as
  // soon as the handler returns.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  errno = saved;
}

// Only where the default action (ending without clean-up) is in place: a program with its own
// handler shuts down through its destructors, which release the lock files. Looked at on every
// lock, since a program may hand the signals back to the default at any time.
void WatchTermination() {
  for (int signal : {SIGTERM, SIGINT}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0) continue;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL) {
      struct sigaction ours {};
      ours.sa_handler = RemoveOursAndTerminate;
      sigemptyset(&ours.sa_mask);
      ::sigaction(signal, &ours, nullptr);
    }
  }
}

int Remember(const std::string& file) {
  if (file.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) {
      std::memcpy(g_slots[i].path, file.c_str(), file.size() + 1);
      g_slots[i].state.store(kLive, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void Forget(int slot) {
  if (slot < 0) return;
  g_slots[slot].state.store(kFilling, std::memory_order_release);
  g_slots[slot].state.store(kFree, std::memory_order_release);
}

// Writes our process id into a new lock file; false when the file exists already (or cannot be
// written, with `error`).
bool Create(const std::string& file, int& error) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errno;
    return false;
  }
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
  const bool written = ::write(fd, text, n) == n;
  ::close(fd);
  if (!written) {
    ::unlink(file.c_str());
    error = EIO;
    return false;
  }
  return true;
}
}  // namespace

std::vector<std::string> UucpLockDirectories() {
  {
    std::lock_guard lock(g_directoriesLock);
    if (!g_directories.empty()) return g_directories;
  }
  return UsualDirectories();
}

std::vector<std::string> ExchangeUucpLockDirectories(std::vector<std::string> directories) {
  std::lock_guard lock(g_directoriesLock);
  std::swap(g_directories, directories);
  return directories;
}

TUucpLock::TUucpLock(TUucpLock&& other) noexcept : file_(std::move(other.file_)), slot_(other.slot_) {
  other.file_.clear();
  other.slot_ = -1;
}

TUucpLock& TUucpLock::operator=(TUucpLock&& other) noexcept {
  if (this != &other) {
    Release();
    file_ = std::move(other.file_);
    slot_ = other.slot_;
    other.file_.clear();
    other.slot_ = -1;
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
  const auto dirs = UucpLockDirectories();
  return dirs.empty() ? std::string() : dirs.front();
}

bool TUucpLock::Acquire(const std::string& devicePath, long& holder, std::string& file) {
  Release();
  holder = 0;
  file.clear();
  const std::string name = LockName(devicePath);
  const auto dirs = UucpLockDirectories();
  // Another program may lock in any of the folders: a live owner anywhere holds the device.
  for (const std::string& dir : dirs) {
    const std::string candidate = dir + "/" + name;
    const long owner = ReadOwner(candidate);
    if (owner < 0) continue;
    if (owner == ::getpid() || Alive(owner)) {
      holder = owner;
      file = candidate;
      return false;
    }
    ::unlink(candidate.c_str());  // stale: its owner is gone
  }
  for (const std::string& dir : dirs) {
    const std::string candidate = dir + "/" + name;
    int error = 0;
    if (Create(candidate, error)) {
      file_ = candidate;
      WatchTermination();
      slot_ = Remember(file_);
      return true;
    }
    if (error != EEXIST) continue;  // no right to lock here: nobody else can either
    // Taken between the look and the creation.
    holder = ReadOwner(candidate);
    file = candidate;
    return false;
  }
  return true;
}

void TUucpLock::Release() {
  if (file_.empty()) return;
  Forget(slot_);
  slot_ = -1;
  ::unlink(file_.c_str());
  file_.clear();
}
