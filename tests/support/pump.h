// Shared helpers for the serial tests: pumping the UI thread's messages until something happened.
#pragma once
#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/messages.h"

// Delivers posted messages until `done` holds or `limit` passes; answers `done()`.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ProcessPostedMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Delivers whatever arrives during `span`.
inline void PumpFor(std::chrono::milliseconds span) {
  PumpUntil([] { return false; }, span);
}
