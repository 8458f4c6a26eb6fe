// Lock folders of a test's own in place of the system's: the lock-file tests run whatever the
// machine's /var/lock lets this user do.
#pragma once
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "platform/serial/uucplock.h"

// Two lock folders of our own in place of the system's, for the test's life.
struct TLockFolders {
  QTemporaryDir first, second;
  std::vector<std::string> before;
  TLockFolders()
      : before(ExchangeUucpLockDirectories({first.path().toStdString(), second.path().toStdString()})) {}
  ~TLockFolders() { ExchangeUucpLockDirectories(before); }
  std::string First(const std::string& device) const {
    return first.path().toStdString() + "/" + TUucpLock::LockName(device);
  }
  std::string Second(const std::string& device) const {
    return second.path().toStdString() + "/" + TUucpLock::LockName(device);
  }
};
