#include "widgets/numformat.h"

#include <climits>
#include <cstdint>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits, either plain or grouped by commas exactly as FormatGrouped writes them.
bool ReadMagnitude(std::string_view text, std::int64_t& magnitude) {
  magnitude = 0;
  std::size_t groupStart = 0;
  bool firstGroup = true;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',') {
      if (!IsDigit(text[i])) return false;
      magnitude = magnitude * 10 + (text[i] - '0');
      if (magnitude > static_cast<std::int64_t>(INT_MAX) + 1) return false;
      continue;
    }
    const std::size_t length = i - groupStart;
    const bool plain = firstGroup && i == text.size();
    if (length == 0 || (!plain && (firstGroup ? length > 3 : length != 3))) return false;
    firstGroup = false;
    groupStart = i + 1;
  }
  return true;
}
}  // namespace

int ParseWholeNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    negative = true;
    text = text.substr(1, text.size() - 2);
  } else if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::int64_t magnitude = 0;
  if (!ReadMagnitude(text, magnitude)) return 0;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX || value < INT_MIN) return 0;
  return static_cast<int>(value);
}

std::string FormatGrouped(int value) {
  const bool negative = value < 0;
  std::int64_t magnitude = value;
  if (negative) magnitude = -magnitude;
  std::string digits = std::to_string(magnitude);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return negative ? "(" + grouped + ")" : grouped;
}
