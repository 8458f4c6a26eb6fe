#include "tests/support/pump.h"

#include <QCoreApplication>
#include <thread>

#include "platform/sync/messages.h"

void PumpOnce() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  ProcessPostedMessages();
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    PumpOnce();
    // Lets the port's threads and the far ends run, and keeps a waiting test from costing a core:
    // the idle checks measure the process's CPU while the UI thread pumps.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void PumpFor(std::chrono::milliseconds span) {
  PumpUntil([] { return false; }, span);
}

TPostedEventCount::TPostedEventCount() { QCoreApplication::instance()->installEventFilter(this); }

TPostedEventCount::~TPostedEventCount() { QCoreApplication::instance()->removeEventFilter(this); }

bool TPostedEventCount::eventFilter(QObject*, QEvent* event) {
  if (event->type() >= QEvent::User) ++count_;
  return false;
}
