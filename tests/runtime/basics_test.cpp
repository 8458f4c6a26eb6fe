#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/resources.h"

TEST(CodePage, FullWidthColonIsA3BA) {
  const std::string bytes = Ansi("系统：");
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_EQ(bytes, std::string("\xCF\xB5\xCD\xB3\xA3\xBA"));
}

TEST(CodePage, ConsoleTextsMatchGbkBytes) {
  EXPECT_EQ(Ansi("打开"), std::string("\xB4\xF2\xBF\xAA"));
  EXPECT_EQ(Ansi("字节"), std::string("\xD7\xD6\xBD\xDA"));
  EXPECT_EQ(Ansi("网络->串口"), std::string("\xCD\xF8\xC2\xE7->\xB4\xAE\xBF\xDA"));
}

TEST(CodePage, RoundTripsAnyUnicodeAndAscii) {
  const std::u16string wide = u"abc 通讯转发 \U0001F600 €";
  EXPECT_EQ(AnsiToWide(WideToAnsi(wide)), wide);
  EXPECT_EQ(WideToAnsi(u"plain"), "plain");
}

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

TEST(ResourceStrings, UnpatchedLoaderRules) {
  EXPECT_EQ(LoadResourceString(nullptr), "");
  static const char text[] = "literal text";
  ResourceStringRecord byAddress{&HInstance, reinterpret_cast<std::intptr_t>(text)};
  EXPECT_EQ(LoadResourceString(&byAddress), "literal text");
  ResourceStringRecord byId{&HInstance, SCantChangeWhileActive};
  EXPECT_EQ(LoadResourceString(&byId), "Can't change value while socket is active");
  ResourceStringRecord missing{&HInstance, 12};
  EXPECT_EQ(LoadResourceString(&missing), "");
}

TEST(ResourceStrings, SocketMessagesAreInTheTable) {
  char16_t buf[64];
  EXPECT_EQ(LoadStringW(HInstance, SWindowsSocketError, buf, 64), 42);
  EXPECT_EQ(std::u16string(buf), u"Windows socket error: %s (%d), on API '%s'");
  // Truncates to the buffer, always terminated.
  EXPECT_EQ(LoadStringW(HInstance, SNoAddress, buf, 3), 2);
  EXPECT_EQ(std::u16string(buf), u"No");
  EXPECT_EQ(LoadStringW(HInstance, SNoAddress, buf, 0), 0);
}

namespace {
std::string Shouting(const ResourceStringRecord*) { return "SWAPPED"; }
}  // namespace

TEST(ResourceStrings, LoaderSlotSwapsAndRestores) {
  ResourceStringRecord byId{&HInstance, SNoAddress};
  TResourceLoader previous = ExchangeResourceLoader(&Shouting);
  EXPECT_EQ(previous, &DefaultLoadResourceString);
  EXPECT_EQ(LoadResourceString(&byId), "SWAPPED");
  EXPECT_EQ(ExchangeResourceLoader(previous), &Shouting);
  EXPECT_EQ(LoadResourceString(&byId), "No address specified");
}

TEST(Exceptions, GuardedShowsMessageAndSwallows) {
  std::string shown;
  auto previous = SetExceptionDisplay([&](const std::string& m) { shown = m; });
  Guarded([] { throw Exception("boom"); });
  EXPECT_EQ(shown, "boom");
  Guarded([] { throw 42; });
  EXPECT_EQ(shown, "Unknown exception");
  SetExceptionDisplay(previous);
}
