// Test helpers around real Linux facilities: a pseudo-terminal whose slave side plays the serial
// port, a second process that holds a device's flock, and counts of descriptors and threads.
#pragma once
#include <chrono>
#include <map>
#include <string>

class TPseudoTerminal {
 public:
  // Opens a master and keeps one slave descriptor open (so the terminal lives while the port is
  // closed). Throws std::runtime_error when no pseudo-terminal can be had.
  TPseudoTerminal();
  ~TPseudoTerminal();
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

  // The slave's path, e.g. "/dev/pts/3": what a port name may be.
  const std::string& Path() const { return path_; }
  int MasterFd() const { return master_; }
  // Writes everything to the master (the bytes arrive at the port), waiting as needed.
  void Write(const std::string& bytes);
  // Reads from the master until `count` bytes came or `limit` passed.
  std::string Read(std::size_t count, std::chrono::milliseconds limit);
  // Reads whatever arrives until the line has been quiet for `quiet`.
  std::string ReadUntilQuiet(std::chrono::milliseconds quiet);
  // Hangs the terminal up, as an unplugged device.
  void CloseMaster();
  // Sets the slave raw before the port does (so nothing the test writes early is translated).
  void MakeRaw();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

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
// Voluntary context switches of each thread of this process, by thread id: how often each one
// went to sleep and was woken again.
std::map<long, unsigned long> ThreadWakeups();
// A process id that is certainly not running (a child that has exited and been reaped).
long DeadProcessId();
long CurrentProcessId();

// The physical limit of a pseudo-terminal, for benchmarks: `bytes` moved master -> slave
// (toSlave) or slave -> master, read and written raw in tight loops on two threads. Answers the
// seconds taken.
double RawPseudoTerminalTransfer(TPseudoTerminal& pty, std::size_t bytes, bool toSlave);
