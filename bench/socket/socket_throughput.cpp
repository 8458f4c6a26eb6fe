// Loopback throughput of the client socket component against the physical limit: a plain
// blocking socket pair moving the same bytes in the same run.
//
//   socket_throughput [megabytes per run, default 128] [runs, default 5]
//
// Receiving: a server thread writes as fast as it can; the component takes the bytes in OnRead
// with ReceiveText, as the console does. Sending: the component sends 4096-byte blocks (the
// size of a serial block) with SendText, keeping a block the platform refused until OnWrite;
// a server thread reads. The plain pair does the same with blocking calls. Best of the runs.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "socket/tcpclient.h"
#include "tests/support/eventloop.h"
#include "tests/support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kSendBlock = 4096;
constexpr std::size_t kChunk = 1 << 16;       // what the server writes at a time
constexpr std::size_t kReadBuffer = 1 << 20;  // generous, so the plain pair is a true limit

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Drains a peer until `total` bytes came; answers the bytes seen.
std::size_t Drain(loopback::TPeer& peer, std::size_t total) {
  std::string buffer(kReadBuffer, '\0');
  std::size_t seen = 0;
  while (seen < total) {
    const long n = peer.Read(buffer.data(), buffer.size());
    if (n <= 0) break;
    seen += std::size_t(n);
  }
  return seen;
}

class TBench : public TObject {
 public:
  TBench(loopback::TEventLoop& loop, std::size_t total)
      : loop_(loop), total_(total), block_(kSendBlock, 'b') {}

  double ComponentReceive() {
    loopback::TServer server;
    TTcpClient client;
    Connect(client, server);
    loopback::TPeer peer = server.Accept(10s);
    received_ = 0;
    client.OnRead = TSocketNotifyEvent(this, &TBench::Read);
    const std::string chunk(kChunk, 'r');
    const auto start = Clock::now();
    std::thread writer([&] {
      for (std::size_t sent = 0; sent < total_; sent += chunk.size()) peer.SendAll(chunk);
    });
    const bool ok = loop_.RunUntil([&] { return received_ >= total_; }, 120s);
    const auto time = Clock::now() - start;
    writer.join();
    return ok ? double(total_) / Seconds(time) : 0;
  }

  double ComponentSend() {
    loopback::TServer server;
    TTcpClient client;
    Connect(client, server);
    loopback::TPeer peer = server.Accept(10s);
    client.OnWrite = TSocketNotifyEvent(this, &TBench::Write);
    socket_ = client.Socket();
    sent_ = 0;
    offset_ = 0;
    std::atomic<std::size_t> drained{0};
    const auto start = Clock::now();
    std::thread reader([&] { drained = Drain(peer, total_); });
    Pump();
    const bool ok = loop_.RunUntil([&] { return drained >= total_; }, 120s);
    const auto time = Clock::now() - start;
    reader.join();
    socket_ = nullptr;
    return ok ? double(total_) / Seconds(time) : 0;
  }

  double PlainReceive() {
    loopback::TServer server;
    loopback::TPeer client = loopback::ConnectPlain(server.Port());
    loopback::TPeer peer = server.Accept(10s);
    const std::string chunk(kChunk, 'r');
    const auto start = Clock::now();
    std::thread writer([&] {
      for (std::size_t sent = 0; sent < total_; sent += chunk.size()) peer.SendAll(chunk);
    });
    const std::size_t seen = Drain(client, total_);
    const auto time = Clock::now() - start;
    writer.join();
    return seen >= total_ ? double(total_) / Seconds(time) : 0;
  }

  double PlainSend() {
    loopback::TServer server;
    loopback::TPeer client = loopback::ConnectPlain(server.Port());
    loopback::TPeer peer = server.Accept(10s);
    std::size_t drained = 0;
    const auto start = Clock::now();
    std::thread reader([&] { drained = Drain(peer, total_); });
    for (std::size_t sent = 0; sent < total_; sent += block_.size()) client.SendAll(block_);
    reader.join();
    const auto time = Clock::now() - start;
    return drained >= total_ ? double(total_) / Seconds(time) : 0;
  }

 private:
  void Connect(TTcpClient& client, loopback::TServer& server) {
    client.SetAddress("127.0.0.1");
    client.SetPort(server.Port());
    client.SetActive(true);
    if (!loop_.RunUntil([&] { return client.Active(); }, 10s)) {
      std::fprintf(stderr, "could not connect\n");
      std::exit(1);
    }
  }

  void Read(TObject*, TAsyncSocket* socket) { received_ += socket->ReceiveText().size(); }
  void Write(TObject*, TAsyncSocket*) { Pump(); }

  // Sends blocks until the platform refuses; a block taken in part goes on from where it
  // stopped, and the rest waits for the next OnWrite.
  void Pump() {
    while (socket_ != nullptr && sent_ < total_) {
      const int n = socket_->SendBuf(block_.data() + offset_, int(block_.size() - offset_));
      if (n <= 0) return;
      sent_ += std::size_t(n);
      offset_ = (offset_ + std::size_t(n)) % block_.size();
    }
  }

  loopback::TEventLoop& loop_;
  std::size_t total_;
  std::string block_;
  std::size_t received_ = 0;
  std::size_t sent_ = 0;
  std::size_t offset_ = 0;
  TAsyncSocket* socket_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::size_t(std::max(1, std::atoi(argv[1]))) : 128;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  loopback::TEventLoop loop(argc, argv);
  TBench bench(loop, megabytes << 20);
  double receive = 0, send = 0, plainReceive = 0, plainSend = 0;
  for (int i = 0; i < runs; ++i) {
    plainReceive = std::max(plainReceive, bench.PlainReceive());
    receive = std::max(receive, bench.ComponentReceive());
    plainSend = std::max(plainSend, bench.PlainSend());
    send = std::max(send, bench.ComponentSend());
  }
  const double mb = 1 << 20;
  std::printf("socket throughput over loopback, %zu MiB per run, best of %d\n", megabytes, runs);
  std::printf("  receive  OnRead/ReceiveText %9.1f MiB/s   plain blocking pair %9.1f MiB/s   ratio %.2f\n",
              receive / mb, plainReceive / mb, plainReceive > 0 ? receive / plainReceive : 0);
  std::printf("  send     SendText 4096 B    %9.1f MiB/s   plain blocking pair %9.1f MiB/s   ratio %.2f\n",
              send / mb, plainSend / mb, plainSend > 0 ? send / plainSend : 0);
  return receive > 0 && send > 0 ? 0 : 1;
}
