#include "widgets/exceptiontext.h"

#include <gtest/gtest.h>

#include "platform/text/codepage.h"

TEST(ApplicationTitle, CutsAtTheFirstFullStopAndLowersAllButTheFirstCharacter) {
  EXPECT_EQ(ApplicationTitleFromPath("/usr/bin/comrelay"), "comrelay");
  EXPECT_EQ(ApplicationTitleFromPath("/opt/ComRelay.Bin"), "Comrelay");
  EXPECT_EQ(ApplicationTitleFromPath("COMRELAY.EXE"), "Comrelay");
  EXPECT_EQ(ApplicationTitleFromPath("/a.b/Relay.Tool.exe"), "Relay");  // dots in directories don't count
  EXPECT_EQ(ApplicationTitleFromPath("relay"), "relay");                // the first character keeps its case
}

TEST(ApplicationTitle, EdgeNames) {
  EXPECT_EQ(ApplicationTitleFromPath("/tmp/.hidden"), "");
  EXPECT_EQ(ApplicationTitleFromPath(""), "");
  EXPECT_EQ(ApplicationTitleFromPath("X"), "X");
  EXPECT_EQ(ApplicationTitleFromPath(QString::fromUtf8("/bin/通讯ABC.exe")), QString::fromUtf8("通讯abc"));
  // A first character outside the basic plane is kept whole.
  EXPECT_EQ(ApplicationTitleFromPath(QString::fromUtf8("/bin/𝐀BC")), QString::fromUtf8("𝐀bc"));
}

TEST(ExceptionBoxMessage, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ExceptionBoxMessage("abc"), "abc.");
  EXPECT_EQ(ExceptionBoxMessage("port 8887"), "port 8887.");
  EXPECT_EQ(ExceptionBoxMessage("a/"), "a/.");  // '/' is the first character after '.'
  EXPECT_EQ(ExceptionBoxMessage("done."), "done.");
  EXPECT_EQ(ExceptionBoxMessage("failed!"), "failed!");
  EXPECT_EQ(ExceptionBoxMessage("x-"), "x-");
  EXPECT_EQ(ExceptionBoxMessage("trailing "), "trailing ");
  EXPECT_EQ(ExceptionBoxMessage(""), "");
}

TEST(ExceptionBoxMessage, ChineseTextsGetTheFullStop) {
  // Bytes above 0x7F must compare as unsigned, or every Chinese message would go without.
  EXPECT_EQ(ExceptionBoxMessage(Ansi("读取串口参数错误")), Ansi("读取串口参数错误."));
  // A four-byte GB18030 character ends in a digit byte; it still sorts after the stop.
  const std::string fourByte = Ansi("€") + Ansi("😀");
  EXPECT_EQ(ExceptionBoxMessage(fourByte), fourByte + ".");
  EXPECT_EQ(ExceptionBoxMessage(Ansi("错误。")), Ansi("错误。") + ".");  // the full-width stop is not "."
}
