#include "platform/serial/device.h"

#include <asm/termbits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/files/descriptor.h"
#include "platform/serial/errors.h"
#include "platform/serial/linemap.h"
#include "platform/serial/readback.h"
#include "platform/sync/threadqueue.h"
#include "platform/sync/wakeup.h"
#include "runtime/lasterror.h"

namespace {
// How often modem lines and error counters are looked at while a line-event wait is pending on a
// device that has them. On a USB adapter each look is a control transfer made under the device's
// lock, so an idle port looks once a second; a ring or carrier pulse shorter than that is still
// caught by the driver's counters.
constexpr auto kSampleEvery = std::chrono::seconds(1);
// Without output flow control a UART drains at its baud rate, so a transmit that moves nothing
// for this long (or for 1024 character times, if longer) is a wedged device and is reported. With
// CTS or XON/XOFF output flow a hold-off is the device's right and the write just stays pending.
constexpr auto kStallFloor = std::chrono::seconds(10);
constexpr int kStallChars = 1024;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

DWORD FromBackend(long result) { return Win32ErrorFromErrno(static_cast<int>(-result)); }

// A failed backend call: the errno it answered, kept as the cause.
BOOL FailBackend(long result) { return FailWith(TPlatformError::FromErrno(static_cast<int>(-result))); }

TWaitClock::time_point After(std::uint64_t ms) {
  return TWaitClock::now() + std::chrono::milliseconds(std::min<std::uint64_t>(ms, 1ull << 40));
}
}  // namespace

std::shared_ptr<TSerialDevice> TSerialDevice::Create(std::unique_ptr<ISerialBackend> backend,
                                                     TPlatformError& error) {
  const int fd = OpenWakeup();
  if (fd < 0) {
    error = TPlatformError::FromErrno(errno);
    return nullptr;
  }
  return std::make_shared<TSerialDevice>(std::move(backend), fd);
}

TSerialDevice::TSerialDevice(std::unique_ptr<ISerialBackend> backend, int wakeFd)
    : backend_(std::move(backend)), wakeFd_(wakeFd) {
  backend_->SetNotifier([fd = wakeFd_] { SignalWakeup(fd); });
  eventBase_ = errorBase_ = backend_->SampleLines();
}

TSerialDevice::~TSerialDevice() {
  {
    std::lock_guard lock(lock_);
    backend_.reset();
  }
  int fd = wakeFd_;
  CloseDescriptor(fd);
}

void TSerialDevice::OnClose() {
  std::lock_guard lock(lock_);
  closed_ = true;
  if (read_) Finish(*read_, ERROR_OPERATION_ABORTED, read_->got), read_.reset();
  if (write_) Finish(*write_, ERROR_OPERATION_ABORTED, write_->done), write_.reset();
  if (wait_) Finish(*wait_, ERROR_OPERATION_ABORTED, 0), wait_.reset();
  // The host goes away as it does on Win32: DTR and RTS drop, so a modem sees it, and the RS-485
  // mode we set does not stay behind for the next program.
  if (haveDcb_) backend_->SetModemLines(false, false);
  if (rs485_) backend_->SetRs485(false);
  backend_.reset();
}

bool TSerialDevice::StartOp(TOp& op, OVERLAPPED* overlapped) {
  if (!overlapped) return Fail(ERROR_INVALID_PARAMETER);
  op.event = LookupHandleAs<TEvent>(overlapped->hEvent);
  if (!op.event) return Fail(ERROR_INVALID_PARAMETER);
  op.overlapped = overlapped;
  op.owner = GetCurrentThreadId();
  op.event->Reset();
  overlapped->Internal = STATUS_PENDING;
  overlapped->InternalHigh = 0;
  return true;
}

void TSerialDevice::Finish(TOp& op, DWORD status, DWORD bytes) {
  op.overlapped->Internal = status;
  op.overlapped->InternalHigh = bytes;
  op.event->Set();
}

void TSerialDevice::WatchFrom(DWORD) { AddWaitSource(shared_from_this()); }

bool TSerialDevice::Sampled() const {
  // A device without modem lines or counters (a pseudo-terminal) has nothing to look at.
  return backend_->NeedsSampling() && (eventBase_.hasLines || eventBase_.hasCounters);
}

