// Loopback tools for the network tests that need plain Linux sockets beside the window: a
// server that never answers, the options of the window's real socket, and a private network
// whose loopback interface can be taken down.
#pragma once
#include <string>
#include <vector>

namespace netprobe {

// A listener on 127.0.0.1 whose backlog is full: further SYNs are dropped, so a connect to it
// neither succeeds nor fails until the client gives up.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // Whether a connect really hangs here (checked while filling the backlog).
  bool Dropping() const { return dropping_; }
  int Port() const { return port_; }

 private:
  int listen_ = -1;
  int port_ = 0;
  bool dropping_ = false;
  std::vector<int> fillers_;
};

// The descriptor of this process's TCP socket whose peer is 127.0.0.1:port, or -1.
int SocketTo(int port);

struct KeepAlive {
  int enabled = -1, idle = -1, interval = -1, count = -1, userTimeout = -1;
};
KeepAlive KeepAliveOf(int fd);
// Probes after 1 s, every 1 s, and gives up on unanswered data or probes after 1 s.
bool ShortenDeadPeerTimes(int fd);

// The calling thread in a network namespace of its own while this lives, its loopback up.
class PrivateNetwork {
 public:
  PrivateNetwork();
  ~PrivateNetwork();
  PrivateNetwork(const PrivateNetwork&) = delete;
  PrivateNetwork& operator=(const PrivateNetwork&) = delete;

  bool Entered() const { return entered_; }
  bool Loopback(bool up);

 private:
  int home_ = -1;
  bool entered_ = false;
};

}  // namespace netprobe
