// The traffic the bench sends through a relay, each kind checked byte for byte on arrival.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace relaybench {

// Reproducible pseudo-random bytes (xorshift64), and their FNV-1a digest.
std::string SourceBytes(std::size_t count, std::uint64_t seed);
std::uint64_t Fnv1a(std::uint64_t hash, const char* data, std::size_t count);
constexpr std::uint64_t kFnvStart = 0xcbf29ce484222325ull;

// Thrown when bytes are lost, changed, added, or stop coming.
struct TrafficFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Throughput {
  double megabytesPerSecond = 0;  // 1e6 bytes a second
  double cpuSeconds = 0;          // of `pid` while the bytes moved
};
// Writes all of `bytes` into `writeFd` in blocks of `writeBlock` (on a thread of its own) and
// reads them back from `readFd`.
Throughput Stream(int writeFd, int readFd, const std::string& bytes, std::size_t writeBlock, pid_t pid);

// One-way latency of `count` 16-byte messages `spacing` apart (after 10 not counted), in
// microseconds, sorted.
std::vector<double> Latencies(int writeFd, int readFd, int count, std::chrono::microseconds spacing);

// Both directions at once at a serial line's real rate: blocks of 1 to 64 bytes at `baud` 8N1
// (baud / 10 bytes a second) for `duration`, until every byte has arrived.
struct PacedResult {
  double seconds = 0;      // from the first block to the last byte in
  double cpuSeconds = 0;   // of the whole relay process over that time
  long long wakeups = 0;   // voluntary context switches of all its threads
  long long switches = 0;  // voluntary and involuntary
  std::size_t bytesEachWay = 0;
  std::size_t blocksEachWay = 0;
};
PacedResult Paced(int master, int tcp, pid_t pid, int baud, std::chrono::seconds duration);

}  // namespace relaybench
