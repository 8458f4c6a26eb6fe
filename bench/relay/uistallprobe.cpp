#include "bench/relay/uistallprobe.h"

#include <algorithm>
#include <cmath>
#include <fstream>

UiStallProbe::UiStallProbe(int periodMs) : periodMs_(periodMs) {
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    const qint64 now = clock_.nsecsElapsed();
    if (lastNs_ >= 0) gapsMs_.push_back(double(now - lastNs_) / 1e6);
    lastNs_ = now;
  });
}

void UiStallProbe::Start() {
  gapsMs_.reserve(std::size_t(120000 / periodMs_));
  clock_.start();
  lastNs_ = -1;
  timer_.start(periodMs_);
}

void UiStallProbe::Stop() { timer_.stop(); }

void UiStallProbe::WriteReport(const std::string& path) const {
  std::vector<double> gaps = gapsMs_;
  std::sort(gaps.begin(), gaps.end());
  const auto at = [&](double share) {
    if (gaps.empty()) return 0.0;
    return gaps[std::min(gaps.size() - 1, std::size_t(std::ceil(share * double(gaps.size()))) - 1)];
  };
  const double frame = 16.0;
  const auto over = gaps.end() - std::upper_bound(gaps.begin(), gaps.end(), frame + periodMs_);
  std::ofstream out(path);
  out << "ui_stall_max_ms " << std::max(0.0, at(1.0) - periodMs_) << "\n"
      << "ui_gap_p99_ms " << at(0.99) << "\n"
      << "ui_stalls_over_16ms " << over << "\n"
      << "ui_probe_ticks " << gaps.size() << "\n";
}
