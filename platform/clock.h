// The system clock in UTC, with a seam for tests.
#pragma once
#include <chrono>
#include <functional>

#include "runtime/wintypes.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

void GetSystemTime(SYSTEMTIME* time);

using TClockSource = std::function<std::chrono::system_clock::time_point()>;

// Replaces the clock for as long as it lives (tests only; not thread-safe against readers).
class TClockOverride {
 public:
  explicit TClockOverride(TClockSource source);
  ~TClockOverride();
  TClockOverride(const TClockOverride&) = delete;
  TClockOverride& operator=(const TClockOverride&) = delete;

 private:
  TClockSource previous_;
};
