#include "tests/support/farends.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <cerrno>
#include <stdexcept>

namespace farend {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
  return true;
}

namespace {
// A socket write never raises SIGPIPE here; the pty master is not a socket.
ssize_t Put(int fd, const char* data, std::size_t count) {
  const ssize_t n = ::send(fd, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && errno == ENOTSOCK) return ::write(fd, data, count);
  return n;
}

void WaitWritable(int fd) {
  pollfd p{fd, POLLOUT, 0};
  ::poll(&p, 1, 50);
}

void WriteAll(int fd, const std::string& bytes, const std::function<void()>& whileWaiting) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = Put(fd, bytes.data() + at, bytes.size() - at);
    if (n > 0) {
      at += std::size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      whileWaiting();
      WaitWritable(fd);
    } else {
      throw std::runtime_error("far end write failed");
    }
  }
}

// Drains without blocking; false on end of stream or hang-up.
bool ReadAll(int fd, std::string& into) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      into.append(buf, std::size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    return false;
  }
}

void ProcessSome() { QCoreApplication::processEvents(QEventLoop::AllEvents, 1); }

std::size_t WriteNow(int fd, const char* data, std::size_t count) {
  if (fd < 0 || count == 0) return 0;
  const ssize_t n = Put(fd, data, count);
  return n > 0 ? std::size_t(n) : 0;
}
}  // namespace

Pty::Pty() {
  int slave = -1;
  char name[128];
  if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  path_ = name;
  termios t{};
  ::tcgetattr(slave, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave, TCSANOW, &t);
  ::tcgetattr(master_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(master_, TCSANOW, &t);
  keepSlave_ = slave;
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(keepSlave_, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty() {
  CloseMaster();
  if (keepSlave_ >= 0) ::close(keepSlave_);
}

void Pty::Write(const std::string& bytes) { WriteAll(master_, bytes, ProcessSome); }

std::size_t Pty::WriteSome(const char* data, std::size_t count) { return WriteNow(master_, data, count); }

bool Pty::ReadAvailable(std::string& into) { return master_ >= 0 && ReadAll(master_, into); }

void Pty::ReadUpTo(std::string& into, std::size_t max) {
  std::string buf(max, '\0');
  const ssize_t n = master_ >= 0 ? ::read(master_, buf.data(), max) : -1;
  if (n > 0) into.append(buf.data(), std::size_t(n));
}

void Pty::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
  // The slave only hangs up when no one else holds it open either.
  if (keepSlave_ >= 0) ::close(keepSlave_);
  keepSlave_ = -1;
}

TcpServer::TcpServer(int port) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int on = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(std::uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 4) != 0 ||
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("listen failed");
  port_ = ntohs(a.sin_port);
}

TcpServer::~TcpServer() {
  Close();
  StopListening();
}

bool TcpServer::AcceptPending() {
  if (client_ >= 0) return true;
  if (listen_ < 0) return false;
  client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  return client_ >= 0;
}

void TcpServer::Send(const std::string& bytes) { WriteAll(client_, bytes, ProcessSome); }

std::size_t TcpServer::SendSome(const char* data, std::size_t count) {
  return WriteNow(client_, data, count);
}

bool TcpServer::ReadAvailable(std::string& into) { return client_ >= 0 && ReadAll(client_, into); }

void TcpServer::Close() {
  if (client_ >= 0) ::close(client_);
  client_ = -1;
}

void TcpServer::Reset() {
  if (client_ < 0) return;
  linger l{1, 0};
  ::setsockopt(client_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void TcpServer::StopListening() {
  if (listen_ >= 0) ::close(listen_);
  listen_ = -1;
}

std::string SerialToServer(Pty& pty, TcpServer& server, const std::string& bytes) {
  std::string got;
  pty.Write(bytes);
  WaitUntil(
      [&] {
        server.ReadAvailable(got);
        return got.size() >= bytes.size();
      },
      std::chrono::seconds(60));
  return got;
}

std::string ServerToSerial(TcpServer& server, Pty& pty, const std::string& bytes) {
  std::string got;
  server.Send(bytes);
  WaitUntil(
      [&] {
        pty.ReadAvailable(got);
        return got.size() >= bytes.size();
      },
      std::chrono::seconds(60));
  return got;
}

int UnusedPort() {
  TcpServer s;
  const int port = s.Port();
  return port;
}

}  // namespace farend
