#include "platform/sync/thread.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "platform/sync/events.h"
#include "platform/sync/threadqueue_object.h"
#include "runtime/exception.h"

TThread::TThread(bool createSuspended) : id_(NewThreadId()), queue_(TThreadQueue::Create()) {
  if (!queue_) throw std::system_error(errno, std::generic_category(), "thread queue");
  errno = 0;
  baseNice_ = ::getpriority(PRIO_PROCESS, 0);
  if (errno != 0) baseNice_ = 0;
  BindThreadQueue(id_, queue_);
  resumed_ = !createSuspended;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    BindThreadQueue(id_, nullptr);
    throw;
  }
}

TThread::~TThread() { Finish(); }

void TThread::Run() {
  AdoptThreadId(id_);
  {
    std::unique_lock lock(lock_);
    tid_ = static_cast<int>(::syscall(SYS_gettid));
    changed_.wait(lock, [this] { return resumed_; });
  }
  ApplyPriority();
  // These threads wake on time-outs that cut blocks; the default slack of 50 us would come on top.
  ::prctl(PR_SET_TIMERSLACK, 1UL);
  // Nothing may escape a thread; a body that throws ends the thread like one that returns.
  Guarded([this] { Execute(); });
  queue_->Close();
  std::lock_guard lock(lock_);
  ended_ = true;
  changed_.notify_all();
}

void TThread::Resume() {
  std::lock_guard lock(lock_);
  resumed_ = true;
  changed_.notify_all();
}

void TThread::SetPriority(int priority) {
  {
    std::lock_guard lock(lock_);
    priority_ = priority;
  }
  ApplyPriority();
}

void TThread::ApplyPriority() {
  int tid, priority;
  {
    std::lock_guard lock(lock_);
    tid = tid_;
    priority = priority_;
  }
  if (tid == 0) return;
  // Each level above normal is one step of niceness below the creator's; refused raises
  // (no CAP_SYS_NICE) simply leave the thread where it is.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), baseNice_ - priority);
}

bool TThread::Started() const {
  std::lock_guard lock(lock_);
  return resumed_;
}

void TThread::Terminate() {
  std::lock_guard lock(lock_);
  terminated_ = true;
}

bool TThread::Terminated() const {
  std::lock_guard lock(lock_);
  return terminated_;
}

bool TThread::WaitFor(DWORD milliseconds) {
  std::unique_lock lock(lock_);
  if (milliseconds == INFINITE) {
    changed_.wait(lock, [this] { return ended_; });
    return true;
  }
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return ended_; });
}

void TThread::Finish() {
  if (!thread_.joinable()) return;
  Resume();
  thread_.join();
  BindThreadQueue(id_, nullptr);
}
