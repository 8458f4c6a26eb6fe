// The device at the far end of the guest's /dev/ttyS1, run on the host against the pseudo-terminal
// QEMU made for it. QEMU's 16550 moves bytes as fast as the far end takes and gives them, so
// every pacing to a baud rate happens here. The guest's tests command it over /dev/ttyS2, one
// line each, and get one line back ("ok ..." or "err ...").
//
//   uart-farend DATA_PTY CONTROL_PTY [QMP_SOCKET]
//
//   xfer BAUD TIMEOUT_MS SEND_SEED SEND_N RECV_SEED RECV_N FLAGS [HOLD_MS]
//        sends SEND_N pattern bytes paced at BAUD (0: as fast as taken) while receiving RECV_N
//        bytes, compared against their pattern. FLAGS: 1 payload without 0x11/0x13, 2 received
//        0x11/0x13 are XON/XOFF (honoured, counted, not data), 4 echo instead of comparing.
//        HOLD_MS: nothing is read during the first HOLD_MS (the line backs up into the guest).
//        -> ok rx=N xoff=A xon=B firstxoff=SENT_AT_FIRST_XOFF
//   pairs REPEATS SEP_US GAP_US...   per gap, REPEATS times: 'a', GAP_US, 'b', SEP_US  -> ok
//   frames COUNT LEN BYTE_US GAP_US  COUNT frames of LEN bytes ('A'+frame), BYTE_US apart inside
//                                    a frame, GAP_US between frames                    -> ok
//   unplug ID                        removes QEMU's device ID (device_del over QMP)    -> ok
//   drain MS                         reads for MS, answers the count                   -> ok N
//   sink IDLE_MS                     reads nothing until the next line on the command line, then
//                                    reads until IDLE_MS pass without a byte  -> ok rx=N digest=D
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/uart/pattern.h"

namespace {
std::string qmpSocket;
using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

int OpenRaw(const char* path) {
  const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "uart-farend: %s: %s\n", path, std::strerror(errno));
    std::exit(2);
  }
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Waits up to `limit` for `fd` to be ready for `events`.
bool WaitFd(int fd, short events, Clock::duration limit) {
  pollfd p{fd, events, 0};
  const auto ms = std::chrono::duration_cast<milliseconds>(limit).count();
  return ::poll(&p, 1, static_cast<int>(ms < 0 ? 0 : ms)) > 0;
}

void WriteAll(int fd, const char* data, std::size_t count) {
  while (count) {
    const ssize_t n = ::write(fd, data, count);
    if (n > 0) {
      data += n;
      count -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      WaitFd(fd, POLLOUT, milliseconds(100));
    }
  }
}

void SleepUntil(Clock::time_point t) {
  // The last stretch spins: a timer's slack would blur the gaps being measured.
  const auto coarse = t - microseconds(300);
  if (Clock::now() < coarse) std::this_thread::sleep_until(coarse);
  while (Clock::now() < t) {
  }
}

struct Transfer {
  long baud = 0, timeoutMs = 0, holdMs = 0;
  unsigned sendSeed = 0, recvSeed = 0, flags = 0;
  std::size_t sendN = 0, recvN = 0;
};

std::string RunTransfer(int data, const Transfer& x) {
  const bool flowless = x.flags & 1, flow = x.flags & 2, echo = x.flags & 4;
  const auto start = Clock::now();
  const auto deadline = start + milliseconds(x.timeoutMs);
  const auto hold = start + milliseconds(x.holdMs);
  const auto byteTime = x.baud ? microseconds(10'000'000 / x.baud) : microseconds(0);
  std::string out = echo ? std::string() : uart::Pattern(x.sendSeed, x.sendN, flowless);
  std::size_t sent = 0, got = 0, xoff = 0, xon = 0;
  long firstXoff = -1;
  bool paused = false;
  auto due = Clock::now();
  char buffer[4096];
  while (Clock::now() < deadline) {
    if (got >= x.recvN && sent >= out.size()) break;
    // Receive.
    if (Clock::now() >= hold) {
      const ssize_t n = ::read(data, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (flow && (c == uart::kXoff || c == uart::kXon)) {
          if (c == uart::kXoff) {
            ++xoff;
            if (firstXoff < 0) firstXoff = static_cast<long>(sent);
            paused = true;
          } else {
            ++xon;
            paused = false;
            due = Clock::now();
          }
          continue;
        }
        if (echo) {
          out.push_back(c);
        } else if (x.recvN == 0) {
          continue;  // not asked to receive: whatever comes is dropped
        } else if (got >= x.recvN) {
          return "err extra bytes after " + std::to_string(got);
        } else if (c !=
                   (flowless ? uart::FlowlessByte(x.recvSeed, got) : uart::PatternByte(x.recvSeed, got))) {
          return "err mismatch at " + std::to_string(got);
        }
        ++got;
      }
    }
    // Send what is due.
    if (!paused && sent < out.size()) {
      std::size_t room = out.size() - sent;
      if (x.baud) {
        const auto now = Clock::now();
        if (now < due)
          room = 0;
        else
          room = std::min<std::size_t>(room, 1 + static_cast<std::size_t>((now - due) / byteTime));
      }
      if (room) {
        const ssize_t n = ::write(data, out.data() + sent, room);
        if (n > 0) {
          sent += static_cast<std::size_t>(n);
          if (x.baud) due += byteTime * n;
        }
      }
    }
    pollfd p{data, POLLIN, 0};
    if (!paused && sent < out.size()) p.events |= POLLOUT;
    int wait = 20;
    if (x.baud && !paused && sent < out.size()) wait = 1;
    if (Clock::now() < hold) wait = 5;
    ::poll(&p, 1, wait);
  }
  if (got < x.recvN || sent < out.size())
    return "err timeout sent=" + std::to_string(sent) + " rx=" + std::to_string(got) +
           " xoff=" + std::to_string(xoff) + " xon=" + std::to_string(xon);
  // A trailing XON may still be on its way.
  if (flow && xoff > xon) {
    const auto until = Clock::now() + milliseconds(500);
    while (xoff > xon && Clock::now() < until) {
      WaitFd(data, POLLIN, milliseconds(50));
      const ssize_t n = ::read(data, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) xon += buffer[i] == uart::kXon;
    }
  }
  return "ok rx=" + std::to_string(got) + " xoff=" + std::to_string(xoff) + " xon=" + std::to_string(xon) +
         " firstxoff=" + std::to_string(firstXoff);
}

