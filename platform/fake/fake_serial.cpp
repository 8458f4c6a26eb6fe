#include "platform/fake/fake_serial.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <set>

#include "platform/serial/backend.h"

struct TFakeSerialPort::TState {
  mutable std::mutex lock;
  std::string path;
  TSerialOpener previous;
  TLineSample sample;
  bool forced = false;
  DWORD forcedMask = 0;
  std::size_t writeLimit = 0;
  std::set<TFakeCall> failing;
  TFakeLineRecord record;
  int opens = 0;
  std::function<void()> wake;             // the live backend's notifier
  int openError = 0;                      // errno of a failing open
  std::function<void(termios2&)> driver;  // what the driver makes of the settings it is given
  std::optional<termios2> honoured;       // what it kept of the last record

  bool Fails(TFakeCall call) const { return failing.count(call) != 0; }
};

namespace {
class TFakeBackend final : public ISerialBackend {
 public:
  TFakeBackend(int fd, std::shared_ptr<TFakeSerialPort::TState> state) : fd_(fd), state_(std::move(state)) {
    std::lock_guard lock(state_->lock);
    state_->wake = [this] { Notify(); };
  }
  ~TFakeBackend() override {
    {
      std::lock_guard lock(state_->lock);
      state_->wake = nullptr;
    }
    ::close(fd_);
  }

  int Fd() const override { return fd_; }
  long Read(void* buffer, std::size_t bytes) override {
    if (Fails(TFakeCall::Read)) return -EIO;
    const long n = ::read(fd_, buffer, bytes);
    return n < 0 ? -errno : n;
  }
  long Write(const void* buffer, std::size_t bytes) override {
    std::size_t limit;
    {
      std::lock_guard lock(state_->lock);
      if (state_->Fails(TFakeCall::Write)) return -EIO;
      limit = state_->writeLimit;
    }
    const long n = ::write(fd_, buffer, limit ? std::min(bytes, limit) : bytes);
    return n < 0 ? -errno : n;
  }
  int GetAttributes(termios2& attributes) override {
    if (Fails(TFakeCall::GetAttributes)) return -EIO;
    if (::ioctl(fd_, TCGETS2, &attributes) < 0) return -errno;
    // The framing a UART holds, which the pseudo-terminal underneath would force to 8N.
    std::lock_guard lock(state_->lock);
    if (state_->honoured) {
      attributes.c_cflag = state_->honoured->c_cflag;
      attributes.c_iflag = state_->honoured->c_iflag;
      attributes.c_ispeed = state_->honoured->c_ispeed;
      attributes.c_ospeed = state_->honoured->c_ospeed;
    }
    return 0;
  }
  int SetAttributes(const termios2& attributes) override {
    std::lock_guard lock(state_->lock);
    if (state_->Fails(TFakeCall::SetAttributes)) return -EIO;
    termios2 honoured = attributes;
    if (state_->driver) state_->driver(honoured);
    if (::ioctl(fd_, TCSETS2, &honoured) < 0) return -errno;
    state_->honoured = honoured;
    ++state_->record.setAttributesCalls;
    state_->record.attributes = attributes;
    return 0;
  }
  int SetModemLines(bool dtr, bool rts) override {
    std::lock_guard lock(state_->lock);
    if (state_->Fails(TFakeCall::ModemLines)) return -EIO;
    ++state_->record.modemLineCalls;
    state_->record.dtr = dtr;
    state_->record.rts = rts;
    return 0;
  }
  int SetRs485(bool) override { return -ENOTTY; }
  int Flush(bool input, bool output) override {
    if (Fails(TFakeCall::Flush)) return -EIO;
    return ::ioctl(fd_, TCFLSH, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) < 0 ? -errno : 0;
  }
  int SetupQueues(DWORD, DWORD) override { return Fails(TFakeCall::Setup) ? -EIO : 0; }
  TLineSample SampleLines() override {
    std::lock_guard lock(state_->lock);
    TLineSample s = state_->sample;
    if (state_->Fails(TFakeCall::SampleLines)) s.error = -EIO;
    return s;
  }
  bool NeedsSampling() const override { return false; }
  bool CompletesShortWrites() const override {
    std::lock_guard lock(state_->lock);
    return state_->writeLimit != 0;
  }
  bool TakeForcedEvent(DWORD& mask) override {
    std::lock_guard lock(state_->lock);
    if (!state_->forced) return false;
    state_->forced = false;
    mask = state_->forcedMask;
    return true;
  }

