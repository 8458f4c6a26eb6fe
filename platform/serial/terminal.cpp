// The real backend: a Linux terminal device opened exclusively and non-blocking.
#include <asm/termbits.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "platform/files/descriptor.h"
#include "platform/serial/backend.h"
#include "platform/serial/comm.h"
#include "platform/serial/holders.h"
#include "platform/serial/uucplock.h"

namespace {
long Result(long result) { return result < 0 ? -errno : result; }

// The USB adapter's latency timer (FTDI: 16 ms by default) holds received bytes back until its
// buffer fills or the timer runs out; 1 ms is its shortest. It lives in sysfs beside the device.
std::string LatencyTimerPath(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) < 0 || !S_ISCHR(st.st_mode)) return {};
  return "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)) +
         "/device/latency_timer";
}

// Sets the timer to its shortest where the driver offers it and we may write it; answers the
// value found, to be put back.
std::optional<std::string> ShortenLatencyTimer(int fd) {
  const std::string path = LatencyTimerPath(fd);
  std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r+");
  if (!f) return std::nullopt;
  char old[16] = {};
  const bool read = std::fgets(old, sizeof old, f) != nullptr;
  std::rewind(f);
  const bool wrote = read && std::fputs("1", f) >= 0;
  if (std::fclose(f) != 0 || !wrote) return std::nullopt;
  return std::string(old);
}

void RestoreLatencyTimer(int fd, const std::string& value) {
  const std::string path = LatencyTimerPath(fd);
  if (std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "w")) {
    std::fputs(value.c_str(), f);
    std::fclose(f);
  }
}

// Turns the driver's low-latency mode on or off; true when this call changed it (so the flag is
// put back only where we set it).
bool SwitchLowLatency(int fd, bool on) {
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || bool(serial.flags & ASYNC_LOW_LATENCY) == on) return false;
  serial.flags = on ? (serial.flags | ASYNC_LOW_LATENCY) : (serial.flags & ~ASYNC_LOW_LATENCY);
  return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

class TTerminalBackend final : public ISerialBackend {
 public:
  TTerminalBackend(int fd, TUucpLock lock, bool pseudo) : fd_(fd), lock_(std::move(lock)), pseudo_(pseudo) {
    // Bytes are handed up as soon as the driver has them rather than batched for throughput:
    // the read interval time-out measures gaps, and every batch adds to them.
    lowLatencySet_ = SwitchLowLatency(fd_, true);
    latencyTimer_ = ShortenLatencyTimer(fd_);
  }
  ~TTerminalBackend() override {
    if (rs485Saved_) ::ioctl(fd_, TIOCSRS485, &rs485Before_);
    if (latencyTimer_) RestoreLatencyTimer(fd_, *latencyTimer_);
    if (lowLatencySet_) SwitchLowLatency(fd_, false);
    // TIOCEXCL stays on the terminal after close; give it back as we found it.
    ::ioctl(fd_, TIOCNXCL);
    CloseDescriptor(fd_);
  }

