// An application object and its event loop for programs that have none of their own (the
// socket benchmark): notifications and posted messages need a running loop.
#pragma once
#include <chrono>
#include <functional>
#include <memory>

class QCoreApplication;

namespace loopback {

class TEventLoop {
 public:
  TEventLoop(int& argc, char** argv);
  ~TEventLoop();
  TEventLoop(const TEventLoop&) = delete;
  TEventLoop& operator=(const TEventLoop&) = delete;

  // Runs the loop until `done` holds or `limit` has passed; answers `done()`.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

 private:
  std::unique_ptr<QCoreApplication> app_;
};

}  // namespace loopback
