#include "relay/linequeue.h"

#include <utility>

namespace relay {

TLineQueue::TBatch TLineQueue::Take() {
  std::unique_lock guard(lock_);
  wake_.wait(guard, [&] { return stop_ || !queue_.empty(); });
  TBatch batch;
  batch.lines.swap(queue_);
  queued_ = 0;
  batch.dropped = std::exchange(dropped_, 0);
  batch.stop = stop_;
  return batch;
}

bool TLineQueue::Abandoned() {
  std::lock_guard guard(lock_);
  return abandoned_;
}

void TLineQueue::Kill() {
  std::lock_guard guard(lock_);
  dead_ = true;
  queue_.clear();
  queued_ = 0;
}

std::size_t TLineQueue::Left() {
  std::lock_guard guard(lock_);
  return queue_.size() + dropped_;
}

void TLineQueue::ReportToOwner(const std::function<void()>& report) {
  std::lock_guard held(report_);
  if (!Abandoned()) report();
}

void TLineQueue::Finished() {
  std::lock_guard guard(lock_);
  finished_ = true;
  ended_.notify_all();
}

void TLineQueue::Push(std::string line) {
  {
    std::lock_guard guard(lock_);
    if (dead_) return;
    if (queued_ + line.size() > bound_) {
      ++dropped_;
      return;
    }
    queued_ += line.size();
    queue_.push_back(std::move(line));
  }
  wake_.notify_one();
}

bool TLineQueue::StopWithin(std::chrono::milliseconds wait) {
  {
    std::unique_lock guard(lock_);
    stop_ = true;
    wake_.notify_one();
    if (ended_.wait_for(guard, wait, [&] { return finished_; })) return true;
    abandoned_ = true;
  }
  // A report under way ends first; none starts after this.
  std::lock_guard held(report_);
  return false;
}

TLineThread::TLineThread(std::size_t bound, std::chrono::milliseconds endWait,
                         std::function<void(TLineQueue&)> run)
    : queue_(std::make_shared<TLineQueue>(bound)), endWait_(endWait) {
  thread_ = std::thread([queue = queue_, run = std::move(run)] {
    try {
      run(*queue);
    } catch (...) {
      // Nothing may leave the thread: the lines end, the relay goes on.
      queue->Kill();
    }
    queue->Finished();
  });
}

TLineThread::~TLineThread() {
  if (queue_->StopWithin(endWait_)) {
    thread_.join();
    return;
  }
  // A write that hangs (a stalled network file system, a pipe nobody reads) cannot be joined
  // without hanging the program; the thread owns its share of the state and ends by itself.
  thread_.detach();
}

}  // namespace relay
