#include "bench/relay/machine.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace relaybench {

namespace {
class TPipe {
 public:
  TPipe() {
    if (::pipe(fds_) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  }
  ~TPipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  TPipe(const TPipe&) = delete;
  TPipe& operator=(const TPipe&) = delete;
  void Put() const {
    const char token = 1;
    while (::write(fds_[1], &token, 1) < 0 && errno == EINTR) {
    }
  }
  bool Take() const {
    char token;
    for (;;) {
      const ssize_t n = ::read(fds_[0], &token, 1);
      if (n == 1) return true;
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
  }

 private:
  int fds_[2] = {-1, -1};
};

struct ThreadCost {
  long long wakeups = 0;
  double cpuSeconds = 0;
};

ThreadCost OwnCost() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  timespec cpu{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  return {usage.ru_nvcsw, double(cpu.tv_sec) + double(cpu.tv_nsec) / 1e9};
}

ThreadCost Since(const ThreadCost& before) {
  const ThreadCost now = OwnCost();
  return {now.wakeups - before.wakeups, now.cpuSeconds - before.cpuSeconds};
}
std::vector<double> Lateness(int count, std::chrono::microseconds spacing) {
  std::vector<double> late;
  late.reserve(std::size_t(std::max(count, 0)));
  timespec due{};
  ::clock_gettime(CLOCK_MONOTONIC, &due);
  for (int i = 0; i < count; ++i) {
    due.tv_nsec += long(spacing.count()) * 1000;
    due.tv_sec += due.tv_nsec / 1000000000;
    due.tv_nsec %= 1000000000;
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    late.push_back(double(now.tv_sec - due.tv_sec) * 1e6 + double(now.tv_nsec - due.tv_nsec) / 1e3);
  }
  std::sort(late.begin(), late.end());
  return late;
}
}  // namespace

std::vector<double> TimerLateness(int count, std::chrono::microseconds spacing) {
  std::vector<double> late;
  // On a thread of its own without the default 50 us of timer slack, as the relay's own serial
  // threads run: what is left is the machine's.
  std::thread([&] {
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    late = Lateness(count, spacing);
  }).join();
  return late;
}

WakeupCost PingPong(int roundTrips) {
  TPipe ping, pong;
  ThreadCost answerer;
  std::thread other([&] {
    const ThreadCost start = OwnCost();
    for (int i = 0; i < roundTrips && ping.Take(); ++i) pong.Put();
    answerer = Since(start);
  });
  const ThreadCost start = OwnCost();
  int trips = 0;
  for (; trips < roundTrips; ++trips) {
    ping.Put();
    if (!pong.Take()) break;
  }
  const ThreadCost asker = Since(start);
  other.join();
  if (trips < roundTrips) throw std::runtime_error("ping-pong broke off");
  return {asker.wakeups + answerer.wakeups, asker.cpuSeconds + answerer.cpuSeconds};
}

}  // namespace relaybench