BOOL TSerialDevice::Setup(DWORD input, DWORD output) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  const int r = backend_->SetupQueues(input, output);
  return r < 0 ? FailBackend(r) : TRUE;
}

BOOL TSerialDevice::Purge(DWORD flags) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  // Aborting completes the operation, so the thread that waits for it wakes.
  if ((flags & PURGE_RXABORT) && read_) {
    Finish(*read_, ERROR_OPERATION_ABORTED, read_->got);
    read_.reset();
  }
  if ((flags & PURGE_TXABORT) && write_) {
    Finish(*write_, ERROR_OPERATION_ABORTED, write_->done);
    write_.reset();
  }
  const bool in = flags & PURGE_RXCLEAR, out = flags & PURGE_TXCLEAR;
  if (in) {
    filter_.Reset();
    aheadFrom_ = aheadTo_ = 0;
  }
  if (in || out) {
    const int r = backend_->Flush(in, out);
    if (r < 0) return FailBackend(r);
  }
  return TRUE;
}

BOOL TSerialDevice::GetState(DCB& dcb) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  termios2 attributes{};
  const int r = backend_->GetAttributes(attributes);
  if (r < 0) return FailBackend(r);
  if (haveDcb_) {
    dcb = dcb_;
    ReadTerminalFraming(attributes, dcb);
  } else {
    dcb = DcbFromTerminal(attributes);
  }
  return TRUE;
}

BOOL TSerialDevice::SetState(const DCB& dcb) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  termios2 current{};
  int r = backend_->GetAttributes(current);
  if (r < 0) return FailBackend(r);
  termios2 attributes{};
  TLineApply apply;
  if (!MapDcbToTerminal(dcb, current, attributes, apply)) return Fail(ERROR_INVALID_PARAMETER);
  // A refused record leaves the device as it was.
  if ((r = backend_->SetAttributes(attributes)) < 0) return FailBackend(r);
  // A record taken but not honoured is refused as well, and the device goes back to what it had.
  if (backend_->HasLine()) {
    termios2 taken{};
    if ((r = backend_->GetAttributes(taken)) < 0) return FailBackend(r);
    if (const int refused = RefusedSetting(attributes, taken)) {
      backend_->SetAttributes(current);
      return FailWith(TPlatformError::FromOwn(refused));
    }
  }
  if (apply.rs485 != rs485_) {
    // Without RS-485 support, toggle behaves as enable.
    const bool supported = backend_->SetRs485(apply.rs485) == 0;
    rs485_ = apply.rs485 && supported;
  }
  if ((r = backend_->SetModemLines(apply.dtr, apply.rts)) < 0) return FailBackend(r);
  filter_.Configure(apply.marks, apply.nullStrip, apply.errorChar, apply.replacement);
  dcb_ = dcb;
  haveDcb_ = true;
  return TRUE;
}

BOOL TSerialDevice::GetTimeouts(COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  timeouts = timeouts_;
  return TRUE;
}

BOOL TSerialDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutConstant == MAXDWORD &&
      timeouts.ReadTotalTimeoutMultiplier == MAXDWORD)
    return Fail(ERROR_INVALID_PARAMETER);
  timeouts_ = timeouts;
  return TRUE;
}

BOOL TSerialDevice::SetMask(DWORD mask) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  mask_ = mask;
  // A pending wait ends with an empty mask, as on Win32.
  if (wait_) {
    *wait_->mask = 0;
    Finish(*wait_, ERROR_SUCCESS, 0);
    wait_.reset();
  }
  return TRUE;
}

BOOL TSerialDevice::GetMask(DWORD& mask) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  mask = mask_;
  return TRUE;
}

