// A watch on device directories (/dev, /dev/serial/by-id): one call on the UI thread after
// nodes come or go, a burst of changes gathered into one. No polling: the kernel tells.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDeviceWatch {
 public:
  static constexpr int SettleMs = 150;

  // `dirs` that do not exist yet are watched once they appear (checked after every change).
  // `changed` runs on the thread that created the watch, from its event loop.
  TDeviceWatch(std::vector<std::string> dirs, std::function<void()> changed);
  TDeviceWatch(const TDeviceWatch&) = delete;
  TDeviceWatch& operator=(const TDeviceWatch&) = delete;
  ~TDeviceWatch();

  // False when the kernel refused a watch (no inotify): lists are then fresh only when opened.
  bool Active() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
