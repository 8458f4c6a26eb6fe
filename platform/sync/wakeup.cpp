#include "platform/sync/wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

int OpenWakeup() { return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void SignalWakeup(int fd) {
  const std::uint64_t one = 1;
  // A full counter already wakes the reader; nothing else can fail here.
  while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void DrainWakeup(int fd) {
  std::uint64_t count;
  while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
}
