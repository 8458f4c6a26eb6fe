#include "bench/relay/results.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace relaybench {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? NAN : values[values.size() / 2];
}

double Quantile(const std::vector<double>& sorted, double share) {
  if (sorted.empty()) return NAN;
  const std::size_t index = std::size_t(std::ceil(share * double(sorted.size())));
  return sorted[std::min(sorted.size(), std::max<std::size_t>(index, 1)) - 1];
}

void Results::Add(const std::string& metric, std::size_t command, double value, const std::string& unit) {
  if (!units_.count(metric)) order_.push_back(metric);
  units_[metric] = unit;
  values_[metric][command].push_back(value);
}

void Results::Print() const {
  for (const auto& metric : order_) {
    const auto& byCommand = values_.at(metric);
    const auto reference = byCommand.find(0);
    const double base = reference == byCommand.end() ? NAN : Median(reference->second);
    for (const auto& [command, values] : byCommand) {
      const auto [low, high] = std::minmax_element(values.begin(), values.end());
      const double median = Median(values);
      std::printf("RESULT %-24s %-10s median=%.3f min=%.3f max=%.3f %s (n=%zu)", metric.c_str(),
                  names_[command].c_str(), median, *low, *high, units_.at(metric).c_str(), values.size());
      if (command != 0 && std::isfinite(base) && base != 0)
        std::printf(" ratio_to_%s=%.3f", names_[0].c_str(), median / base);
      // Each run's ratio to the reference measured in that run, then their median: the machine's
      // drift between runs falls out.
      if (command != 0 && reference != byCommand.end() && reference->second.size() == values.size()) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < values.size(); ++i)
          if (reference->second[i] > 0) ratios.push_back(values[i] / reference->second[i]);
        if (!ratios.empty()) std::printf(" paired_ratio=%.3f", Median(ratios));
      }
      std::printf("\n");
    }
  }
}

}  // namespace relaybench
