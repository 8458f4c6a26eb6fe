#include "platform/sync/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <atomic>
#include <mutex>
#include <unordered_map>

#include "runtime/exception.h"
#include "runtime/lasterror.h"

namespace {
const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TMessageEvent : public QEvent {
 public:
  explicit TMessageEvent(TMessage message) : QEvent(kMessageEvent), message_(std::move(message)) {}
  TMessage& Message() { return message_; }

 private:
  TMessage message_;
};

// Handles to live receivers. The lock is held while posting, so a receiver cannot be destroyed
// between the look-up and the post.
std::mutex g_windowsLock;
std::unordered_map<HWND, QObject*>& Windows() {
  static std::unordered_map<HWND, QObject*> windows;
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
    Guarded([&] { procedure_(m->Message()); });
    return true;
  }

 private:
  TWindowProcedure procedure_;
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
  QCoreApplication::postEvent(it->second, std::make_unique<TMessageEvent>(std::move(m)).release());
  return TRUE;
}

bool IsWindow(HWND window) {
  std::lock_guard lock(g_windowsLock);
  return Windows().count(window) != 0;
}

void ProcessPostedMessages() { QCoreApplication::sendPostedEvents(nullptr, kMessageEvent); }
