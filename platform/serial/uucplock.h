// The UUCP lock-file convention that other Linux serial tools honour: LCK..<name> in the lock
// folder (/var/lock, /run/lock, ...) holding the owner's process id as ten characters and a
// newline. A file whose owner is gone is stale and may be removed.
#pragma once
#include <string>
#include <vector>

class TUucpLock {
 public:
  TUucpLock() = default;
  TUucpLock(TUucpLock&& other) noexcept;
  TUucpLock& operator=(TUucpLock&& other) noexcept;
  ~TUucpLock() { Release(); }

  // False when a live process holds the device in any of the lock folders: `holder` names it
  // and `file` its lock file. Stale files are removed. Ours is written in the first folder that
  // lets us (a read-only lock folder does not stop the open, since nobody else can lock there
  // either), and removed again if the process ends by SIGTERM or SIGINT.
  bool Acquire(const std::string& devicePath, long& holder, std::string& file);
  bool Acquire(const std::string& devicePath) {
    long holder;
    std::string file;
    return Acquire(devicePath, holder, file);
  }
  void Release();
  const std::string& File() const { return file_; }

  // "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
  static std::string LockName(const std::string& devicePath);
  // The first lock folder that exists.
  static std::string DefaultDirectory();

 private:
  std::string file_;
  int slot_ = -1;  // in the table the signal handler cleans up
};

// The lock folders looked in, in order; by default those of the usual distributions that exist
// here (/run/lock, /var/lock, /var/spool/lock, /var/spool/uucp), each real folder once.
std::vector<std::string> UucpLockDirectories();
// Replaces the folders (an empty list restores the default); answers the ones before.
std::vector<std::string> ExchangeUucpLockDirectories(std::vector<std::string> directories);
