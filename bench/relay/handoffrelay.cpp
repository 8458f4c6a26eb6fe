// The least a relay with the console's thread model can cost, for the bench to measure beside
// the console: no window, no event loop, no component. A receive thread reads the raw terminal
// and cuts blocks the console's way (4096 bytes, or the line quiet for the interval), handing
// each to the main thread; the main thread sends blocks to the server and hands what the server
// sends to a transmit thread, which writes it to the terminal. Each hand-off is a locked queue
// and an eventfd, woken only when its reader may be asleep. With --direct there is no hand-off:
// the receive thread sends its blocks itself and the main thread writes to the terminal, which
// shows what the hand-offs cost.
//
//   handoff-relay DEVICE PORT [--interval MS] [--direct]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace {

constexpr std::size_t kBlock = 4096;

// Blocks from one thread to another. The eventfd is written only when the queue was empty,
// so a busy reader is not signalled once a block.
class THandOff {
 public:
  THandOff() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~THandOff() { ::close(fd_); }
  int Fd() const { return fd_; }
  void Put(std::string block) {
    bool wake;
    {
      std::lock_guard<std::mutex> hold(lock_);
      wake = blocks_.empty();
      blocks_.push_back(std::move(block));
    }
    if (wake) {
      const std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
    }
  }
  // Everything waiting; clears the signal first, so a block put meanwhile signals again.
  std::deque<std::string> TakeAll() {
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(fd_, &count, sizeof count);
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(blocks_, {});
  }

 private:
  const int fd_;
  std::mutex lock_;
  std::deque<std::string> blocks_;
};

bool WriteAll(int fd, const char* data, std::size_t size, int stop) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= std::size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd wait[2] = {{fd, POLLOUT, 0}, {stop, POLLIN, 0}};
      ::poll(wait, 2, -1);
      if (wait[1].revents) return false;
    } else {
      return false;
    }
  }
  return true;
}

timespec Now() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return t;
}

long long NanosBetween(const timespec& a, const timespec& b) {
  return (b.tv_sec - a.tv_sec) * 1'000'000'000ll + (b.tv_nsec - a.tv_nsec);
}

// Where the receive thread's blocks go: to the main thread, or (net >= 0) straight to the server.
struct TBlockSink {
  THandOff* toMain = nullptr;
  int net = -1, stop = -1;
  bool Put(std::string block) {
    if (net < 0) {
      toMain->Put(std::move(block));
      return true;
    }
    return WriteAll(net, block.data(), block.size(), stop);
  }
};

void Receive(int tty, int stop, long long intervalNs, TBlockSink sink) {
  std::string block;
  block.reserve(kBlock);
  // Up to a block beyond the one being filled, as the console's device reads: a terminal hands
  // over a byte less than a block at a time.
  char buffer[2 * kBlock];
  timespec last{};
  for (;;) {
    long long left = -1;
    if (!block.empty()) left = std::max(0ll, intervalNs - NanosBetween(last, Now()));
    pollfd wait[2] = {{tty, POLLIN, 0}, {stop, POLLIN, 0}};
    const timespec timeout{time_t(left / 1'000'000'000), long(left % 1'000'000'000)};
    const int r = ::ppoll(wait, 2, left < 0 ? nullptr : &timeout, nullptr);
    if (r < 0 && errno != EINTR) return;
    if (wait[1].revents) return;
    if (r == 0) {
      if (!sink.Put(std::exchange(block, {}))) return;
      block.reserve(kBlock);
      continue;
    }
    if (!(wait[0].revents & POLLIN)) {
      if (wait[0].revents) return;
      continue;
    }
    const ssize_t n = ::read(tty, buffer, 2 * kBlock - block.size());
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return;
    }
    last = Now();
    for (std::string_view got(buffer, std::size_t(n)); !got.empty();) {
      const std::size_t take = std::min(got.size(), kBlock - block.size());
      block.append(got.substr(0, take));
      got.remove_prefix(take);
      if (block.size() == kBlock) {
        if (!sink.Put(std::exchange(block, {}))) return;
        block.reserve(kBlock);
      }
    }
  }
}

void Transmit(int tty, int stop, THandOff& fromMain) {
  for (;;) {
    pollfd wait[2] = {{fromMain.Fd(), POLLIN, 0}, {stop, POLLIN, 0}};
    if (::poll(wait, 2, -1) < 0 && errno != EINTR) return;
    if (wait[1].revents) return;
    if (!wait[0].revents) continue;
    for (const std::string& block : fromMain.TakeAll())
      if (!WriteAll(tty, block.data(), block.size(), stop)) return;
  }
}

int Usage() {
  std::fprintf(stderr, "usage: handoff-relay DEVICE PORT [--interval MS] [--direct]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  int intervalMs = 1;
  bool direct = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--interval") && i + 1 < argc)
      intervalMs = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--direct"))
      direct = true;
    else
      return Usage();
  }
  const int tty = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (tty < 0) {
    std::perror(argv[1]);
    return 1;
  }
  termios raw{};
  ::tcgetattr(tty, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(tty, TCSANOW, &raw);

  const int net = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(std::uint16_t(std::atoi(argv[2])));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(net, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    std::perror("connect");
    return 1;
  }
  const int on = 1;
  ::setsockopt(net, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::fcntl(net, F_SETFL, ::fcntl(net, F_GETFL) | O_NONBLOCK);

  const int stop = ::eventfd(0, EFD_CLOEXEC);
  THandOff toMain, toSerial;
  std::thread receiver(Receive, tty, stop, intervalMs * 1'000'000ll,
                       TBlockSink{&toMain, direct ? net : -1, stop});
  std::thread transmitter;
  if (!direct) transmitter = std::thread(Transmit, tty, stop, std::ref(toSerial));

  std::string piece(64 << 10, '\0');
  for (bool open = true; open;) {
    pollfd wait[2] = {{toMain.Fd(), POLLIN, 0}, {net, POLLIN, 0}};
    if (::poll(wait, 2, -1) < 0 && errno != EINTR) break;
    if (wait[0].revents)
      for (const std::string& block : toMain.TakeAll())
        if (!WriteAll(net, block.data(), block.size(), stop)) open = false;
    if (wait[1].revents) {
      const ssize_t n = ::recv(net, piece.data(), piece.size(), 0);
      if (n > 0 && !direct) {
        toSerial.Put(piece.substr(0, std::size_t(n)));
      } else if (n > 0) {
        if (!WriteAll(tty, piece.data(), std::size_t(n), stop)) open = false;
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        open = false;
      }
    }
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(stop, &one, sizeof one);
  receiver.join();
  if (transmitter.joinable()) transmitter.join();
  ::close(net);
  ::close(tty);
  ::close(stop);
  return 0;
}
