// What the kernel counts for a running process: CPU time of all its threads, and context
// switches per thread (a voluntary switch is a thread going to sleep, so each one is a wake-up).
#pragma once
#include <sys/types.h>

#include <map>
#include <string>

namespace relaybench {

// The CPU time of every thread, ended ones too, in seconds; negative once the process is gone.
double CpuSeconds(pid_t pid);

struct ThreadSwitches {
  std::string name;
  long long voluntary = 0;
  long long involuntary = 0;
};
// Per thread id, from /proc/<pid>/task/*/status.
std::map<pid_t, ThreadSwitches> ContextSwitches(pid_t pid);

// Switches between two samples, per thread as "name[tid]" (a thread born in between counts from
// zero, one that ended in between is lost).
std::map<std::string, ThreadSwitches> SwitchesBetween(const std::map<pid_t, ThreadSwitches>& before,
                                                      const std::map<pid_t, ThreadSwitches>& after);
long long TotalSwitches(const std::map<std::string, ThreadSwitches>& byName);

}  // namespace relaybench
