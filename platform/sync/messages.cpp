#include "platform/sync/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "runtime/exception.h"
#include "runtime/lasterror.h"

namespace {
const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Messages posted to a window and not yet taken off its queue (delivered or discarded).
using TWaitingCount = std::shared_ptr<std::atomic<int>>;

class TMessageEvent : public QEvent {
 public:
  TMessageEvent(TMessage message, TWaitingCount waiting)
      : QEvent(kMessageEvent), message_(std::move(message)), waiting_(std::move(waiting)) {
    ++*waiting_;
  }
  ~TMessageEvent() override { Taken(); }
  TMessage& Message() { return message_; }
  void Taken() {
    if (waiting_) --*std::exchange(waiting_, nullptr);
  }

 private:
  TMessage message_;
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
    auto* m = static_cast<TMessageEvent*>(e);
    m->Taken();
    Deliver(m->Message());
    return true;
  }
  void Deliver(TMessage& message) {
    Guarded([&] { procedure_(message); });
  }
  const TWaitingCount& Waiting() const { return waiting_; }

 private:
  TWindowProcedure procedure_;
  TWaitingCount waiting_ = std::make_shared<std::atomic<int>>(0);
};

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
  std::lock_guard lock(g_windowsLock);
  auto it = Windows().find(window);
  if (it == Windows().end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  m.Block = std::move(block);
  // Qt takes ownership of the event.
  QCoreApplication::postEvent(it->second,
                              std::make_unique<TMessageEvent>(std::move(m), it->second->Waiting()).release());
  return TRUE;
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
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  receiver->Deliver(m);
  return TRUE;
}

bool IsWindow(HWND window) {
  std::lock_guard lock(g_windowsLock);
  return Windows().count(window) != 0;
}

void ProcessPostedMessages() { QCoreApplication::sendPostedEvents(nullptr, kMessageEvent); }
