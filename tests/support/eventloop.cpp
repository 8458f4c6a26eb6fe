#include "tests/support/eventloop.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace loopback {

TEventLoop::TEventLoop(int& argc, char** argv) : app_(std::make_unique<QCoreApplication>(argc, argv)) {}

TEventLoop::~TEventLoop() = default;

bool TEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  }
  return true;
}

}  // namespace loopback
