// Figures gathered over the runs, per command, printed as median, min and max with the ratio of
// each command's median to the first command's (the reference relay measured in the same run).
#pragma once
#include <map>
#include <string>
#include <vector>

namespace relaybench {

class Results {
 public:
  explicit Results(std::vector<std::string> names) : names_(std::move(names)) {}
  void Add(const std::string& metric, std::size_t command, double value, const std::string& unit);
  void Print() const;

 private:
  std::vector<std::string> names_;
  std::vector<std::string> order_;  // metrics in the order first seen
  std::map<std::string, std::string> units_;
  std::map<std::string, std::map<std::size_t, std::vector<double>>> values_;
};

double Median(std::vector<double> values);
// The value below which `share` of the sorted values lie.
double Quantile(const std::vector<double>& sorted, double share);

}  // namespace relaybench
