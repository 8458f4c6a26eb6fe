// TThread of the class library: a thread created suspended, with a priority, resumed once, whose
// release waits for its end. Derived classes must be final and call Finish() in their destructor,
// so that the body never outlives the members it uses.
#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "runtime/object.h"
#include "runtime/wintypes.h"

inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;

class TThreadQueue;

class TThread : public TObject {
 public:
  // Throws std::system_error (or std::bad_alloc) when the thread cannot be created. The thread's
  // message queue exists from here on.
  explicit TThread(bool createSuspended);
  ~TThread() override;

  // Starts a suspended thread; later calls do nothing.
  void Resume();
  // Raised as far as the process may; never fails the caller.
  void SetPriority(int priority);
  int Priority() const { return priority_; }
  // Sets Terminated; the body decides whether to look at it.
  void Terminate();
  bool Terminated() const;
  // True when the body has returned within `milliseconds` (INFINITE waits for good).
  bool WaitFor(DWORD milliseconds);
  DWORD ThreadID() const { return id_; }
  // Whether Resume has been called (or the thread was created running).
  bool Started() const;

 protected:
  virtual void Execute() = 0;
  // Starts the thread if it never was, and waits for its end. Idempotent.
  void Finish();

 private:
  void Run();
  void ApplyPriority();

  const DWORD id_;
  std::shared_ptr<TThreadQueue> queue_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  bool resumed_ = false;
  bool ended_ = false;
  bool terminated_ = false;
  int priority_ = THREAD_PRIORITY_NORMAL;
  int tid_ = 0;
  int baseNice_ = 0;
  std::thread thread_;
};
