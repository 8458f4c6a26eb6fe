#include "socket/format.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

std::string FormatMessageArgs(const std::string& pattern, const std::vector<std::string>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    std::size_t j = i + 1;
    if (j < pattern.size() && pattern[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    // Optional "<index>:" in front of the type letter.
    std::size_t index = next;
    std::size_t k = j;
    std::size_t number = 0;
    while (k < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[k]))) {
      number = std::min<std::size_t>(number * 10 + std::size_t(pattern[k++] - '0'), 1000000);
    }
    if (k > j && k < pattern.size() && pattern[k] == ':') {
      index = number;
      j = k + 1;
    }
    if (j < pattern.size() && (pattern[j] == 's' || pattern[j] == 'd')) {
      if (index < args.size()) out += args[index];
      next = index + 1;
      i = j;
      continue;
    }
    out += '%';  // not a directive: kept as written
  }
  return out;
}
