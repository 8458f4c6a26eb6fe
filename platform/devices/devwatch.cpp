#include "platform/devices/devwatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

struct TDeviceWatch::Impl {
  std::vector<std::string> dirs;
  std::function<void()> changed;
  int fd = -1;
  std::unique_ptr<QSocketNotifier> notifier;
  QTimer settle;

  void Arm() {
    // Adding a watch that exists already only returns it again.
    for (const std::string& dir : dirs)
      ::inotify_add_watch(fd, dir.c_str(),
                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR);
  }

  void Drain() {
    alignas(inotify_event) char buf[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      break;  // EAGAIN: all read
    }
    if (!settle.isActive()) settle.start();
  }
};

TDeviceWatch::TDeviceWatch(std::vector<std::string> dirs, std::function<void()> changed)
    : impl_(std::make_unique<Impl>()) {
  impl_->dirs = std::move(dirs);
  impl_->changed = std::move(changed);
  impl_->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (impl_->fd < 0) return;
  impl_->Arm();
  impl_->settle.setSingleShot(true);
  impl_->settle.setInterval(SettleMs);
  QObject::connect(&impl_->settle, &QTimer::timeout, [impl = impl_.get()] {
    impl->Arm();
    if (impl->changed) impl->changed();
  });
  impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fd, QSocketNotifier::Read);
  QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated,
                   [impl = impl_.get()] { impl->Drain(); });
}

TDeviceWatch::~TDeviceWatch() {
  impl_->notifier.reset();
  if (impl_->fd >= 0) ::close(impl_->fd);
}

bool TDeviceWatch::Active() const { return impl_->fd >= 0; }
