// The object behind a serial handle. It keeps at most one pending read, one pending write and
// one pending line-event wait; each progresses inside the waits of the thread that started it
// (TWaitSource), so the device needs no thread of its own.
#pragma once
#include <array>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/serial/backend.h"
#include "platform/serial/comm.h"
#include "platform/serial/readfilter.h"
#include "platform/sync/event_object.h"
#include "platform/sync/waitsource.h"

class TSerialDevice final : public TKernelObject,
                            public TWaitSource,
                            public std::enable_shared_from_this<TSerialDevice> {
 public:
  // Empty (with `error`) when the wake-up descriptor cannot be had.
  static std::shared_ptr<TSerialDevice> Create(std::unique_ptr<ISerialBackend> backend,
                                               TPlatformError& error);
  TSerialDevice(std::unique_ptr<ISerialBackend> backend, int wakeFd);
  ~TSerialDevice() override;

  BOOL Setup(DWORD input, DWORD output);
  BOOL Purge(DWORD flags);
  BOOL GetState(DCB& dcb);
  BOOL SetState(const DCB& dcb);
  BOOL GetTimeouts(COMMTIMEOUTS& timeouts);
  BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
  BOOL SetMask(DWORD mask);
  BOOL GetMask(DWORD& mask);
  BOOL WaitEvent(DWORD* mask, OVERLAPPED* overlapped);
  BOOL ClearError(DWORD* errors, COMSTAT* status);
  BOOL Read(void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped);
  BOOL Write(const void* buffer, DWORD size, DWORD* written, OVERLAPPED* overlapped);
  // The result of a finished operation, or ERROR_IO_INCOMPLETE.
  BOOL Result(OVERLAPPED* overlapped, DWORD* transferred);

  void OnClose() override;
  void Prepare(std::vector<TPollItem>& items, TWaitClock::time_point& deadline) override;
  void Progress(const TPollItem* items, std::size_t count) override;
  bool Active() override;
  void Detach() override;

 private:
  struct TOp {
    OVERLAPPED* overlapped = nullptr;
    std::shared_ptr<TEvent> event;
    DWORD owner = 0;
    bool failed = false;
    DWORD error = 0;
  };
  struct TReadOp : TOp {
    char* buffer = nullptr;
    DWORD size = 0;
    DWORD got = 0;
    bool atOnce = false;     // complete with what is there
    bool firstByte = false;  // complete as soon as anything came
    bool full = false;
    std::optional<TWaitClock::duration> interval;
    TWaitClock::time_point total = TWaitClock::time_point::max();
    TWaitClock::time_point lastByte{};
  };
  // A write completes when the device has sent it: all taken and the driver's queue empty.
  struct TWriteOp : TOp {
    const char* buffer = nullptr;
    DWORD size = 0;
    DWORD done = 0;
    long queued = -1;  // the driver's queue at the last look
    TWaitClock::time_point total = TWaitClock::time_point::max();
    TWaitClock::time_point lastProgress{};
    TWaitClock::time_point nextLook = TWaitClock::time_point::max();
  };
  struct TEventOp : TOp {
    DWORD* mask = nullptr;
    TWaitClock::time_point nextSample = TWaitClock::time_point::max();
  };

  // A read that needs only the last few bytes of a block asks the terminal for this many more,
  // and keeps what it gets beyond the block for the next read, as a driver's input queue does.
  // A terminal hands over at most a byte less than a serial block at a time: without this, a
  // flood costs two reads a block instead of one.
  static constexpr DWORD kReadAhead = 4096;
  // A terminal hands over all it holds: a short read emptied it, and poll tells of more. But one
  // that got this much found a sender ahead of the reader: more has most likely come by the time
  // it is handled, so the next read goes to the terminal before it polls. An empty try costs one
  // read; a poll for bytes already there costs a poll and a wait.
  static constexpr long kBusyRead = 2048;
  static bool Emptied(long got, long asked) { return got < asked && got < kBusyRead; }

  bool StartOp(TOp& op, OVERLAPPED* overlapped);
  // Moves what an earlier read took ahead into `op`; true when it did.
  bool TakeAhead(TReadOp& op);
  void Finish(TOp& op, DWORD status, DWORD bytes);
  void PumpRead(TReadOp& op, TWaitClock::time_point arrival);
  bool ReadDone(const TReadOp& op, TWaitClock::time_point now) const;
  void PumpWrite(TWriteOp& op, TWaitClock::time_point now);
  // One character on the line at the current settings, and how long a transmit may make no
  // progress before it is reported.
  TWaitClock::duration CharTime() const;
  TWaitClock::duration StallTime() const;
  bool WriteDone(const TWriteOp& op, TWaitClock::time_point now) const;
  // Line events since the last look, within the mask; `forced` when the backend dictated them.
  DWORD CollectEvents(bool& forced, int& failure);
  void DrainWake();
  void Wake() const;
  void WatchFrom(DWORD owner);
  bool Sampled() const;

  std::mutex lock_;
  std::unique_ptr<ISerialBackend> backend_;
  const int wakeFd_;
  bool closed_ = false;
  COMMTIMEOUTS timeouts_{};
  DWORD mask_ = 0;
  DCB dcb_{};
  bool haveDcb_ = false;
  bool rs485_ = false;
  TReadFilter filter_;
  TLineSample eventBase_;                          // what line events are measured against
  TLineSample errorBase_;                          // what ClearCommError measures against
  unsigned long eventMarks_ = 0, errorMarks_ = 0;  // marked bytes at the last look of each
  bool ringSeen_ = false;  // a ring reported by its rising edge, its count still to come
  // The thread whose last read ended after a poll found the device without input.
  DWORD drainedFor_ = 0;
  std::optional<TReadOp> read_;
  std::array<char, 2 * kReadAhead> ahead_;
  std::size_t aheadFrom_ = 0, aheadTo_ = 0;  // the bytes taken ahead and not yet read
  TWaitClock::time_point aheadArrival_{};
  bool aheadEmptied_ = false;  // the read that took them emptied the terminal
  std::optional<TWriteOp> write_;
  std::optional<TEventOp> wait_;
};
