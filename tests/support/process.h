// This process and others, as tests look at them: descriptors, threads, memory, wake-ups and CPU
// time of this process; another process holding a device; a program run with a deadline.
#pragma once
#include <chrono>
#include <cstddef>
#include <map>
#include <string>

// Another process holding flock(LOCK_EX) on a path (or, without `lock`, only holding it open),
// until destroyed.
class TForeignLock {
 public:
  explicit TForeignLock(const std::string& path, bool lock = true);
  ~TForeignLock();
  TForeignLock(const TForeignLock&) = delete;
  TForeignLock& operator=(const TForeignLock&) = delete;
  bool Held() const { return held_; }
  long Pid() const { return pid_; }

 private:
  int pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

// Descriptors, threads and resident bytes of this process now.
std::size_t CountOpenDescriptors();
std::size_t CountThreads();
std::size_t ResidentBytes();
// Context switches of each thread of this process, by thread id: voluntary ones (how often each
// thread went to sleep and was woken again), with `involuntary` the preempted ones added.
std::map<long, unsigned long> ThreadWakeups(bool involuntary = false);
// CPU seconds this process has used.
double ProcessCpuSeconds();
// A process id that is certainly not running (a child that has exited and been reaped).
long DeadProcessId();
long CurrentProcessId();

// Runs the program without arguments: its exit status, or -1 when it had not ended within
// `limit` (it is then killed). Spawned without fork, which the thread sanitizer cannot follow.
int RunWithin(const std::string& path, std::chrono::milliseconds limit);
