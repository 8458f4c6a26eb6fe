// The queue object behind a thread's message queue.
#pragma once
#include <deque>
#include <memory>
#include <mutex>

#include "platform/sync/threadqueue.h"

class TThreadQueue {
 public:
  // Empty when the wake-up descriptor cannot be had.
  static std::shared_ptr<TThreadQueue> Create();
  explicit TThreadQueue(int fd) : fd_(fd) {}
  ~TThreadQueue();
  TThreadQueue(const TThreadQueue&) = delete;
  TThreadQueue& operator=(const TThreadQueue&) = delete;

  bool Post(MSG message);
  bool Take(MSG& message, bool remove);
  bool HasInput();
  // After poll found Fd() readable: a signal left behind by a message already taken is read.
  void Settle();
  // No more posts; what is queued is freed.
  void Close();
  int Fd() const { return fd_; }

 private:
  std::mutex lock_;
  std::deque<MSG> messages_;
  const int fd_;
  bool closed_ = false;
};

// Binds a queue to a thread identifier (from a TThread's creation) or unbinds it (nullptr).
void BindThreadQueue(DWORD threadId, std::shared_ptr<TThreadQueue> queue);
std::shared_ptr<TThreadQueue> FindThreadQueue(DWORD threadId);
// Gives the calling thread its identifier (a TThread does this first thing).
void AdoptThreadId(DWORD threadId);
DWORD NewThreadId();
