#include "tests/support/fake_serial.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <set>

#include "platform/serial/backend.h"

// How long a device set by LimitWrites takes nothing after each part it took.
constexpr auto kSlowWritePause = std::chrono::milliseconds(20);

struct TFakeSerialPort::TState {
  mutable std::mutex lock;
  std::string path;
  TSerialOpener previous;
  TLineSample sample;
  bool forced = false;
  DWORD forcedMask = 0;
  std::size_t writeLimit = 0;
  std::chrono::steady_clock::time_point writesResume{};
  std::set<TFakeCall> failing;
  TFakeLineRecord record;
  int opens = 0;
  std::function<void()> wake;             // the live backend's notifier
  int openError = 0;                      // errno of a failing open
  std::function<void(termios2&)> driver;  // what the driver makes of the settings it is given
  std::optional<termios2> honoured;       // what it kept of the last record
  bool looksOnly = false;
  bool rs485 = false;
  TFakeRingCount ringCount = TFakeRingCount::Rising;
  // Received bytes: how many the test sent through Receive and how many the port read; the
  // absolute positions of errored ones.
  std::size_t sent = 0, taken = 0;
  std::set<std::size_t> errored;
  bool secondFF = false, firstErrored = false;
  // The driver's output queue, drained onto the line at the baud rate.
  bool queueModel = false;
  std::size_t capacity = 0;
  std::string queue;
  bool held = false;
  double credit = 0;
  std::chrono::steady_clock::time_point lastDrain = std::chrono::steady_clock::now();

  bool Fails(TFakeCall call) const { return failing.count(call) != 0; }

