// Bytes per second received through TSerialPort from a pseudo-terminal and written through
// WriteData, against reading and writing the same pseudo-terminal raw in a tight loop (the
// physical limit), in the same run. Prints each rate and the ratio to the limit.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "comm/serialport.h"
#include "platform/sync/messages.h"
#include "tests/support/pty.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::size_t kMiB = 1 << 20;

void Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  ProcessPostedMessages();
}

TSerialPort& Prepared(TSerialPort& port, const std::string& path) {
  port.SetCommName(path);
  port.SetOutx_XonXoffFlow(false);
  port.SetInx_XonXoffFlow(false);
  // A continuous stream is cut at 4096 bytes; the interval only delays the last block.
  port.SetReadIntervalTimeout(10);
  return port;
}

double ThroughPortReceive(std::size_t bytes) {
  TPseudoTerminal pty;
  TSerialPort port;
  std::size_t got = 0;
  port.OnReceiveData = TReceiveDataEvent::FromCallable([&](TObject*, void*, WORD n) { got += n; });
  Prepared(port, pty.Path()).Open();
  const auto start = Clock::now();
  std::thread writer([&] {
    const std::string chunk(64 * 1024, 'r');
    for (std::size_t sent = 0; sent < bytes; sent += chunk.size())
      pty.Write(chunk.substr(0, std::min(chunk.size(), bytes - sent)));
  });
  while (got < bytes) Pump();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  port.Close();
  return seconds;
}

double ThroughPortWrite(std::size_t bytes) {
  TPseudoTerminal pty;
  TSerialPort port;
  Prepared(port, pty.Path()).Open();
  std::size_t received = 0;
  const auto start = Clock::now();
  std::thread reader([&] {
    while (received < bytes) {
      const std::string s = pty.Read(bytes - received, std::chrono::seconds(30));
      if (s.empty()) return;
      received += s.size();
    }
  });
  // Blocks as the console queues them, held back while far behind (as its flow control does).
  const std::string block(4096, 'w');
  for (std::size_t queued = 0; queued < bytes;) {
    if (port.PendingWriteBytes() > 256 * 1024) {
      Pump();
      std::this_thread::yield();
      continue;
    }
    const WORD n = static_cast<WORD>(std::min(block.size(), bytes - queued));
    if (port.WriteData(block.data(), n)) queued += n;
  }
  reader.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  port.Close();
  Pump();
  return received == bytes ? seconds : 0;
}

double Best(int runs, double (*f)(std::size_t), std::size_t bytes) {
  double best = 0;
  for (int i = 0; i < runs; ++i) {
    const double s = f(bytes);
    if (s > 0 && (best == 0 || s < best)) best = s;
  }
  return best;
}

double RawReceive(std::size_t bytes) {
  TPseudoTerminal pty;
  return RawPseudoTerminalTransfer(pty, bytes, true);
}

double RawWrite(std::size_t bytes) {
  TPseudoTerminal pty;
  return RawPseudoTerminalTransfer(pty, bytes, false);
}

void Report(const char* what, std::size_t bytes, double ours, double raw) {
  const double oursRate = ours > 0 ? bytes / ours / kMiB : 0;
  const double rawRate = raw > 0 ? bytes / raw / kMiB : 0;
  std::printf("%-8s TSerialPort %8.1f MiB/s   raw pty %8.1f MiB/s   ratio %.3f\n", what, oursRate, rawRate,
              rawRate > 0 ? oursRate / rawRate : 0);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t bytes = mib * kMiB;
  const int runs = 3;
  std::printf("serial throughput, %zu MiB per run, best of %d\n", mib, runs);
  Report("receive", bytes, Best(runs, ThroughPortReceive, bytes), Best(runs, RawReceive, bytes));
  Report("write", bytes, Best(runs, ThroughPortWrite, bytes), Best(runs, RawWrite, bytes));
  return 0;
}
