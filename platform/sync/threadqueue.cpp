#include "platform/sync/threadqueue.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <unordered_map>

#include "platform/files/descriptor.h"
#include "platform/sync/event_object.h"
#include "platform/sync/threadqueue_object.h"
#include "platform/sync/wakeup.h"

namespace {
std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_threadId = 0;

std::mutex g_queuesLock;
std::unordered_map<DWORD, std::shared_ptr<TThreadQueue>>& Queues() {
  static std::unordered_map<DWORD, std::shared_ptr<TThreadQueue>> queues;
  return queues;
}
}  // namespace

std::shared_ptr<TThreadQueue> TThreadQueue::Create() {
  const int fd = OpenWakeup();
  if (fd < 0) return nullptr;
  return std::make_shared<TThreadQueue>(fd);
}

TThreadQueue::~TThreadQueue() {
  int fd = fd_;
  CloseDescriptor(fd);
}

bool TThreadQueue::Post(MSG message) {
  bool first;
  {
    std::lock_guard lock(lock_);
    if (closed_) return false;
    messages_.push_back(std::move(message));
    first = messages_.size() == 1;
  }
  // Outside the lock, so the woken owner does not find it still held. A signal written after
  // the owner took the message is read by Settle.
  if (first) SignalWakeup(fd_);
  return true;
}

void TThreadQueue::Settle() {
  std::lock_guard lock(lock_);
  if (messages_.empty()) DrainWakeup(fd_);
}

bool TThreadQueue::Take(MSG& message, bool remove) {
  std::lock_guard lock(lock_);
  if (messages_.empty()) return false;
  if (!remove) {
    message.hwnd = messages_.front().hwnd;
    message.message = messages_.front().message;
    message.wParam = messages_.front().wParam;
    message.lParam = messages_.front().lParam;
    return true;
  }
  message = std::move(messages_.front());
  messages_.pop_front();
  if (messages_.empty()) {
    DrainWakeup(fd_);
  }
  return true;
}

bool TThreadQueue::HasInput() {
  std::lock_guard lock(lock_);
  return !messages_.empty();
}

void TThreadQueue::Close() {
  std::deque<MSG> dropped;
  {
    std::lock_guard lock(lock_);
    closed_ = true;
    dropped.swap(messages_);
  }
  // Blocks are freed here, outside the lock.
}

void BindThreadQueue(DWORD threadId, std::shared_ptr<TThreadQueue> queue) {
  std::lock_guard lock(g_queuesLock);
  if (queue)
    Queues()[threadId] = std::move(queue);
  else
    Queues().erase(threadId);
}

std::shared_ptr<TThreadQueue> FindThreadQueue(DWORD threadId) {
  std::lock_guard lock(g_queuesLock);
  auto it = Queues().find(threadId);
  return it == Queues().end() ? nullptr : it->second;
}

DWORD NewThreadId() { return g_nextThreadId++; }
void AdoptThreadId(DWORD threadId) { t_threadId = threadId; }

DWORD GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = NewThreadId();
  return t_threadId;
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block) {
  auto queue = FindThreadQueue(threadId);
  MSG m;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.Block = std::move(block);
  if (!queue || !queue->Post(std::move(m))) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg || window != 0 || filterMin != 0 || filterMax != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto queue = FindThreadQueue(GetCurrentThreadId());
  return queue && queue->Take(*msg, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask) {
  auto queue = wakeMask ? FindThreadQueue(GetCurrentThreadId()) : nullptr;
  return WaitForObjectsOrInput(count, handles, waitAll, milliseconds, queue.get());
}
