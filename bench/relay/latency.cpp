#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bench/relay/traffic.h"

namespace relaybench {

std::vector<double> Latencies(int writeFd, int readFd, int count, std::chrono::microseconds spacing) {
  constexpr int kWarmUp = 10;
  std::vector<double> latencies;
  timespec next{};
  ::clock_gettime(CLOCK_MONOTONIC, &next);
  for (int i = 0; i < count + kWarmUp; ++i) {
    next.tv_nsec += long(spacing.count()) * 1000;
    next.tv_sec += next.tv_nsec / 1000000000;
    next.tv_nsec %= 1000000000;
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    char message[16], in[16];
    for (int j = 0; j < 16; ++j) message[j] = char(i * 31 + j * 7 + 1);
    const auto sent = std::chrono::steady_clock::now();
    if (::write(writeFd, message, sizeof message) != ssize_t(sizeof message))
      throw TrafficFault("message " + std::to_string(i) + " not written");
    std::size_t got = 0;
    while (got < sizeof in) {
      pollfd ready{readFd, POLLIN, 0};
      if (::poll(&ready, 1, 2000) <= 0)
        throw TrafficFault("message " + std::to_string(i) + " lost (" + std::to_string(got) +
                           " of 16 bytes)");
      const ssize_t n = ::read(readFd, in + got, sizeof in - got);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) throw TrafficFault("end of stream during message " + std::to_string(i));
      got += std::size_t(n);
    }
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent).count();
    if (std::memcmp(in, message, sizeof in) != 0)
      throw TrafficFault("message " + std::to_string(i) + " changed");
    if (i >= kWarmUp) latencies.push_back(micros);
  }
  std::sort(latencies.begin(), latencies.end());
  return latencies;
}

}  // namespace relaybench
