#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "bench/relay/procstat.h"
#include "bench/relay/traffic.h"

namespace relaybench {

namespace {
using Clock = std::chrono::steady_clock;

// Sends `bytes` in blocks of 1 to 64 bytes, each when the line would have finished the ones
// before it at `bytesPerSecond`. Answers the number of blocks.
std::size_t SendPaced(int fd, const std::string& bytes, double bytesPerSecond, std::uint64_t seed,
                      const std::atomic<bool>& abandon) {
  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  std::uint64_t x = seed;
  std::size_t blocks = 0;
  for (std::size_t at = 0; at < bytes.size() && !abandon; ++blocks) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const std::size_t size = std::min<std::size_t>(1 + x % 64, bytes.size() - at);
    const long long due = (long long)(double(at) / bytesPerSecond * 1e9);
    timespec when = start;
    when.tv_sec += time_t(due / 1000000000);
    when.tv_nsec += long(due % 1000000000);
    if (when.tv_nsec >= 1000000000) {
      when.tv_sec += 1;
      when.tv_nsec -= 1000000000;
    }
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr);
    for (std::size_t done = 0; done < size && !abandon;) {
      const ssize_t n = ::write(fd, bytes.data() + at + done, size - done);
      if (n > 0) {
        done += std::size_t(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd room{fd, POLLOUT, 0};
        ::poll(&room, 1, 100);
      } else {
        return blocks;
      }
    }
    at += size;
  }
  return blocks;
}

// Reads until all of `bytes` came, checking each; empty answer when they did.
std::string Receive(int fd, const std::string& bytes, const std::atomic<bool>& abandon) {
  char buffer[65536];
  std::size_t got = 0;
  auto lastProgress = Clock::now();
  while (got < bytes.size() && !abandon) {
    pollfd in{fd, POLLIN, 0};
    if (::poll(&in, 1, 200) <= 0) {
      if (Clock::now() - lastProgress > std::chrono::seconds(10)) return "nothing for 10 s";
      continue;
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return n ? "read failed" : "end of stream";
    if (got + std::size_t(n) > bytes.size()) return "more bytes than were sent";
    if (std::memcmp(buffer, bytes.data() + got, std::size_t(n)) != 0)
      return "bytes changed at " + std::to_string(got);
    got += std::size_t(n);
    lastProgress = Clock::now();
  }
  return got == bytes.size() ? "" : "abandoned after " + std::to_string(got) + " bytes";
}
}  // namespace

PacedResult Paced(int master, int tcp, pid_t pid, int baud, std::chrono::seconds duration) {
  const double rate = baud / 10.0;  // 8N1: ten bit times a byte
  const std::size_t each = std::size_t(rate * double(duration.count()));
  const std::string toTcp = SourceBytes(each, 11), toSerial = SourceBytes(each, 12);
  for (const int fd : {master, tcp}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

  std::atomic<bool> abandon{false};
  std::mutex faultLock;
  std::string fault;
  const auto check = [&](const std::string& what, const std::string& why) {
    if (why.empty()) return;
    std::lock_guard<std::mutex> hold(faultLock);
    if (fault.empty()) fault = what + ": " + why;
    abandon = true;
  };
  PacedResult result;
  const auto switchesBefore = ContextSwitches(pid);
  const double cpuBefore = CpuSeconds(pid);
  const auto start = Clock::now();
  std::size_t blocksUp = 0, blocksDown = 0;
  {
    std::jthread up([&] { blocksUp = SendPaced(master, toTcp, rate, 21, abandon); });
    std::jthread down([&] { blocksDown = SendPaced(tcp, toSerial, rate, 22, abandon); });
    std::jthread readUp([&] { check("serial->tcp", Receive(tcp, toTcp, abandon)); });
    check("tcp->serial", Receive(master, toSerial, abandon));
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpuSeconds = CpuSeconds(pid) - cpuBefore;
  const auto switches = SwitchesBetween(switchesBefore, ContextSwitches(pid));
  for (const auto& [name, counts] : switches) result.wakeups += counts.voluntary;
  result.switches = TotalSwitches(switches);
  result.bytesEachWay = each;
  result.blocksEachWay = (blocksUp + blocksDown) / 2;
  if (!fault.empty()) throw TrafficFault(fault);
  return result;
}

}  // namespace relaybench
