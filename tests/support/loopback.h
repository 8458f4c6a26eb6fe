// The TCP end of tests and benchmarks, in plain Linux sockets on 127.0.0.1: one server, its
// peers, and a port nobody listens on.
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
  // Without waiting: what is there now is appended to `into`; false once the other side closed.
  bool ReadAvailable(std::string& into);
  // Without waiting: sends what fits now and answers the count.
  std::size_t SendSome(const char* data, std::size_t count);
  // Sends every byte, delivering the UI thread's events while the connection is full (so a
  // relay in this thread can take them).
  void SendPumping(const std::string& bytes);
  void SetReceiveBuffer(int bytes);
  void Close();  // orderly
  void Reset();  // abortive: the other side sees a reset

 private:
  int fd_ = -1;
};

// Listens on 127.0.0.1, on `port` (a server back on the port it had) or one the system chose. Connections are
// taken either one by one as peers (Accept), or as the one client of a relay under test (AcceptPending and
// the calls after it, which never block the UI thread).
class TServer {
 public:
  explicit TServer(std::uint16_t port = 0);
  ~TServer();
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // A waiting connection, or an invalid peer after `timeout`.
  TPeer Accept(milliseconds timeout);
  // Small receive buffers for connections accepted from now on (set on the listener).
  void SetReceiveBuffer(int bytes);
  void StopListening();

  // Takes a waiting connection as the client if there is none yet; true when there is a client.
  bool AcceptPending();
  bool Connected() const { return client_.Valid(); }
  void Send(const std::string& bytes) { client_.SendPumping(bytes); }
  std::size_t SendSome(const char* data, std::size_t count) { return client_.SendSome(data, count); }
  bool ReadAvailable(std::string& into) { return client_.ReadAvailable(into); }
  void Close() { client_.Close(); }  // orderly
  void Reset() { client_.Reset(); }  // the client sees a reset

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
  TPeer client_;
};

// A port on 127.0.0.1 that nobody listens on (bound once, then released).
std::uint16_t RefusingPort();
// A plain blocking client connected to 127.0.0.1:port.
TPeer ConnectPlain(std::uint16_t port);

}  // namespace loopback
