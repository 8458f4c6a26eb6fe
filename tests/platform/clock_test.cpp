#include "platform/clock.h"

#include <gtest/gtest.h>

TEST(Clock, InjectedClockGivesUtcFields) {
  using namespace std::chrono;
  // 2026-01-02 15:59:59.999 UTC
  const auto t = sys_days{year{2026} / 1 / 2} + hours{15} + minutes{59} + seconds{59} + milliseconds{999};
  TClockOverride clock([t] { return t; });
  SYSTEMTIME st{};
  GetSystemTime(&st);
  EXPECT_EQ(st.wYear, 2026);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wDay, 2);
  EXPECT_EQ(st.wHour, 15);
  EXPECT_EQ(st.wMinute, 59);
  EXPECT_EQ(st.wSecond, 59);
  EXPECT_EQ(st.wMilliseconds, 999);
}

TEST(Clock, RealClockIsRestoredAfterOverride) {
  using namespace std::chrono;
  {
    TClockOverride clock([] { return system_clock::time_point{}; });
    SYSTEMTIME st{};
    GetSystemTime(&st);
    EXPECT_EQ(st.wYear, 1970);
  }
  SYSTEMTIME st{};
  GetSystemTime(&st);
  EXPECT_GE(st.wYear, 2024);
}
