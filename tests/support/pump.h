// Running the UI thread's event loop from a test: Qt's events and the posted messages of the
// platform, until something happened or for a while.
#pragma once
#include <QObject>
#include <chrono>
#include <functional>

// Delivers events and posted messages until `done` holds or `limit` passes; answers `done()`.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10));
// Delivers whatever arrives during `span`.
void PumpFor(std::chrono::milliseconds span);
// One round of delivery without waiting for anything.
void PumpOnce();

// Counts the events that carry posted messages (any user event type) delivered on the UI thread,
// to whichever object, while it exists.
class TPostedEventCount : public QObject {
 public:
  TPostedEventCount();
  ~TPostedEventCount() override;
  int Count() const { return count_; }

 protected:
  bool eventFilter(QObject* target, QEvent* event) override;

 private:
  int count_ = 0;
};