DWORD TSerialDevice::CollectEvents(bool& forced, int& failure) {
  DWORD events = 0;
  forced = backend_->TakeForcedEvent(events);
  if (forced) return events;
  const TLineSample s = backend_->SampleLines();
  failure = s.error;
  if (s.error) return 0;
  const TLineSample& b = eventBase_;
  if (s.hasLines && b.hasLines) {
    const unsigned changed = s.lines ^ b.lines;
    if (changed & TLineSample::Carrier) events |= EV_RLSD;
    if (changed & TLineSample::Cts) events |= EV_CTS;
    if (changed & TLineSample::Dsr) events |= EV_DSR;
    if ((changed & s.lines) & TLineSample::Ring) {
      events |= EV_RING;
      ringSeen_ = true;
    }
  }
  if (s.hasCounters && b.hasCounters) {
    if (s.frame != b.frame || s.overrun != b.overrun || s.parity != b.parity) events |= EV_ERR;
    if (s.brk != b.brk) events |= EV_BREAK;
    // The counter catches a pulse that came and went between two looks. A 16550 counts a ring
    // when RI falls, some USB adapters on both edges: a ring already reported by its rising edge
    // is not reported again by its count. (Lines are read before counters, and reading a
    // 16550's lines brings its counters up to date.)
    if (s.ring != b.ring && !ringSeen_) events |= EV_RING;
    if (s.carrier != b.carrier) events |= EV_RLSD;
  }
  if (!(s.hasLines && (s.lines & TLineSample::Ring))) ringSeen_ = false;
  // Without counters, the marks of errored bytes are the only news of line errors.
  const unsigned long marks = filter_.Errors();
  if (!s.hasCounters && marks != eventMarks_) events |= EV_ERR;
  eventMarks_ = marks;
  eventBase_ = s;
  return events & mask_;
}

BOOL TSerialDevice::WaitEvent(DWORD* mask, OVERLAPPED* overlapped) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  if (!mask || wait_) return Fail(ERROR_INVALID_PARAMETER);
  TEventOp op;
  if (!StartOp(op, overlapped)) return FALSE;
  op.mask = mask;
  bool forced = false;
  int failure = 0;
  const DWORD events = CollectEvents(forced, failure);
  if (failure) {
    Finish(op, FromBackend(failure), 0);
    return Fail(FromBackend(failure));
  }
  if (events || forced) {
    *mask = events;
    Finish(op, ERROR_SUCCESS, 0);
    return TRUE;
  }
  if (Sampled()) op.nextSample = TWaitClock::now() + kSampleEvery;
  wait_ = op;
  WatchFrom(op.owner);
  return Fail(ERROR_IO_PENDING);
}

BOOL TSerialDevice::ClearError(DWORD* errors, COMSTAT* status) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  const TLineSample s = backend_->SampleLines();
  if (s.error) return Fail(FromBackend(s.error));
  DWORD flags = 0;
  if (s.hasCounters && errorBase_.hasCounters) {
    if (s.frame != errorBase_.frame) flags |= CE_FRAME;
    if (s.overrun != errorBase_.overrun) flags |= CE_OVERRUN;
    if (s.parity != errorBase_.parity) flags |= CE_RXPARITY;
    if (s.brk != errorBase_.brk) flags |= CE_BREAK;
  }
  const unsigned long marks = filter_.Errors();
  if (!s.hasCounters && marks != errorMarks_) flags |= CE_RXPARITY;
  errorMarks_ = marks;
  errorBase_ = s;
  if (errors) *errors = flags;
  if (status) {
    *status = COMSTAT{};
    const long queued = backend_->OutputQueued();
    if (queued > 0) status->cbOutQue = static_cast<DWORD>(queued);
  }
  return TRUE;
}

