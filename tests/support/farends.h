// The far ends of a relay, for whole-program tests and benchmarks: a pseudo-terminal whose
// master is the device side of the cable, and a TCP server on 127.0.0.1.
#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace farend {

// Runs the Qt event loop until `done` holds or the time is up; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10));

class Pty {
 public:
  Pty();  // raw, non-blocking master
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return path_; }
  int MasterFd() const { return master_; }
  // Writes everything (waiting for room as needed).
  void Write(const std::string& bytes);
  // Writes what fits now; returns the count.
  std::size_t WriteSome(const char* data, std::size_t count);
  // Whatever is waiting now, appended to `into`; false when the master sees a hang-up.
  bool ReadAvailable(std::string& into);
  // At most `max` bytes of what is waiting.
  void ReadUpTo(std::string& into, std::size_t max);
  // Closes the master: the slave side hangs up.
  void CloseMaster();

 private:
  int master_ = -1;
  int keepSlave_ = -1;  // keeps the slave configured between opens
  std::string path_;
};

class TcpServer {
 public:
  // Listening on 127.0.0.1, on `port` (a server back on the port it had) or an ephemeral one.
  explicit TcpServer(int port = 0);
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  int Port() const { return port_; }
  // Accepts one pending connection if there is one; true when a client is connected.
  bool AcceptPending();
  bool Connected() const { return client_ >= 0; }
  void Send(const std::string& bytes);                        // everything, waiting for room as needed
  std::size_t SendSome(const char* data, std::size_t count);  // what fits now
  bool ReadAvailable(std::string& into);                      // false once the client has closed
  void Close();                                               // orderly close of the client connection
  void Reset();                                               // SO_LINGER 0: the client sees a reset
  void StopListening();

 private:
  int listen_ = -1;
  int client_ = -1;
  int port_ = 0;
};

// A port with nothing listening on it (bound and closed again).
int UnusedPort();

// Writes `bytes` at the serial far end and returns what reached the server (or the other way
// round), once as many bytes came or a minute passed.
std::string SerialToServer(Pty& pty, TcpServer& server, const std::string& bytes);
std::string ServerToSerial(TcpServer& server, Pty& pty, const std::string& bytes);

}  // namespace farend
