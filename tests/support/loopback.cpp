#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/files/descriptor.h"
#include "tests/support/pump.h"

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

// Bound to `port` (0: one the system chooses), which then holds the port bound.
int BoundListener(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = Loopback(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
    int failed = fd;
    CloseDescriptor(failed);
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

bool TPeer::ReadAvailable(std::string& into) {
  if (fd_ < 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      into.append(buffer, std::size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

std::size_t TPeer::SendSome(const char* data, std::size_t count) {
  if (fd_ < 0 || count == 0) return 0;
  const ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  return n > 0 ? std::size_t(n) : 0;
}

void TPeer::SendPumping(const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n =
        fd_ >= 0 ? ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT) : -1;
    if (n > 0) {
      at += std::size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      PumpOnce();
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, 50);
    } else {
      throw std::runtime_error("far end send failed");
    }
  }
}

void TPeer::SetReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

void TPeer::Close() { CloseDescriptor(fd_); }

void TPeer::Reset() {
  if (fd_ < 0) return;
  const linger abortive{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

TServer::TServer(std::uint16_t port) : port_(port) {
  fd_ = BoundListener(port_);
  if (::listen(fd_, 64) < 0) {
    CloseDescriptor(fd_);
    throw std::runtime_error("listen");
  }
}

TServer::~TServer() {
  client_.Close();
  StopListening();
}

void TServer::StopListening() { CloseDescriptor(fd_); }

TPeer TServer::Accept(milliseconds timeout) {
  if (fd_ < 0 || !WaitReadable(fd_, timeout)) return TPeer();
  const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  return TPeer(fd);
}

bool TServer::AcceptPending() {
  if (client_.Valid()) return true;
  if (fd_ >= 0 && WaitReadable(fd_, milliseconds(0)))
    client_ = TPeer(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
  return client_.Valid();
}

void TServer::SetReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

std::uint16_t RefusingPort() {
  std::uint16_t port = 0;
  int fd = BoundListener(port);
  CloseDescriptor(fd);
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
