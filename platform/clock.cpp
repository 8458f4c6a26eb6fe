#include "platform/clock.h"

#include <time.h>

namespace {
TClockSource& Source() {
  static TClockSource source;
  return source;
}
}  // namespace

void GetSystemTime(SYSTEMTIME* time) {
  std::int64_t ms;
  if (Source()) {
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(Source()().time_since_epoch()).count();
  } else {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    ms = std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
  const time_t secs = static_cast<time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  tm parts{};
  gmtime_r(&secs, &parts);
  time->wYear = WORD(parts.tm_year + 1900);
  time->wMonth = WORD(parts.tm_mon + 1);
  time->wDayOfWeek = WORD(parts.tm_wday);
  time->wDay = WORD(parts.tm_mday);
  time->wHour = WORD(parts.tm_hour);
  time->wMinute = WORD(parts.tm_min);
  time->wSecond = WORD(parts.tm_sec);
  time->wMilliseconds = WORD(ms - std::int64_t(secs) * 1000);
}

TClockOverride::TClockOverride(TClockSource source) : previous_(std::move(Source())) {
  Source() = std::move(source);
}

TClockOverride::~TClockOverride() { Source() = std::move(previous_); }
