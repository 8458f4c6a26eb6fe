#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "platform/sync/event_object.h"
#include "platform/sync/events.h"
#include "platform/sync/threadqueue_object.h"
#include "platform/sync/waitsource.h"

namespace {
// The wait sources of this thread; detached when the thread ends so that no source keeps an
// operation whose record died with the thread.
struct TThreadSources {
  std::vector<std::shared_ptr<TWaitSource>> list;
  ~TThreadSources() {
    for (auto& s : list) s->Detach();
  }
  void Prune() {
    list.erase(std::remove_if(list.begin(), list.end(), [](auto& s) { return !s->Active(); }), list.end());
  }
};
thread_local TThreadSources t_sources;

// ppoll never wakes before its time-out has passed, so a deadline is kept to the nanosecond;
// poll's whole milliseconds had to be rounded up and overshot by up to one.
timespec* PollTimeout(TWaitClock::time_point deadline, timespec& left) {
  using namespace std::chrono;
  if (deadline == TWaitClock::time_point::max()) return nullptr;
  const auto now = TWaitClock::now();
  const nanoseconds wait = deadline <= now ? 0ns : std::min<nanoseconds>(deadline - now, 60s);
  left.tv_sec = static_cast<time_t>(wait / 1s);
  left.tv_nsec = static_cast<long>((wait % 1s).count());
  return &left;
}

// The events' descriptors carry their signals only while this lives.
class TWatching {
 public:
  explicit TWatching(const std::vector<std::shared_ptr<TEvent>>& events) : events_(events) {
    for (auto& e : events_) e->Watch();
  }
  ~TWatching() {
    for (auto& e : events_) e->Unwatch();
  }
  TWatching(const TWatching&) = delete;
  TWatching& operator=(const TWatching&) = delete;

 private:
  const std::vector<std::shared_ptr<TEvent>>& events_;
};

void RunProgress(std::vector<TPollItem>& items, const std::vector<std::size_t>& starts) {
  // Sources may be added by progress itself; walk the ones that prepared.
  for (std::size_t i = 0; i + 1 < starts.size() && i < t_sources.list.size(); ++i)
    t_sources.list[i]->Progress(items.data() + starts[i], starts[i + 1] - starts[i]);
}
}  // namespace

void AddWaitSource(const std::shared_ptr<TWaitSource>& source) {
  for (auto& s : t_sources.list)
    if (s == source) return;
  t_sources.list.push_back(source);
}

void ProgressWaitSources() {
  std::vector<TPollItem> items;
  std::vector<std::size_t> starts;
  auto deadline = TWaitClock::time_point::max();
  auto list = t_sources.list;
  for (auto& s : list) {
    starts.push_back(items.size());
    s->Prepare(items, deadline);
  }
  starts.push_back(items.size());
  for (auto& it : items) it.revents = 0;
  for (std::size_t i = 0; i < list.size(); ++i)
    list[i]->Progress(items.data() + starts[i], starts[i + 1] - starts[i]);
  t_sources.Prune();
}

DWORD WaitForObjectsOrInput(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                            TThreadQueue* queue) {
  if (waitAll || count > MAXIMUM_WAIT_OBJECTS || (count > 0 && !handles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<TEvent>> events;
  events.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    auto event = LookupHandleAs<TEvent>(handles[i]);
    if (!event) return WAIT_FAILED;
    events.push_back(std::move(event));
  }
  const auto end = milliseconds == INFINITE ? TWaitClock::time_point::max()
                                            : TWaitClock::now() + std::chrono::milliseconds(milliseconds);
  std::vector<TPollItem> items;
  std::vector<std::size_t> starts;
  for (;;) {
    for (DWORD i = 0; i < count; ++i)
      if (events[i]->TryAcquire()) return WAIT_OBJECT_0 + i;
    if (queue && queue->HasInput()) return WAIT_OBJECT_0 + count;
    if (TWaitClock::now() >= end) return WAIT_TIMEOUT;

    items.clear();
    starts.clear();
    for (auto& e : events) items.push_back({e->Fd(), POLLIN, 0});
    if (queue) items.push_back({queue->Fd(), POLLIN, 0});
    auto deadline = end;
    t_sources.Prune();
    for (auto& s : t_sources.list) {
      starts.push_back(items.size());
      s->Prepare(items, deadline);
    }
    starts.push_back(items.size());

    std::vector<pollfd> fds(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) fds[i] = {items[i].fd, items[i].events, 0};
    int n;
    {
      const TWatching watching(events);
      timespec left;
      n = ::ppoll(fds.data(), fds.size(), PollTimeout(deadline, left), nullptr);
    }
    if (n < 0 && errno != EINTR) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    for (std::size_t i = 0; i < items.size(); ++i) items[i].revents = n > 0 ? fds[i].revents : 0;
    // A wake-up whose message was taken before it was written: read it, or poll would spin.
    if (queue && n > 0 && fds[count].revents) queue->Settle();
    RunProgress(items, starts);
  }
}
