// Test and benchmark helpers on the loopback interface, in plain blocking Linux sockets: a
// server that accepts on 127.0.0.1, its peers, a port that refuses, and a descriptor count.
// Linked by tests and benchmarks only.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace loopback {

using std::chrono::milliseconds;

// One accepted connection (or the client end of a plain pair), blocking.
class TPeer {
 public:
  TPeer() = default;
  explicit TPeer(int fd) : fd_(fd) {}
  TPeer(TPeer&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TPeer& operator=(TPeer&& other) noexcept;
  ~TPeer();

  bool Valid() const { return fd_ >= 0; }
  // Sends every byte; false when the connection failed first.
  bool SendAll(const char* data, std::size_t size);
  bool SendAll(const std::string& bytes) { return SendAll(bytes.data(), bytes.size()); }
  // Up to `size` bytes as they arrive; waits at most `timeout` for the first. Empty at the end.
  std::string ReceiveSome(std::size_t size, milliseconds timeout);
  // Reads until `size` bytes came, the peer closed, or `timeout` passed in total.
  std::string ReceiveExactly(std::size_t size, milliseconds timeout);
  // Blocking read into `buffer`; 0 at the end, -1 on failure.
  long Read(char* buffer, std::size_t size);
  // True when the other side closes (orderly or not) within `timeout`; discards data.
  bool WaitClosed(milliseconds timeout);
  void SetReceiveBuffer(int bytes);
  void Close();  // orderly
  void Reset();  // abortive: the other side sees a reset

 private:
  int fd_ = -1;
};

class TServer {
 public:
  TServer();  // listens on 127.0.0.1, port chosen by the system
  ~TServer();
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // A waiting connection, or an invalid peer after `timeout`.
  TPeer Accept(milliseconds timeout);
  // Small receive buffers for connections accepted from now on (set on the listener).
  void SetReceiveBuffer(int bytes);

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 that nobody listens on (bound once, then released).
std::uint16_t RefusingPort();
// A plain blocking client connected to 127.0.0.1:port.
TPeer ConnectPlain(std::uint16_t port);

}  // namespace loopback