  int Fd() const override { return fd_; }
  long Read(void* buffer, std::size_t bytes) override {
    long n;
    do n = ::read(fd_, buffer, bytes);
    while (n < 0 && errno == EINTR);
    return Result(n);
  }
  long Write(const void* buffer, std::size_t bytes) override {
    long n;
    do n = ::write(fd_, buffer, bytes);
    while (n < 0 && errno == EINTR);
    return Result(n);
  }
  int GetAttributes(termios2& attributes) override { return Result(::ioctl(fd_, TCGETS2, &attributes)); }
  int SetAttributes(const termios2& attributes) override {
    return Result(::ioctl(fd_, TCSETS2, &attributes));
  }
  int SetModemLines(bool dtr, bool rts) override {
    const int set = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
    const int clear = (dtr ? 0 : TIOCM_DTR) | (rts ? 0 : TIOCM_RTS);
    // A device without modem lines (a pseudo-terminal) has nothing to set.
    if (set && ::ioctl(fd_, TIOCMBIS, &set) < 0 && errno != ENOTTY && errno != EINVAL) return -errno;
    if (clear && ::ioctl(fd_, TIOCMBIC, &clear) < 0 && errno != ENOTTY && errno != EINVAL) return -errno;
    return 0;
  }
  int SetRs485(bool enable) override {
    serial_rs485 rs{};
    if (::ioctl(fd_, TIOCGRS485, &rs) < 0) return -errno;
    if (!rs485Saved_) {
      // Put back at close exactly as found, delays and all.
      rs485Before_ = rs;
      rs485Saved_ = true;
    }
    if (enable)
      rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    else
      rs.flags &= ~SER_RS485_ENABLED;
    return Result(::ioctl(fd_, TIOCSRS485, &rs));
  }
  int Flush(bool input, bool output) override {
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return Result(::ioctl(fd_, TCFLSH, which));
  }
  long OutputQueued() override {
    int queued = 0;
    return ::ioctl(fd_, TIOCOUTQ, &queued) < 0 ? -errno : queued;
  }
  int SetupQueues(DWORD, DWORD) override {
    // The driver's queues have fixed sizes; a device that still answers is all the call needs.
    termios2 attributes{};
    return Result(::ioctl(fd_, TCGETS2, &attributes));
  }
  TLineSample SampleLines() override {
    TLineSample s;
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) == 0) {
      s.hasLines = true;
      s.lines = ((bits & TIOCM_CD) ? TLineSample::Carrier : 0u) |
                ((bits & TIOCM_RI) ? TLineSample::Ring : 0u) | ((bits & TIOCM_CTS) ? TLineSample::Cts : 0u) |
                ((bits & TIOCM_DSR) ? TLineSample::Dsr : 0u);
    }
    serial_icounter_struct ic{};
    if (::ioctl(fd_, TIOCGICOUNT, &ic) == 0) {
      s.hasCounters = true;
      s.frame = static_cast<unsigned>(ic.frame);
      s.overrun = static_cast<unsigned>(ic.overrun) + static_cast<unsigned>(ic.buf_overrun);
      s.parity = static_cast<unsigned>(ic.parity);
      s.brk = static_cast<unsigned>(ic.brk);
      s.ring = static_cast<unsigned>(ic.rng);
      s.carrier = static_cast<unsigned>(ic.dcd);
    }
    return s;
  }
  bool NeedsSampling() const override { return true; }
  bool HasLine() const override { return !pseudo_; }

 private:
  int fd_;
  TUucpLock lock_;
  const bool pseudo_;
  bool lowLatencySet_ = false;
  std::optional<std::string> latencyTimer_;
  bool rs485Saved_ = false;
  serial_rs485 rs485Before_{};
};
}  // namespace

std::unique_ptr<ISerialBackend> OpenTerminal(const std::string& path, TPlatformError& error) {
  // Everything that can refuse is asked before open(): opening raises DTR and RTS, which resets
  // the device of a program that holds the port.
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) {
    error = TPlatformError::FromErrno(errno, path);
    return nullptr;
  }
  // A by-id link names the same device as the node it points at: one lock name for both.
  const std::string device = resolved;
  int statError = 0;
  struct stat node {};
  if (!IsTerminalDevice(device, node, statError)) {
    error = statError ? TPlatformError::FromErrno(statError, path)
                      : TPlatformError::FromOwn(owncause::NotATerminal, path);
    return nullptr;
  }
  long holder = 0;
  std::string lockFile;
  TUucpLock lock;
  if (!lock.Acquire(device, holder, lockFile)) {
    error = TPlatformError::FromOwn(owncause::LockFileHeld, lockFile, holder);
    return nullptr;
  }
  if ((holder = LockHolder(node.st_dev, node.st_ino)) != 0) {
    error = TPlatformError::FromErrno(EWOULDBLOCK, path, holder);
    return nullptr;
  }
  // A program that takes no lock at all still reads the port: two readers would split the bytes.
  if (!IsPseudoTerminalSlave(node.st_rdev) && (holder = ProcessHoldingOpen(device)) != 0) {
    error = TPlatformError::FromOwn(owncause::HeldOpen, path, holder);
    return nullptr;
  }
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int failure = errno;
    error = TPlatformError::FromErrno(failure, path, failure == EBUSY ? ProcessHoldingOpen(device) : 0);
    return nullptr;
  }
  auto fail = [&](int failure, long who) -> std::unique_ptr<ISerialBackend> {
    ::close(fd);
    error = TPlatformError::FromErrno(failure, path, who);
    return nullptr;
  };
  termios2 probe{};
  if (::ioctl(fd, TCGETS2, &probe) < 0) {
    ::close(fd);
    error = TPlatformError::FromOwn(owncause::NotATerminal, path);
    return nullptr;
  }
  // Three locks, because other tools honour different ones: flock (held per open file, so
  // it holds even against root), TIOCEXCL (refuses further opens by anyone but root) and the
  // UUCP lock file. The flock may have been taken since the look above.
  if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
    const int failure = errno;
    return fail(failure, LockHolder(node.st_dev, node.st_ino));
  }
  if (::ioctl(fd, TIOCEXCL) < 0) return fail(errno, 0);
  return std::make_unique<TTerminalBackend>(fd, std::move(lock), IsPseudoTerminalSlave(node.st_rdev));
}