  // Moves what the baud rate allows since the last look from the queue onto the line.
  void Drain(int fd) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - lastDrain).count();
    lastDrain = now;
    if (held || queue.empty()) {
      credit = 0;
      return;
    }
    const double baud = record.attributes.c_ospeed ? record.attributes.c_ospeed : 9600;
    credit = std::min(credit + seconds * baud / 10, double(queue.size()));
    const std::size_t due = static_cast<std::size_t>(credit);
    if (due == 0) return;
    const long n = ::write(fd, queue.data(), due);
    if (n <= 0) return;
    queue.erase(0, static_cast<std::size_t>(n));
    credit -= double(n);
  }
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
    std::lock_guard lock(state_->lock);
    if (state_->Fails(TFakeCall::Read)) return -EIO;
    ++state_->record.reads;
    // Room for every byte to come back as a three-byte mark.
    const bool marking = !state_->errored.empty();
    const long n = ::read(fd_, buffer, marking ? std::max<std::size_t>(1, bytes / 3) : bytes);
    if (n < 0 && errno == EAGAIN) ++state_->record.emptyReads;
    if (n <= 0) return n < 0 ? -errno : n;
    const std::string raw(static_cast<const char*>(buffer), static_cast<std::size_t>(n));
    const tcflag_t iflag = state_->record.attributes.c_iflag;
    // Under PARMRK the terminal doubles a received 0xFF; the double is no byte of the line.
    const bool doubles = (iflag & PARMRK) && !(iflag & ISTRIP);
    std::string out;
    for (char c : raw) {
      if (state_->secondFF) {
        state_->secondFF = false;
        if (!state_->firstErrored) out += c;
        continue;
      }
      const bool errored = state_->errored.erase(state_->taken++) != 0;
      if (doubles && c == '\xFF') {
        state_->secondFF = true;
        state_->firstErrored = errored;
      }
      if (!errored)
        out += c;
      else if ((iflag & INPCK) && (iflag & PARMRK))
        out += std::string("\xFF\x00", 2) + c;
      else if (iflag & INPCK)
        out += '\0';  // what the terminal makes of it without marks
      else
        out += c;
    }
    out.copy(static_cast<char*>(buffer), out.size());
    return static_cast<long>(out.size());
  }
  long Write(const void* buffer, std::size_t bytes) override {
    std::lock_guard lock(state_->lock);
    if (state_->Fails(TFakeCall::Write)) return -EIO;
    const std::size_t limit = state_->writeLimit;
    const auto now = std::chrono::steady_clock::now();
    if (limit && now < state_->writesResume) return -EAGAIN;
    if (limit) state_->writesResume = now + kSlowWritePause;
    if (state_->queueModel) {
      state_->Drain(fd_);
      const std::size_t room = state_->capacity - std::min(state_->capacity, state_->queue.size());
      const std::size_t n = std::min({bytes, room, limit ? limit : bytes});
      if (n == 0) return -EAGAIN;
      state_->queue.append(static_cast<const char*>(buffer), n);
      return static_cast<long>(n);
    }
    const long n = ::write(fd_, buffer, limit ? std::min(bytes, limit) : bytes);
    return n < 0 ? -errno : n;
  }
  int WriteFd() const override {
    std::lock_guard lock(state_->lock);
    // No descriptor tells when a slow device takes the next bytes: the device looks again.
    return state_->queueModel || state_->writeLimit ? -1 : fd_;
  }
  long OutputQueued() override {
    std::lock_guard lock(state_->lock);
    if (!state_->queueModel) return 0;
    state_->Drain(fd_);
    return static_cast<long>(state_->queue.size());
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
  int SetRs485(bool enable) override {
    std::lock_guard lock(state_->lock);
    if (!state_->rs485) return -ENOTTY;
    state_->record.rs485 = enable;
    return 0;
  }
  int Flush(bool input, bool output) override {
    std::lock_guard lock(state_->lock);
    if (state_->Fails(TFakeCall::Flush)) return -EIO;
    if (output) state_->queue.clear();
    // With a modelled queue the terminal underneath is the wire: what reached it has been sent.
    if (output && state_->queueModel) output = false;
    if (!input && !output) return 0;
    return ::ioctl(fd_, TCFLSH, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) < 0 ? -errno : 0;
  }
  int SetupQueues(DWORD, DWORD) override { return Fails(TFakeCall::Setup) ? -EIO : 0; }
  TLineSample SampleLines() override {
    std::lock_guard lock(state_->lock);
    TLineSample s = state_->sample;
    if (state_->Fails(TFakeCall::SampleLines)) s.error = -EIO;
    return s;
  }
  bool NeedsSampling() const override {
    std::lock_guard lock(state_->lock);
    return state_->looksOnly;
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
  const bool rises = (lines & TLineSample::Ring) && !(s.lines & TLineSample::Ring);
  const bool falls = !(lines & TLineSample::Ring) && (s.lines & TLineSample::Ring);
  switch (state_->ringCount) {
    case TFakeRingCount::Rising:
      s.ring += rises;
      break;
    case TFakeRingCount::Falling:
      s.ring += falls;
      break;
    case TFakeRingCount::BothEdges:
      s.ring += rises || falls;
      break;
  }
  if ((lines ^ s.lines) & TLineSample::Carrier) ++s.carrier;
  s.lines = lines;
  s.frame += frameErrors;
  s.overrun += overruns;
  s.parity += parityErrors;
  s.brk += breaks;
  if (state_->wake && !state_->looksOnly) state_->wake();
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

void TFakeSerialPort::Receive(const std::string& bytes, const std::vector<std::size_t>& errored) {
  {
    std::lock_guard lock(state_->lock);
    for (std::size_t at : errored) state_->errored.insert(state_->sent + at);
    state_->sent += bytes.size();
    // The driver counts the errors as they arrive, before anyone reads the bytes.
    state_->sample.parity += errored.size();
    if (!errored.empty() && state_->wake && !state_->looksOnly) state_->wake();
  }
  pty_.Write(bytes);
}

void TFakeSerialPort::ModelOutputQueue(std::size_t capacity) {
  std::lock_guard lock(state_->lock);
  state_->queueModel = true;
  state_->capacity = capacity;
}

void TFakeSerialPort::HoldOutput(bool held) {
  std::lock_guard lock(state_->lock);
  state_->held = held;
}

std::size_t TFakeSerialPort::OutputQueued() const {
  std::lock_guard lock(state_->lock);
  return state_->queue.size();
}

void TFakeSerialPort::LooksOnly() {
  std::lock_guard lock(state_->lock);
  state_->looksOnly = true;
}

void TFakeSerialPort::CountRings(TFakeRingCount how) {
  std::lock_guard lock(state_->lock);
  state_->ringCount = how;
}

void TFakeSerialPort::SupportRs485() {
  std::lock_guard lock(state_->lock);
  state_->rs485 = true;
}
