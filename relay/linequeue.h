// Log lines handed to a thread of their own, so that whatever they are written to (a file on a
// slow disk, a pipe nobody reads) never holds up the relay. The queue is bounded: lines beyond it
// are dropped and counted. Its end waits a bounded time for the writer; a writer stuck in a write
// is then left to end by itself, and may no longer report to its owner.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace relay {

// Shared by the owner and the writer thread; the thread keeps it alive as long as it runs.
class TLineQueue {
 public:
  explicit TLineQueue(std::size_t bound) : bound_(bound) {}

  // The writer's side.
  struct TBatch {
    std::deque<std::string> lines;
    std::size_t dropped = 0;  // lines refused for the bound since the last batch
    bool stop = false;        // the owner is ending: this is the last batch
  };
  // Waits for lines or the stop, then takes everything queued.
  TBatch Take();
  // The owner has gone: the writer writes nothing more and ends.
  bool Abandoned();
  // The writer failed: what is queued is dropped and nothing more is taken.
  void Kill();
  // Lines queued or dropped that the writer never took, once abandoned.
  std::size_t Left();
  // Runs `report` unless the owner has gone; the owner does not go while it runs.
  void ReportToOwner(const std::function<void()>& report);
  void Finished();

  // The owner's side.
  void Push(std::string line);
  // Asks for the stop and waits up to `wait` for the writer to finish; when it does not, the
  // writer is abandoned. True when it finished.
  bool StopWithin(std::chrono::milliseconds wait);

 private:
  const std::size_t bound_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable ended_;
  std::deque<std::string> queue_;
  std::size_t queued_ = 0;
  std::size_t dropped_ = 0;
  bool stop_ = false;
  bool abandoned_ = false;
  bool dead_ = false;
  bool finished_ = false;
  std::mutex report_;
};

// A writer thread running `run` on its queue, ended with the owner.
class TLineThread {
 public:
  TLineThread(std::size_t bound, std::chrono::milliseconds endWait, std::function<void(TLineQueue&)> run);
  // Waits up to endWait for what is queued to be written, then leaves the thread to end by itself.
  ~TLineThread();
  TLineThread(const TLineThread&) = delete;
  TLineThread& operator=(const TLineThread&) = delete;

  // Never waits for the writer.
  void Write(std::string line) { queue_->Push(std::move(line)); }

 private:
  std::shared_ptr<TLineQueue> queue_;
  std::chrono::milliseconds endWait_;
  std::thread thread_;
};

}  // namespace relay
