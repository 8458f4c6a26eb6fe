#include "tests/support/netprobes.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace netprobe {

SilentServer::SilentServer() {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), n) != 0 || ::listen(listen_, 0) != 0) return;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
  port_ = ntohs(a.sin_port);
  // Connections nobody accepts, until one is left hanging.
  for (int i = 0; i < 8 && !dropping_; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    fillers_.push_back(fd);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pollfd p{fd, POLLOUT, 0};
    dropping_ = ::poll(&p, 1, 300) == 0;
  }
}

SilentServer::~SilentServer() {
  for (int fd : fillers_) ::close(fd);
  ::close(listen_);
}

int SocketTo(int port) {
  DIR* dir = ::opendir("/proc/self/fd");
  int found = -1;
  while (dirent* d = dir ? ::readdir(dir) : nullptr) {
    const int fd = std::atoi(d->d_name);
    sockaddr_in peer{};
    socklen_t n = sizeof peer;
    if (fd <= 2 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &n) != 0) continue;
    if (peer.sin_family == AF_INET && ntohs(peer.sin_port) == port) found = fd;
  }
  if (dir) ::closedir(dir);
  return found;
}

namespace {
int Option(int fd, int level, int name) {
  int value = -1;
  socklen_t n = sizeof value;
  return ::getsockopt(fd, level, name, &value, &n) == 0 ? value : -1;
}
}  // namespace

KeepAlive KeepAliveOf(int fd) {
  return {Option(fd, SOL_SOCKET, SO_KEEPALIVE), Option(fd, IPPROTO_TCP, TCP_KEEPIDLE),
          Option(fd, IPPROTO_TCP, TCP_KEEPINTVL), Option(fd, IPPROTO_TCP, TCP_KEEPCNT),
          Option(fd, IPPROTO_TCP, TCP_USER_TIMEOUT)};
}

bool ShortenDeadPeerTimes(int fd) {
  const int one = 1;
  const unsigned limit = 1000;
  return ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &one, sizeof one) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &one, sizeof one) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit) == 0;
}

PrivateNetwork::PrivateNetwork() {
  home_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  entered_ = home_ >= 0 && ::unshare(CLONE_NEWNET) == 0 && Loopback(true);
}

PrivateNetwork::~PrivateNetwork() {
  if (home_ < 0) return;
  ::setns(home_, CLONE_NEWNET);
  ::close(home_);
}

bool PrivateNetwork::Loopback(bool up) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq r{};
  std::strcpy(r.ifr_name, "lo");
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &r) == 0;
  r.ifr_flags = short(up ? (r.ifr_flags | IFF_UP) : (r.ifr_flags & ~IFF_UP));
  ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &r) == 0;
  ::close(fd);
  return ok;
}

}  // namespace netprobe
