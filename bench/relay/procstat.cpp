#include "bench/relay/procstat.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

namespace relaybench {

double CpuSeconds(pid_t pid) {
  // The process's CPU clock counts every thread, ended ones too, to the nanosecond; the tick
  // counts in /proc come in hundredths of a second, 5 % of what a flood costs a relay.
  clockid_t clock;
  timespec now{};
  if (clock_getcpuclockid(pid, &clock) == 0 && clock_gettime(clock, &now) == 0)
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return -1;
  // The command name may hold spaces and parentheses: fields are counted after the last ')'.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;
  unsigned long long user = 0, system = 0;
  if (!(fields >> user >> system)) return -1;
  return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

namespace {
std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}
}  // namespace

std::map<pid_t, ThreadSwitches> ContextSwitches(pid_t pid) {
  std::map<pid_t, ThreadSwitches> threads;
  const std::string root = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(root.c_str());
  if (!dir) return threads;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string task = root + "/" + entry->d_name;
    ThreadSwitches counts;
    counts.name = FirstLine(task + "/comm");
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        counts.voluntary = std::atoll(line.c_str() + std::strlen("voluntary_ctxt_switches:"));
      else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        counts.involuntary = std::atoll(line.c_str() + std::strlen("nonvoluntary_ctxt_switches:"));
    }
    threads[pid_t(std::atol(entry->d_name))] = counts;
  }
  closedir(dir);
  return threads;
}

std::map<std::string, ThreadSwitches> SwitchesBetween(const std::map<pid_t, ThreadSwitches>& before,
                                                      const std::map<pid_t, ThreadSwitches>& after) {
  std::map<std::string, ThreadSwitches> byName;
  for (const auto& [tid, now] : after) {
    ThreadSwitches& sum = byName[now.name + "[" + std::to_string(tid) + "]"];
    sum.name = now.name;
    const auto then = before.find(tid);
    const bool known = then != before.end();
    sum.voluntary += now.voluntary - (known ? then->second.voluntary : 0);
    sum.involuntary += now.involuntary - (known ? then->second.involuntary : 0);
  }
  return byName;
}

long long TotalSwitches(const std::map<std::string, ThreadSwitches>& byName) {
  long long total = 0;
  for (const auto& [name, counts] : byName) total += counts.voluntary + counts.involuntary;
  return total;
}

}  // namespace relaybench
