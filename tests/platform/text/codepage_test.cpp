#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include "platform/text/qtext.h"

namespace {
using Stray = std::vector<TStrayByte>;
}

TEST(DecodeAnsiBytes, KeepsEveryByteThatFormsNoCharacterInPlace) {
  // A cut two-byte and a cut four-byte character at the end.
  TDecodedBytes d = DecodeAnsiBytes("AB\xB0");
  EXPECT_EQ(d.text, "AB");
  EXPECT_EQ(d.stray, (Stray{{2, 0xB0}}));
  EXPECT_EQ(d.used, 3u);
  d = DecodeAnsiBytes("A\x81\x30\x81");
  EXPECT_EQ(d.text, "A");
  EXPECT_EQ(d.stray, (Stray{{1, 0x81}, {1, 0x30}, {1, 0x81}}));
  // Invalid sequences in the middle: decoding resumes at the next byte.
  d = DecodeAnsiBytes("\x80x\xFF\x81 y");
  EXPECT_EQ(d.text, "x y");
  EXPECT_EQ(d.stray, (Stray{{0, 0x80}, {1, 0xFF}, {1, 0x81}}));
  // Zero bytes and control characters are characters; so is U+2400.
  d = DecodeAnsiBytes(std::string_view("\0\r\x81\x37\x83\x30", 6));
  EXPECT_EQ(d.text, QString::fromUtf16(u"\0\r\u2400", 3));
  EXPECT_TRUE(d.stray.empty());
  EXPECT_EQ(DecodeAnsiBytes("").used, 0u);
}

TEST(DecodeAnsiBytes, AgreesWithTheCodePageOnValidText) {
  const std::string bytes = WideToAnsi(u"通讯转发：abc \U0001F600 € ¥ 鞍");
  const TDecodedBytes d = DecodeAnsiBytes(bytes);
  EXPECT_EQ(d.text, AnsiToQString(bytes));
  EXPECT_TRUE(d.stray.empty());
  EXPECT_EQ(d.used, bytes.size());
  // A second byte can be below 0x80 (U+4E02 is 81 40): only what comes before any lead byte is
  // one character a byte.
  const std::string seconds = "[12:00]" + WideToAnsi(u"丂") + "@" + WideToAnsi(u"丂");
  ASSERT_EQ(seconds.substr(7, 2), "\x81\x40");
  EXPECT_EQ(DecodeAnsiBytes(seconds).text, QString::fromUtf8("[12:00]丂@丂"));
}

TEST(DecodeAnsiBytes, StopsAtTheUnitBoundOnAWholeCharacter) {
  const std::string face = WideToAnsi(u"\U0001F600");
  ASSERT_EQ(face.size(), 4u);
  // One unit left: the surrogate pair does not fit and is not split.
  TDecodedBytes d = DecodeAnsiBytes("a" + face + "b", 2);
  EXPECT_EQ(d.text, "a");
  EXPECT_EQ(d.used, 1u);
  // Stray bytes count towards the bound as one unit each.
  d = DecodeAnsiBytes("\xFF\xFF" + Ansi("中文"), 3);
  EXPECT_EQ(d.text, QString::fromUtf8("中"));
  EXPECT_EQ(d.stray.size(), 2u);
  EXPECT_EQ(d.used, 4u);
  d = DecodeAnsiBytes("abcdef", 4);
  EXPECT_EQ(d.text, "abcd");
  EXPECT_EQ(d.used, 4u);
  d = DecodeAnsiBytes("ab\x81\x30\x81", 3);
  EXPECT_EQ(d.text, "ab");
  EXPECT_EQ(d.stray, (Stray{{2, 0x81}}));
  EXPECT_EQ(d.used, 3u);
}

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