std::string Pairs(int data, std::istringstream& args) {
  long repeats = 0, sepUs = 0, gap = 0;
  args >> repeats >> sepUs;
  std::vector<long> gaps;
  while (args >> gap) gaps.push_back(gap);
  for (long g : gaps) {
    for (long r = 0; r < repeats; ++r) {
      auto t = Clock::now();
      WriteAll(data, "a", 1);
      SleepUntil(t + microseconds(g));
      WriteAll(data, "b", 1);
      std::this_thread::sleep_for(microseconds(sepUs));
    }
  }
  return "ok";
}

std::string Frames(int data, std::istringstream& args) {
  long count = 0, length = 0, byteUs = 0, gapUs = 0;
  args >> count >> length >> byteUs >> gapUs;
  for (long f = 0; f < count; ++f) {
    auto t = Clock::now();
    for (long i = 0; i < length; ++i) {
      const char c = static_cast<char>('A' + f % 26);
      WriteAll(data, &c, 1);
      t += microseconds(byteUs);
      if (i + 1 < length) SleepUntil(t);
    }
    SleepUntil(Clock::now() + microseconds(gapUs));
  }
  return "ok";
}

std::string Drain(int data, long ms) {
  std::size_t count = 0;
  const auto until = Clock::now() + milliseconds(ms);
  char buffer[4096];
  while (Clock::now() < until) {
    WaitFd(data, POLLIN, until - Clock::now());
    const ssize_t n = ::read(data, buffer, sizeof buffer);
    if (n > 0) count += static_cast<std::size_t>(n);
  }
  return "ok " + std::to_string(count);
}

std::string Sink(int data, int control, long idleMs) {
  char buffer[4096];
  for (;;) {
    WaitFd(control, POLLIN, milliseconds(1000));
    const ssize_t n = ::read(control, buffer, sizeof buffer);
    if (n > 0 && std::memchr(buffer, '\n', static_cast<std::size_t>(n))) break;
  }
  std::string got;
  while (WaitFd(data, POLLIN, milliseconds(idleMs))) {
    const ssize_t n = ::read(data, buffer, sizeof buffer);
    if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
  }
  return "ok rx=" + std::to_string(got.size()) + " digest=" + std::to_string(uart::Digest(got));
}

// One command to QEMU's machine protocol: the greeting, capabilities, then the command.
std::string Unplug(const std::string& socketPath, const std::string& id) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    if (fd >= 0) ::close(fd);
    return "err no QMP socket at " + socketPath;
  }
  std::string seen;
  auto readUntil = [&](const char* what) {
    char buffer[1024];
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (seen.find(what) == std::string::npos && Clock::now() < until) {
      WaitFd(fd, POLLIN, milliseconds(200));
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
    }
    return seen.find(what) != std::string::npos;
  };
  bool ok = readUntil("\"QMP\"");
  const std::string hello = "{\"execute\":\"qmp_capabilities\"}\n";
  const std::string command = "{\"execute\":\"device_del\",\"arguments\":{\"id\":\"" + id + "\"}}\n";
  seen.clear();
  ok = ok && ::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) > 0 && readUntil("\"return\"");
  seen.clear();
  ok = ok && ::send(fd, command.data(), command.size(), MSG_NOSIGNAL) > 0 && readUntil("\"return\"");
  ::close(fd);
  return ok ? "ok" : "err QMP: " + seen;
}

std::string Execute(int data, int control, const std::string& line) {
  std::istringstream args(line);
  std::string verb;
  args >> verb;
  if (verb == "xfer") {
    Transfer x;
    args >> x.baud >> x.timeoutMs >> x.sendSeed >> x.sendN >> x.recvSeed >> x.recvN >> x.flags;
    if (!args) return "err bad xfer";
    args >> x.holdMs;
    return RunTransfer(data, x);
  }
  if (verb == "pairs") return Pairs(data, args);
  if (verb == "frames") return Frames(data, args);
  if (verb == "sink") {
    long ms = 0;
    args >> ms;
    return Sink(data, control, ms);
  }
  if (verb == "unplug") {
    std::string id;
    args >> id;
    return Unplug(qmpSocket, id);
  }
  if (verb == "drain") {
    long ms = 0;
    args >> ms;
    return Drain(data, ms);
  }
  return "err unknown command: " + verb;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: uart-farend DATA_PTY CONTROL_PTY [QMP_SOCKET]\n");
    return 2;
  }
  if (argc == 4) qmpSocket = argv[3];
  const int data = OpenRaw(argv[1]);
  const int control = OpenRaw(argv[2]);
  std::string pending;
  char buffer[256];
  for (;;) {
    WaitFd(control, POLLIN, milliseconds(1000));
    const ssize_t n = ::read(control, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno == EIO))
      std::this_thread::sleep_for(milliseconds(100));  // QEMU not there yet
    if (n <= 0) continue;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line.empty()) continue;
      const std::string reply = Execute(data, control, line) + "\n";
      WriteAll(control, reply.data(), reply.size());
    }
  }
}