 private:
  bool Fails(TFakeCall call) const {
    std::lock_guard lock(state_->lock);
    return state_->Fails(call);
  }
  const int fd_;
  std::shared_ptr<TFakeSerialPort::TState> state_;
};
}  // namespace

TFakeSerialPort::TFakeSerialPort(std::string name)
    : name_(std::move(name)), state_(std::make_shared<TState>()) {
  state_->path = DevicePathFromName(name_);
  state_->sample.hasLines = true;
  state_->sample.hasCounters = true;
  std::weak_ptr<TState> weak = state_;
  const std::string slave = pty_.Path();
  state_->previous = ExchangeSerialOpener(
      [weak, slave](const std::string& path, TPlatformError& error) -> std::unique_ptr<ISerialBackend> {
        auto state = weak.lock();
        TSerialOpener previous;
        bool ours = false;
        if (state) {
          std::lock_guard lock(state->lock);
          ours = path == state->path;
          if (ours && state->Fails(TFakeCall::Open)) {
            error = TPlatformError::FromErrno(state->openError ? state->openError : EACCES, path);
            return nullptr;
          }
          if (ours) ++state->opens;
          previous = state->previous;
        }
        if (ours) {
          const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
          if (fd < 0) {
            error = TPlatformError::FromErrno(errno, path);
            return nullptr;
          }
          return std::make_unique<TFakeBackend>(fd, state);
        }
        return previous ? previous(path, error) : OpenTerminal(path, error);
      });
}

TFakeSerialPort::~TFakeSerialPort() {
  // Fakes are stacked and unstacked in order by tests.
  ExchangeSerialOpener(state_->previous);
}

void TFakeSerialPort::ChangeLines(unsigned lines, unsigned long frameErrors, unsigned long overruns,
                                  unsigned long parityErrors, unsigned long breaks) {
  std::lock_guard lock(state_->lock);
  TLineSample& s = state_->sample;
  if ((lines & TLineSample::Ring) && !(s.lines & TLineSample::Ring)) ++s.ring;
  if ((lines ^ s.lines) & TLineSample::Carrier) ++s.carrier;
  s.lines = lines;
  s.frame += frameErrors;
  s.overrun += overruns;
  s.parity += parityErrors;
  s.brk += breaks;
  if (state_->wake) state_->wake();
}

void TFakeSerialPort::ForceEvent(unsigned long mask) {
  std::lock_guard lock(state_->lock);
  state_->forced = true;
  state_->forcedMask = static_cast<DWORD>(mask);
  if (state_->wake) state_->wake();
}

void TFakeSerialPort::LimitWrites(std::size_t bytes) {
  std::lock_guard lock(state_->lock);
  state_->writeLimit = bytes;
}

void TFakeSerialPort::Fail(TFakeCall call, bool failing) {
  std::lock_guard lock(state_->lock);
  if (failing)
    state_->failing.insert(call);
  else
    state_->failing.erase(call);
  if (state_->wake) state_->wake();
}

TFakeLineRecord TFakeSerialPort::Record() const {
  std::lock_guard lock(state_->lock);
  return state_->record;
}

int TFakeSerialPort::OpenCount() const {
  std::lock_guard lock(state_->lock);
  return state_->opens;
}

void TFakeSerialPort::FailOpen(int error) {
  std::lock_guard lock(state_->lock);
  state_->openError = error;
  if (error)
    state_->failing.insert(TFakeCall::Open);
  else
    state_->failing.erase(TFakeCall::Open);
}

void TFakeSerialPort::AlterSettings(std::function<void(termios2&)> driver) {
  std::lock_guard lock(state_->lock);
  state_->driver = std::move(driver);
}
