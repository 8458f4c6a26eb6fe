#include "platform/fake/pty.h"

#include <asm/termbits.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace {
std::size_t CountEntries(const char* dir) {
  std::size_t n = 0;
  if (DIR* d = ::opendir(dir)) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
  }
  return n;
}
}  // namespace

TPseudoTerminal::TPseudoTerminal() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pseudo-terminal name");
  path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) throw std::runtime_error("cannot open pseudo-terminal slave");
  MakeRaw();
}

TPseudoTerminal::~TPseudoTerminal() {
  if (slave_ >= 0) ::close(slave_);
  CloseMaster();
}

void TPseudoTerminal::MakeRaw() {
  termios2 t{};
  if (::ioctl(slave_, TCGETS2, &t) != 0) return;
  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = (t.c_cflag & ~CSIZE) | CS8 | CREAD | CLOCAL;
  ::ioctl(slave_, TCSETS2, &t);
}

void TPseudoTerminal::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("pseudo-terminal write failed");
    done += static_cast<std::size_t>(n);
  }
}

std::string TPseudoTerminal::Read(std::size_t count, std::chrono::milliseconds limit) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + limit;
  char buffer[65536];
  while (out.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::string TPseudoTerminal::ReadUntilQuiet(std::chrono::milliseconds quiet) {
  std::string out;
  char buffer[65536];
  for (;;) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

void TPseudoTerminal::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

TForeignLock::TForeignLock(const std::string& path, bool lock) {
  int ready[2], release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  if (::pipe2(release, O_CLOEXEC) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    ::close(ready[0]);
    ::close(release[1]);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    char ok = (fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0)) ? 1 : 0;
    (void)!::write(ready[1], &ok, 1);
    char c;
    (void)!::read(release[0], &c, 1);  // until the parent closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_ = release[1];
  pid_ = pid;
  char ok = 0;
  if (pid > 0 && ::read(ready[0], &ok, 1) == 1) held_ = ok == 1;
  ::close(ready[0]);
}

TForeignLock::~TForeignLock() {
  if (release_ >= 0) ::close(release_);
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
}

// Less the directory stream's own descriptor.
std::size_t CountOpenDescriptors() { return CountEntries("/proc/self/fd") - 1; }
std::size_t CountThreads() { return CountEntries("/proc/self/task"); }

std::map<long, unsigned long> ThreadWakeups() {
  std::map<long, unsigned long> counts;
  DIR* dir = ::opendir("/proc/self/task");
  if (!dir) return counts;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + e->d_name + "/status";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) continue;  // the thread ended meanwhile
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "voluntary_ctxt_switches: %lu", &counts[std::atol(e->d_name)]) == 1) break;
    std::fclose(f);
  }
  ::closedir(dir);
  return counts;
}

std::size_t ResidentBytes() {
  std::size_t pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%zu %zu", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * std::size_t(::sysconf(_SC_PAGESIZE));
}

long DeadProcessId() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

long CurrentProcessId() { return ::getpid(); }

double RawPseudoTerminalTransfer(TPseudoTerminal& pty, std::size_t bytes, bool toSlave) {
  const int slave = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return 0;
  const int from = toSlave ? pty.MasterFd() : slave;
  const int to = toSlave ? slave : pty.MasterFd();
  const auto start = std::chrono::steady_clock::now();
  std::thread writer([&] {
    static char chunk[4096];
    std::size_t sent = 0;
    while (sent < bytes) {
      const ssize_t n = ::write(from, chunk, std::min(sizeof chunk, bytes - sent));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  });
  char buffer[4096];
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t n = ::read(to, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  writer.join();
  ::close(slave);
  return got == bytes ? seconds : 0;
}
