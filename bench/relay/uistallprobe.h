// How long the UI thread keeps an operator waiting: a fine timer on the UI thread, and how late
// each tick comes. A tick that comes 30 ms after the one before means nothing on the UI thread
// (a click, a repaint) could have been served for about 29 ms.
#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <string>
#include <vector>

class UiStallProbe {
 public:
  explicit UiStallProbe(int periodMs = 1);
  void Start();
  void Stop();
  bool Running() const { return timer_.isActive(); }
  // Key/value lines: the longest stall, the 99th percentile gap, stalls over one frame (16 ms).
  void WriteReport(const std::string& path) const;

 private:
  int periodMs_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 lastNs_ = -1;
  std::vector<double> gapsMs_;
};
