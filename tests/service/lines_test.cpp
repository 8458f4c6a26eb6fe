// The service's log lines: the local ISO 8601 stamp, the colour word, and payload bytes that
// stay on one line and can be told back.
#include "service/lines.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/text/codepage.h"

using namespace std::chrono;

TEST(ServiceLines, StampIsIso8601InTheGivenZone) {
  // 2026-12-08 07:09:44.123 UTC
  const system_clock::time_point t = sys_days(year(2026) / December / 8) + 7h + 9min + 44s + 123ms;
  EXPECT_EQ(service::IsoStamp(t, 8 * 3600), "2026-12-08T15:09:44.123+08:00");
  EXPECT_EQ(service::IsoStamp(t, 0), "2026-12-08T07:09:44.123+00:00");
  EXPECT_EQ(service::IsoStamp(t, -(9 * 3600 + 30 * 60)), "2026-12-07T21:39:44.123-09:30");
  // Across a year's end.
  const system_clock::time_point eve = sys_days(year(2026) / December / 31) + 23h + 59min + 59s + 999ms;
  EXPECT_EQ(service::IsoStamp(eve, 3600), "2027-01-01T00:59:59.999+01:00");
}

TEST(ServiceLines, ColoursAreWordsAndTextsAreUtf8) {
  EXPECT_EQ(service::ServiceLine("S", relay::TLineKind::System, Ansi("系统：成功打开串口")),
            "S red 系统：成功打开串口");
  EXPECT_EQ(service::ServiceLine("S", relay::TLineKind::FromNetwork, Ansi("网络->串口(2):41 42 ")),
            "S blue 网络->串口(2):41 42 ");
  EXPECT_EQ(service::ServiceLine("S", relay::TLineKind::FromSerial, Ansi("串口收到(1):x")),
            "S green 串口收到(1):x");
}

namespace {
std::string Escaped(const std::string& bytes) {
  std::string out;
  char buf[8];
  for (unsigned char b : bytes) {
    std::snprintf(buf, sizeof buf, "\\x%02X", b);
    out += buf;
  }
  return out;
}
}  // namespace

TEST(ServiceLines, PayloadBytesStayOnOneLineAndCanBeToldBack) {
  EXPECT_EQ(service::OneLineUtf8(std::string("a\nb\r\tc\\d\0e\x7f", 11)), "a\\nb\\r\\tc\\\\d\\x00e\\x7F");
  // A byte that forms no character, and a character cut off at the end.
  EXPECT_EQ(service::OneLineUtf8("ok\xFF"
                                 "x"),
            "ok\\xFFx");
  EXPECT_EQ(service::OneLineUtf8(Ansi("中") + "\x81"), "中\\x81");
  EXPECT_EQ(service::OneLineUtf8(""), "");
  // Characters that would break the line (NEL, LINE SEPARATOR) or reorder it (RIGHT-TO-LEFT
  // OVERRIDE) for a reader that knows Unicode go as the bytes that brought them.
  EXPECT_EQ(service::OneLineUtf8("a\x81\x30\x81\x35"
                                 "b"),
            "a\\x81\\x30\\x81\\x35b");
  EXPECT_EQ(service::OneLineUtf8(Ansi("x\u2028y\u202Ez\u00E9")),
            "x" + Escaped(Ansi("\u2028")) + "y" + Escaped(Ansi("\u202E")) + "z\u00E9");
  // Characters that show nothing (ZERO WIDTH SPACE, WORD JOINER, SOFT HYPHEN) would hide the
  // bytes that brought them.
  EXPECT_EQ(
      service::OneLineUtf8(Ansi("p\u200Bq\u2060r\u00ADs")),
      "p" + Escaped(Ansi("\u200B")) + "q" + Escaped(Ansi("\u2060")) + "r" + Escaped(Ansi("\u00AD")) + "s");
}
