#include "platform/winsock/fake/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace loopback {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

bool WaitReadable(int fd, milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  int r;
  do {
    r = ::poll(&p, 1, int(timeout.count()));
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

int BoundListener(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = Loopback(0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

TPeer& TPeer::operator=(TPeer&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

TPeer::~TPeer() { Close(); }

bool TPeer::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

std::string TPeer::ReceiveSome(std::size_t size, milliseconds timeout) {
  if (!WaitReadable(fd_, timeout)) return {};
  std::string bytes(size, '\0');
  const long n = Read(bytes.data(), size);
  bytes.resize(n > 0 ? std::size_t(n) : 0);
  return bytes;
}

std::string TPeer::ReceiveExactly(std::size_t size, milliseconds timeout) {
  std::string bytes;
  const auto deadline = Clock::now() + timeout;
  while (bytes.size() < size) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitReadable(fd_, left)) break;
    std::string chunk(size - bytes.size(), '\0');
    const long n = Read(chunk.data(), chunk.size());
    if (n <= 0) break;
    bytes.append(chunk.data(), std::size_t(n));
  }
  return bytes;
}

long TPeer::Read(char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::recv(fd_, buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  return long(n);
}

bool TPeer::WaitClosed(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitReadable(fd_, left)) return false;
    if (Read(buffer, sizeof buffer) <= 0) return true;
  }
}

void TPeer::SetReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

void TPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TPeer::Reset() {
  if (fd_ < 0) return;
  const linger abortive{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

TServer::TServer() {
  fd_ = BoundListener(port_);
  if (::listen(fd_, 64) < 0) {
    ::close(fd_);
    throw std::runtime_error("listen");
  }
}

TServer::~TServer() { ::close(fd_); }

TPeer TServer::Accept(milliseconds timeout) {
  if (!WaitReadable(fd_, timeout)) return TPeer();
  const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  return TPeer(fd);
}

void TServer::SetReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

std::uint16_t RefusingPort() {
  std::uint16_t port = 0;
  ::close(BoundListener(port));
  return port;
}

TPeer ConnectPlain(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return TPeer();
  TPeer peer(fd);
  sockaddr_in a = Loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) return TPeer();
  return peer;
}

}  // namespace loopback
