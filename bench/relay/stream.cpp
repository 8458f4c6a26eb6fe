#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "bench/relay/procstat.h"
#include "bench/relay/traffic.h"

namespace relaybench {

std::string SourceBytes(std::size_t count, std::uint64_t seed) {
  std::string bytes(count, '\0');
  std::uint64_t x = seed ? seed : 0x2545F4914F6CDD1Dull;
  for (auto& byte : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    byte = char(x >> 24);
  }
  return bytes;
}

std::uint64_t Fnv1a(std::uint64_t hash, const char* data, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

Throughput Stream(int writeFd, int readFd, const std::string& bytes, std::size_t writeBlock, pid_t pid) {
  ::fcntl(writeFd, F_SETFL, ::fcntl(writeFd, F_GETFL) | O_NONBLOCK);
  std::atomic<bool> stop{false};
  const double cpuBefore = CpuSeconds(pid);
  const auto start = std::chrono::steady_clock::now();
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size() && !stop;) {
      pollfd room{writeFd, POLLOUT, 0};
      if (::poll(&room, 1, 200) <= 0) continue;
      const ssize_t n = ::write(writeFd, bytes.data() + at, std::min(writeBlock, bytes.size() - at));
      if (n > 0)
        at += std::size_t(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        return;
    }
  });
  std::string fault;
  std::size_t got = 0;
  std::uint64_t hash = kFnvStart;
  std::vector<char> buffer(65536);
  while (got < bytes.size() && fault.empty()) {
    pollfd in{readFd, POLLIN, 0};
    if (::poll(&in, 1, 10000) <= 0) {
      fault = "nothing for 10 s";
      break;
    }
    const ssize_t n = ::read(readFd, buffer.data(), buffer.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0)
      fault = n ? "read failed" : "end of stream";
    else if (got + std::size_t(n) > bytes.size())
      fault = "more bytes than were sent";
    else if (std::memcmp(buffer.data(), bytes.data() + got, std::size_t(n)) != 0)
      fault = "bytes changed";
    else {
      hash = Fnv1a(hash, buffer.data(), std::size_t(n));
      got += std::size_t(n);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpuAfter = CpuSeconds(pid);
  stop = true;
  writer.join();
  if (fault.empty() && hash != Fnv1a(kFnvStart, bytes.data(), bytes.size())) fault = "digest differs";
  if (!fault.empty())
    throw TrafficFault(fault + " after " + std::to_string(got) + " of " + std::to_string(bytes.size()) +
                       " bytes");
  return {double(bytes.size()) / seconds / 1e6, cpuAfter - cpuBefore};
}

}  // namespace relaybench