void TSerialDevice::PumpRead(TReadOp& op, TWaitClock::time_point arrival) {
  // Anything taken ahead goes first: the read-ahead below reuses its room.
  TakeAhead(op);
  const unsigned long marksBefore = filter_.Errors();
  char raw[4096];
  while (!op.failed && op.got < op.size) {
    const DWORD room = op.size - op.got;
    long n;
    long asked;
    if (!filter_.Active() && room >= kReadAhead) {
      asked = room;
      n = backend_->Read(op.buffer + op.got, room);
      if (n > 0) op.got += static_cast<DWORD>(n);
    } else if (!filter_.Active()) {
      asked = long(room + kReadAhead);
      n = backend_->Read(ahead_.data(), std::size_t(asked));
      if (n > 0) {
        const DWORD take = std::min(room, static_cast<DWORD>(n));
        std::memcpy(op.buffer + op.got, ahead_.data(), take);
        op.got += take;
        aheadFrom_ = take;
        aheadTo_ = std::size_t(n);
        aheadArrival_ = arrival;
        aheadEmptied_ = Emptied(n, asked);
      }
    } else {
      const std::size_t take =
          std::min<std::size_t>(room - std::min<DWORD>(room, filter_.Slack()), sizeof raw);
      if (take == 0) {
        op.full = true;  // a carried 0xFF needs two places and only one is left
        break;
      }
      asked = long(take);
      n = backend_->Read(raw, take);
      if (n > 0)
        op.got += static_cast<DWORD>(filter_.Apply(raw, static_cast<std::size_t>(n), op.buffer + op.got));
    }
    if (n > 0) {
      // The time the wait ended, not the time the bytes were copied: the interval rule measures
      // the line, as closely as user space sees it.
      op.lastByte = arrival;
      if (Emptied(n, asked)) break;
    } else if (n == -EAGAIN) {
      break;
    } else {
      // A read of 0 bytes from a terminal means it hung up (its other side or the device is
      // gone): a failure, never an empty read.
      op.failed = true;
      op.error = n == 0 ? ERROR_GEN_FAILURE : FromBackend(n);
    }
  }
  if (filter_.Errors() != marksBefore) Wake();  // the line-event wait has news
}

bool TSerialDevice::TakeAhead(TReadOp& op) {
  if (aheadFrom_ == aheadTo_) return false;
  const std::size_t take = std::min<std::size_t>(op.size - op.got, aheadTo_ - aheadFrom_);
  std::memcpy(op.buffer + op.got, ahead_.data() + aheadFrom_, take);
  op.got += static_cast<DWORD>(take);
  aheadFrom_ += take;
  // They came when the read that took them ended; the interval runs from then.
  op.lastByte = aheadArrival_;
  return true;
}

bool TSerialDevice::ReadDone(const TReadOp& op, TWaitClock::time_point now) const {
  if (op.failed || op.got == op.size || op.atOnce) return true;
  if (op.firstByte && op.got > 0) return true;
  if (now >= op.total) return true;
  return op.full || (op.got > 0 && op.interval && now >= op.lastByte + *op.interval);
}

BOOL TSerialDevice::Read(void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  if (read_ || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
  TReadOp op;
  if (!StartOp(op, overlapped)) return FALSE;
  op.buffer = static_cast<char*>(buffer);
  op.size = size;
  const COMMTIMEOUTS& t = timeouts_;
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    op.atOnce = true;
  } else if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD) {
    op.firstByte = true;
    op.total = After(t.ReadTotalTimeoutConstant);
  } else {
    if (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant)
      op.total = After(std::uint64_t{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant);
    if (t.ReadIntervalTimeout) op.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  }
  // A read started right after one that ended on a poll without input would find nothing:
  // the poll of the wait reads, at once if bytes came meanwhile.
  const bool drained = drainedFor_ == op.owner && !op.atOnce && op.total > TWaitClock::now();
  drainedFor_ = 0;
  // Bytes taken ahead by a read that emptied the terminal leave it empty still, most likely.
  const bool tookAhead = TakeAhead(op);
  if (!drained && !(tookAhead && aheadEmptied_ && !op.atOnce)) PumpRead(op, TWaitClock::now());
  if (ReadDone(op, TWaitClock::now())) {
    Finish(op, op.failed ? op.error : ERROR_SUCCESS, op.got);
    // Also on failure: bytes read before the device failed are the caller's.
    if (read) *read = op.got;
    if (op.failed) return Fail(op.error);
    return TRUE;
  }
  read_ = op;
  WatchFrom(op.owner);
  return Fail(ERROR_IO_PENDING);
}

