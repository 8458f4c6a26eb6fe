// The hook through which pending overlapped operations progress inside the waits of the thread
// that started them: no helper threads, the waiting thread polls the device itself.
#pragma once
#include <chrono>
#include <memory>
#include <vector>

using TWaitClock = std::chrono::steady_clock;

struct TPollItem {
  int fd;
  short events;
  short revents;
};

class TWaitSource {
 public:
  virtual ~TWaitSource() = default;
  // Adds the descriptors the calling thread's operations wait on, and lowers `deadline` to the
  // next moment one of them must be looked at even without activity.
  virtual void Prepare(std::vector<TPollItem>& items, TWaitClock::time_point& deadline) = 0;
  // Moves the calling thread's operations on; `items` holds what Prepare added, with results.
  virtual void Progress(const TPollItem* items, std::size_t count) = 0;
  // False once the calling thread has no operation left here.
  virtual bool Active() = 0;
  // The calling thread ends: forget its operations without touching their records.
  virtual void Detach() = 0;
};

// Registers `source` with the calling thread (once; later calls are no-ops while registered).
void AddWaitSource(const std::shared_ptr<TWaitSource>& source);
// One round of progress without blocking, for operations that must be looked at right away.
void ProgressWaitSources();
