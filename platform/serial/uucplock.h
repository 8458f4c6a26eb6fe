// The UUCP lock-file convention that other Linux serial tools honour: LCK..<name> in /var/lock
// (or /run/lock) holding the owner's process id as ten characters and a newline.
#pragma once
#include <string>

class TUucpLock {
 public:
  TUucpLock() = default;
  TUucpLock(TUucpLock&& other) noexcept : file_(std::move(other.file_)) { other.file_.clear(); }
  TUucpLock& operator=(TUucpLock&& other) noexcept;
  ~TUucpLock() { Release(); }

  // False when a live process holds the device. A stale file is removed; ours is written when the
  // directory lets us (a read-only lock directory does not stop the open).
  bool Acquire(const std::string& devicePath, const std::string& directory = {});
  void Release();
  const std::string& File() const { return file_; }

  // "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
  static std::string LockName(const std::string& devicePath);
  // The first of /var/lock and /run/lock that exists.
  static std::string DefaultDirectory();

 private:
  std::string file_;
};
