#include "tests/support/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/files/descriptor.h"

extern char** environ;

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

TForeignLock::TForeignLock(const std::string& path, bool lock) {
  int ready[2], release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  if (::pipe2(release, O_CLOEXEC) != 0) {
    CloseDescriptor(ready[0]);
    CloseDescriptor(ready[1]);
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
  CloseDescriptor(ready[1]);
  CloseDescriptor(release[0]);
  release_ = release[1];
  pid_ = pid;
  char ok = 0;
  if (pid > 0 && ::read(ready[0], &ok, 1) == 1) held_ = ok == 1;
  CloseDescriptor(ready[0]);
}

TForeignLock::~TForeignLock() {
  CloseDescriptor(release_);
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
}

// Less the directory stream's own descriptor.
std::size_t CountOpenDescriptors() { return CountEntries("/proc/self/fd") - 1; }
std::size_t CountThreads() { return CountEntries("/proc/self/task"); }

std::map<long, unsigned long> ThreadWakeups(bool involuntary) {
  std::map<long, unsigned long> counts;
  DIR* dir = ::opendir("/proc/self/task");
  if (!dir) return counts;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + e->d_name + "/status";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) continue;  // the thread ended meanwhile
    unsigned long& count = counts[std::atol(e->d_name)];
    char line[256];
    unsigned long n = 0;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "voluntary_ctxt_switches: %lu", &n) == 1) count += n;
      if (involuntary && std::sscanf(line, "nonvoluntary_ctxt_switches: %lu", &n) == 1) count += n;
    }
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

double ProcessCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long DeadProcessId() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

long CurrentProcessId() { return ::getpid(); }

int RunWithin(const std::string& path, std::chrono::milliseconds limit) {
  std::string program = path;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -2;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
