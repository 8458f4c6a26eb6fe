#include "service/outputlines.h"

namespace service {

TOutputLines::TOutputLines(std::FILE* out, std::size_t bound, std::chrono::milliseconds endWait)
    : shared_(std::make_shared<TShared>()), endWait_(endWait) {
  shared_->out = out;
  shared_->bound = bound;
  thread_ = std::thread([shared = shared_] { Run(shared); });
}

TOutputLines::~TOutputLines() {
  TShared& s = *shared_;
  std::unique_lock guard(s.lock);
  s.stop = true;
  s.wake.notify_one();
  const bool finished = s.ended.wait_for(guard, endWait_, [&] { return s.finished; });
  guard.unlock();
  // A write into a pipe nobody reads cannot be joined without hanging the program's end; the
  // thread owns its share of the state and ends with the process.
  if (finished)
    thread_.join();
  else
    thread_.detach();
}

void TOutputLines::Write(std::string line) {
  TShared& s = *shared_;
  {
    std::lock_guard guard(s.lock);
    if (s.dead) return;
    if (s.queued + line.size() > s.bound) {
      ++s.dropped;
      return;
    }
    s.queued += line.size();
    s.queue.push_back(std::move(line));
  }
  s.wake.notify_one();
}

void TOutputLines::Run(const std::shared_ptr<TShared>& shared) {
  TShared& s = *shared;
  std::deque<std::string> batch;
  for (;;) {
    std::size_t dropped;
    bool stop;
    {
      std::unique_lock guard(s.lock);
      s.wake.wait(guard, [&] { return s.stop || !s.queue.empty(); });
      batch.swap(s.queue);
      s.queued = 0;
      dropped = s.dropped;
      s.dropped = 0;
      stop = s.stop;
    }
    if (dropped)
      batch.push_front("... " + std::to_string(dropped) + " lines not written: the output was not read");
    bool failed = false;
    for (std::string& line : batch) {
      // Whole lines, at once: a reader (the journal) never sees half of one.
      line += '\n';
      if (std::fwrite(line.data(), 1, line.size(), s.out) != line.size() || std::fflush(s.out) != 0) {
        failed = true;
        break;
      }
    }
    batch.clear();
    std::lock_guard guard(s.lock);
    if (failed) {
      // The reader has gone: the relay goes on without its lines.
      s.dead = true;
      s.queue.clear();
      s.queued = 0;
    }
    if (failed || stop) {
      s.finished = true;
      s.ended.notify_all();
      return;
    }
  }
}

}  // namespace service
