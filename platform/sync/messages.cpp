#include "platform/sync/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "runtime/exception.h"
#include "runtime/lasterror.h"

namespace {
const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Messages posted to a window and not yet taken off its queue (delivered or discarded).
using TWaitingCount = std::shared_ptr<std::atomic<int>>;

class TMessageEvent : public QEvent {
 public:
  TMessageEvent(std::vector<TMessage> messages, TWaitingCount waiting)
      : QEvent(kMessageEvent), messages_(std::move(messages)), waiting_(std::move(waiting)) {
    *waiting_ += int(messages_.size());
  }
  ~TMessageEvent() override {
    if (waiting_) *waiting_ -= int(messages_.size());
  }
  // The messages still count as waiting until each is taken off `queue`.
  void MoveTo(std::deque<TMessage>& queue) {
    for (TMessage& m : messages_) queue.push_back(std::move(m));
    messages_.clear();
    waiting_ = nullptr;
  }

 private:
  std::vector<TMessage> messages_;
  TWaitingCount waiting_;
};

// Handles to live receivers. The lock is held while posting, so a receiver cannot be destroyed
// between the look-up and the post.
std::mutex g_windowsLock;
std::unordered_map<HWND, TMessageWindow::Receiver*>& Windows() {
  static std::unordered_map<HWND, TMessageWindow::Receiver*> windows;
  return windows;
}
std::atomic<HWND> g_nextHandle{1};
}  // namespace

class TMessageWindow::Receiver : public QObject {
 public:
  explicit Receiver(TWindowProcedure procedure) : procedure_(std::move(procedure)) {}

  bool event(QEvent* e) override {
    if (e->type() != kMessageEvent) return QObject::event(e);
    static_cast<TMessageEvent*>(e)->MoveTo(taken_);
    // A procedure may run a nested loop that delivers later events here: their messages queue
    // behind these and every loop takes from the front, so the order holds. It may also
    // destroy the window, and its queue with it.
    const QPointer<Receiver> alive(this);
    while (alive && !taken_.empty()) {
      TMessage m = std::move(taken_.front());
      taken_.pop_front();
      --*waiting_;
      Deliver(m);
    }
    return true;
  }
  void Deliver(TMessage& message) {
    Guarded([&] { procedure_(message); });
  }
  const TWaitingCount& Waiting() const { return waiting_; }

 private:
  TWindowProcedure procedure_;
  TWaitingCount waiting_ = std::make_shared<std::atomic<int>>(0);
  std::deque<TMessage> taken_;  // off Qt's queue, not yet delivered
};

namespace {
BOOL PostAll(HWND window, std::vector<TMessage> messages) {
  std::lock_guard lock(g_windowsLock);
  auto it = Windows().find(window);
  if (it == Windows().end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // Qt takes ownership of the event.
  QCoreApplication::postEvent(
      it->second, std::make_unique<TMessageEvent>(std::move(messages), it->second->Waiting()).release());
  return TRUE;
}

TMessage MakeMessage(UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  m.Block = std::move(block);
  return m;
}
}  // namespace

TMessageWindow::TMessageWindow(TWindowProcedure procedure)
    : handle_(g_nextHandle++), receiver_(std::make_unique<Receiver>(std::move(procedure))) {
  std::lock_guard lock(g_windowsLock);
  Windows()[handle_] = receiver_.get();
}

TMessageWindow::~TMessageWindow() {
  {
    std::lock_guard lock(g_windowsLock);
    Windows().erase(handle_);
  }
  // Destroying the receiver discards (and so frees) whatever is still posted to it.
  receiver_.reset();
}

BOOL PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block) {
  std::vector<TMessage> one;
  one.push_back(MakeMessage(msg, wParam, lParam, std::move(block)));
  return PostAll(window, std::move(one));
}

void TPostBatch::Hold(UINT msg, WPARAM wParam, LPARAM lParam, TLocalBlock block) {
  held_.push_back(MakeMessage(msg, wParam, lParam, std::move(block)));
}

BOOL TPostBatch::Post() {
  if (held_.empty()) return TRUE;
  return PostAll(window_, std::exchange(held_, {}));
}

BOOL DeliverOrPostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessageWindow::Receiver* receiver = nullptr;
  {
    std::lock_guard lock(g_windowsLock);
    auto it = Windows().find(window);
    // Only the window's own thread can destroy it, so it outlives the delivery below.
    if (it != Windows().end() && it->second->thread() == QThread::currentThread() &&
        it->second->Waiting()->load() == 0)
      receiver = it->second;
  }
  if (!receiver) return PostMessageA(window, msg, wParam, lParam);
  TMessage m = MakeMessage(msg, wParam, lParam, {});
  receiver->Deliver(m);
  return TRUE;
}

bool IsWindow(HWND window) {
  std::lock_guard lock(g_windowsLock);
  return Windows().count(window) != 0;
}

void ProcessPostedMessages() { QCoreApplication::sendPostedEvents(nullptr, kMessageEvent); }
