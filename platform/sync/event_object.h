// The event object behind an event handle: a flag that is the truth, and an eventfd that only
// wakes poll() while the flag is set. The descriptor is touched only while some thread polls on
// it: a thread that sets and resets the events it waits on itself (an overlapped record between
// two of its own waits) costs no system call.
#pragma once
#include <memory>
#include <mutex>

#include "platform/sync/handles.h"

class TThreadQueue;

class TEvent : public TKernelObject {
 public:
  TEvent(bool manualReset, bool initialState, int fd);
  ~TEvent() override;
  // Empty when the descriptor cannot be had.
  static std::shared_ptr<TEvent> Create(bool manualReset, bool initialState);

  void Set();
  void Reset();
  // Takes the signal: true when set; an auto-reset event is reset by it.
  bool TryAcquire();
  bool IsSet();
  // Around a poll on Fd(): while watched, a set event makes the descriptor readable.
  void Watch();
  void Unwatch();
  int Fd() const { return fd_; }

 private:
  void Arm();
  void Disarm();
  std::mutex lock_;
  const int fd_;
  const bool manual_;
  bool signalled_ = false;
  int watchers_ = 0;
  bool armed_ = false;  // the descriptor holds a signal
};

// The wait behind every wait function. `queue`, when given, adds "input in this queue" as index
// `count`.
DWORD WaitForObjectsOrInput(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                            TThreadQueue* queue);
