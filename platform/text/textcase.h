// Letter-case-blind comparison of 8-bit names (domain names, embedded file names, character-set
// and service names). Only ASCII letters fold: names are paths and identifiers, not prose.
#pragma once
#include <string_view>

inline char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// <0, 0, >0 like memcmp, comparing folded unsigned bytes, a proper prefix first.
inline int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(FoldCase(a[i]));
    const auto y = static_cast<unsigned char>(FoldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareTextIgnoreCase(a, b) == 0;
}
