// The event object behind an event handle: a flag that is the truth, and an eventfd that only
// wakes poll() while the flag is set.
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
  int Fd() const { return fd_; }

 private:
  void Drain();
  std::mutex lock_;
  const int fd_;
  const bool manual_;
  bool signalled_ = false;
};

// The wait behind every wait function. `queue`, when given, adds "input in this queue" as index
// `count`.
DWORD WaitForObjectsOrInput(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                            TThreadQueue* queue);
