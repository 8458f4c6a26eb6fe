#include "tests/support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <thread>

#include "platform/files/descriptor.h"
#include "tests/support/pump.h"

namespace {
using Clock = std::chrono::steady_clock;

bool WaitFor(int fd, short events, std::chrono::milliseconds limit) {
  pollfd p{fd, events, 0};
  int r;
  do r = ::poll(&p, 1, int(std::max<long long>(0, limit.count())));
  while (r < 0 && errno == EINTR);
  return r > 0;
}

void SetRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
}
}  // namespace

TPseudoTerminal::TPseudoTerminal() {
  char name[128];
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
    throw std::runtime_error("no pseudo-terminal");
  path_ = name;
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  SetRaw(master_);
  MakeRaw();
}

TPseudoTerminal::~TPseudoTerminal() { CloseMaster(); }

void TPseudoTerminal::MakeRaw() {
  if (slave_ >= 0) SetRaw(slave_);
}

void TPseudoTerminal::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = master_ >= 0 ? ::write(master_, bytes.data() + done, bytes.size() - done) : -1;
    if (n > 0) {
      done += std::size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      PumpOnce();
      WaitFor(master_, POLLOUT, std::chrono::milliseconds(50));
    } else {
      throw std::runtime_error("pseudo-terminal write failed");
    }
  }
}

std::size_t TPseudoTerminal::WriteSome(const char* data, std::size_t count) {
  if (master_ < 0 || count == 0) return 0;
  const ssize_t n = ::write(master_, data, count);
  return n > 0 ? std::size_t(n) : 0;
}

std::string TPseudoTerminal::Read(std::size_t count, std::chrono::milliseconds limit) {
  std::string out;
  const auto end = Clock::now() + limit;
  char buffer[65536];
  while (out.size() < count && master_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) break;
    if (!WaitFor(master_, POLLIN, left)) continue;
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    out.append(buffer, std::size_t(n));
  }
  return out;
}

std::string TPseudoTerminal::ReadUntilQuiet(std::chrono::milliseconds quiet) {
  std::string out;
  char buffer[65536];
  while (master_ >= 0 && WaitFor(master_, POLLIN, quiet)) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    out.append(buffer, std::size_t(n));
  }
  return out;
}

bool TPseudoTerminal::ReadAvailable(std::string& into) {
  if (master_ < 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, std::size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && errno == EAGAIN;  // EIO: the slave side hung up
  }
}

void TPseudoTerminal::ReadUpTo(std::string& into, std::size_t max) {
  std::string buffer(max, '\0');
  const ssize_t n = master_ >= 0 ? ::read(master_, buffer.data(), max) : -1;
  if (n > 0) into.append(buffer.data(), std::size_t(n));
}

void TPseudoTerminal::CloseMaster() {
  CloseDescriptor(master_);
  // The slave only hangs up when no one else holds it open either.
  CloseDescriptor(slave_);
}

double RawPseudoTerminalTransfer(TPseudoTerminal& pty, std::size_t bytes, bool toSlave) {
  int slave = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return 0;
  const int from = toSlave ? pty.MasterFd() : slave;
  const int to = toSlave ? slave : pty.MasterFd();
  const auto start = Clock::now();
  std::thread writer([&] {
    static char chunk[4096];
    std::size_t sent = 0;
    while (sent < bytes) {
      const ssize_t n = ::write(from, chunk, std::min(sizeof chunk, bytes - sent));
      if (n < 0 && errno == EAGAIN) WaitFor(from, POLLOUT, std::chrono::milliseconds(100));
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return;
      sent += std::size_t(n);
    }
  });
  char buffer[4096];
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t n = ::read(to, buffer, sizeof buffer);
    if (n < 0 && errno == EAGAIN && WaitFor(to, POLLIN, std::chrono::seconds(5))) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += std::size_t(n);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  CloseDescriptor(slave);
  return got == bytes ? seconds : 0;
}