TWaitClock::duration TSerialDevice::CharTime() const {
  const DWORD baud = haveDcb_ && dcb_.BaudRate ? dcb_.BaudRate : 9600;
  const int bits =
      haveDcb_ ? 1 + dcb_.ByteSize + (dcb_.Parity != NOPARITY) + (dcb_.StopBits != ONESTOPBIT ? 2 : 1) : 10;
  return std::chrono::nanoseconds(1'000'000'000ll * bits / baud + 1);
}

TWaitClock::duration TSerialDevice::StallTime() const {
  return std::max<TWaitClock::duration>(kStallFloor, CharTime() * kStallChars);
}

void TSerialDevice::PumpWrite(TWriteOp& op, TWaitClock::time_point now) {
  bool took = false;
  while (!op.failed && op.done < op.size) {
    const long n = backend_->Write(op.buffer + op.done, op.size - op.done);
    if (n > 0) {
      op.done += static_cast<DWORD>(n);
      op.lastProgress = now;
      took = true;
    } else if (n == -EAGAIN || n == 0) {
      break;
    } else {
      op.failed = true;
      op.error = FromBackend(n);
    }
  }
  if (op.failed) return;
  // A driver that took bytes just now is not standing still, and poll tells when it has room
  // again: its queue matters once it has taken all, or when it takes nothing.
  if (took && op.done < op.size && backend_->WriteFd() >= 0) {
    op.nextLook = now + StallTime();
    return;
  }
  long queued = backend_->OutputQueued();
  if (queued < 0) {
    // A device that cannot tell (ENOTTY, EINVAL) is taken as having sent what it took.
    if (queued != -ENOTTY && queued != -EINVAL) {
      op.failed = true;
      op.error = FromBackend(queued);
      return;
    }
    queued = 0;
  }
  if (op.queued >= 0 && queued < op.queued) op.lastProgress = now;
  op.queued = queued;
  // Only a queue the driver holds can stand still on the line; a pseudo-terminal has none, and a
  // peer that reads slowly is no fault of the line.
  const bool mayHoldOff = haveDcb_ && (dcb_.Flags & (dcbflag::fOutxCtsFlow | dcbflag::fOutX));
  if (queued > 0 && !mayHoldOff && now - op.lastProgress >= StallTime()) {
    op.failed = true;
    op.error = ERROR_COUNTER_TIMEOUT;
    return;
  }
  // No descriptor says when the queue has run empty: look again when it should have.
  // A queue held off may stand still for ever: look from now, never from a moment long past.
  const auto base = mayHoldOff ? now : op.lastProgress;
  op.nextLook = queued > 0 ? base + StallTime() : TWaitClock::time_point::max();
  const bool taken = op.done == op.size;
  if (queued > 0 && (taken || backend_->WriteFd() < 0)) {
    const long chars = taken ? queued : (queued + 1) / 2;
    auto wait = std::max<TWaitClock::duration>(std::chrono::milliseconds(1), CharTime() * chars);
    // A queue held off looks less often the longer it stands, at most once a second.
    if (mayHoldOff)
      wait = std::max<TWaitClock::duration>(
          wait, std::min<TWaitClock::duration>(now - op.lastProgress, std::chrono::seconds(1)));
    op.nextLook = std::min(op.nextLook, now + wait);
  } else if (!taken && backend_->WriteFd() < 0) {
    op.nextLook = std::min(op.nextLook, now + std::chrono::milliseconds(1));
  }
}

bool TSerialDevice::WriteDone(const TWriteOp& op, TWaitClock::time_point now) const {
  if (op.failed || now >= op.total) return true;
  return op.done == op.size && op.queued == 0;
}

BOOL TSerialDevice::Write(const void* buffer, DWORD size, DWORD* written, OVERLAPPED* overlapped) {
  std::lock_guard lock(lock_);
  if (closed_) return Fail(ERROR_INVALID_HANDLE);
  if (write_ || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
  TWriteOp op;
  if (!StartOp(op, overlapped)) return FALSE;
  op.buffer = static_cast<const char*>(buffer);
  op.size = size;
  const COMMTIMEOUTS& t = timeouts_;
  if (t.WriteTotalTimeoutMultiplier || t.WriteTotalTimeoutConstant)
    op.total = After(std::uint64_t{t.WriteTotalTimeoutMultiplier} * size + t.WriteTotalTimeoutConstant);
  op.lastProgress = TWaitClock::now();
  PumpWrite(op, op.lastProgress);
  if (WriteDone(op, TWaitClock::now())) {
    Finish(op, op.failed ? op.error : ERROR_SUCCESS, op.done);
    if (op.failed) return Fail(op.error);
    if (written) *written = op.done;
    return TRUE;
  }
  write_ = op;
  WatchFrom(op.owner);
  return Fail(ERROR_IO_PENDING);
}

BOOL TSerialDevice::Result(OVERLAPPED* overlapped, DWORD* transferred) {
  std::lock_guard lock(lock_);
  if (overlapped->Internal == STATUS_PENDING) return Fail(ERROR_IO_INCOMPLETE);
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal != ERROR_SUCCESS) return Fail(static_cast<DWORD>(overlapped->Internal));
  return TRUE;
}

void TSerialDevice::Prepare(std::vector<TPollItem>& items, TWaitClock::time_point& deadline) {
  std::lock_guard lock(lock_);
  if (closed_) return;
  const DWORD self = GetCurrentThreadId();
  const int fd = backend_->Fd();
  if (read_ && read_->owner == self) {
    items.push_back({fd, POLLIN, 0});
    deadline = std::min(deadline, read_->total);
    if (read_->got > 0 && read_->interval) deadline = std::min(deadline, read_->lastByte + *read_->interval);
  }
  if (write_ && write_->owner == self) {
    if (write_->done < write_->size) items.push_back({backend_->WriteFd(), POLLOUT, 0});
    deadline = std::min({deadline, write_->total, write_->nextLook});
  }
  if (wait_ && wait_->owner == self) {
    items.push_back({wakeFd_, POLLIN, 0});
    deadline = std::min(deadline, wait_->nextSample);
  }
}

void TSerialDevice::Wake() const { SignalWakeup(wakeFd_); }

void TSerialDevice::DrainWake() { DrainWakeup(wakeFd_); }

void TSerialDevice::Progress(const TPollItem* items, std::size_t count) {
  std::lock_guard lock(lock_);
  if (closed_) return;
  const auto now = TWaitClock::now();
  const DWORD self = GetCurrentThreadId();
  const int fd = backend_->Fd();
  bool woken = false, readable = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (items[i].fd == wakeFd_ && items[i].revents) woken = true;
    if (items[i].fd == fd && (items[i].events & POLLIN) && items[i].revents) readable = true;
  }
  if (read_ && read_->owner == self) {
    // Only a read that poll announced: a wake-up for the interval or the total time-out needs
    // no empty read.
    if (readable) PumpRead(*read_, now);
    if (ReadDone(*read_, now)) {
      drainedFor_ = readable || read_->failed ? 0 : self;
      Finish(*read_, read_->failed ? read_->error : ERROR_SUCCESS, read_->got);
      read_.reset();
    }
  }
  if (write_ && write_->owner == self) {
    PumpWrite(*write_, now);
    if (WriteDone(*write_, now)) {
      Finish(*write_, write_->failed ? write_->error : ERROR_SUCCESS, write_->done);
      write_.reset();
    }
  }
  if (wait_ && wait_->owner == self && (woken || now >= wait_->nextSample)) {
    if (woken) DrainWake();
    bool forced = false;
    int failure = 0;
    const DWORD events = CollectEvents(forced, failure);
    if (failure) {
      Finish(*wait_, FromBackend(failure), 0);
      wait_.reset();
    } else if (events || forced) {
      *wait_->mask = events;
      Finish(*wait_, ERROR_SUCCESS, 0);
      wait_.reset();
    } else if (Sampled()) {
      wait_->nextSample = now + kSampleEvery;
    }
  }
}

bool TSerialDevice::Active() {
  std::lock_guard lock(lock_);
  const DWORD self = GetCurrentThreadId();
  return (read_ && read_->owner == self) || (write_ && write_->owner == self) ||
         (wait_ && wait_->owner == self);
}

void TSerialDevice::Detach() {
  std::lock_guard lock(lock_);
  const DWORD self = GetCurrentThreadId();
  if (read_ && read_->owner == self) read_.reset();
  if (write_ && write_->owner == self) write_.reset();
  if (wait_ && wait_->owner == self) wait_.reset();
}
