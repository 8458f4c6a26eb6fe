#include "platform/process/signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

static_assert(SignalTerminate == SIGTERM && SignalInterrupt == SIGINT && SignalUser1 == SIGUSR1 &&
              SignalHangup == SIGHUP);

namespace {
sigset_t SetOf(std::initializer_list<int> which) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : which) sigaddset(&set, s);
  return set;
}
}  // namespace

void HoldSignals(std::initializer_list<int> which) {
  const sigset_t set = SetOf(which);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void IgnoreBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

TSignalChannel::TSignalChannel(std::initializer_list<int> which) {
  const sigset_t set = SetOf(which);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

TSignalChannel::~TSignalChannel() {
  if (fd_ >= 0) close(fd_);
}

int TSignalChannel::Next() {
  signalfd_siginfo info{};
  for (;;) {
    const ssize_t n = read(fd_, &info, sizeof info);
    if (n == ssize_t(sizeof info)) return int(info.ssi_signo);
    if (n < 0 && errno == EINTR) continue;
    return 0;
  }
}
