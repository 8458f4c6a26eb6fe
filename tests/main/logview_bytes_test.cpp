// Every byte of a block reaches the log view, marked bytes are told apart from payload text
// both on screen and in what is copied.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include "relay/trafficlog.h"
#include "tests/main/fixture.h"
#include "widgets/logview.h"

namespace {
using Runs = std::vector<TLogRun>;

std::string Bytes(std::string_view s) { return std::string(s); }
}  // namespace

TEST(LogViewBytes, CutAndInvalidSequencesShowEveryByteAsHexOnGrey) {
  TLogView view;
  // A two-byte character cut by the interval time-out.
  view.AppendLine(0, "AB\xB0");
  EXPECT_EQ(view.LineRuns(0), (Runs{{"AB", false}, {"B0", true}}));
  // A four-byte character cut after three: all three are shown.
  view.AppendLine(0, "A\x81\x30\x81");
  EXPECT_EQ(view.LineRuns(0 + 1), (Runs{{"A", false}, {"81", true}, {"30", true}, {"81", true}}));
  // Bytes that never start a character, and a lead byte before an invalid trail: decoding
  // goes on with the next byte.
  view.AppendLine(0,
                  "\x80x\xFF"
                  "\x81 y" +
                      Ansi("中"));
  EXPECT_EQ(
      view.LineRuns(2),
      (Runs{{"80", true}, {"x", false}, {"FF", true}, {"81", true}, {QString::fromUtf8(" y中"), false}}));
  // The stated length and what is shown agree: one marked pair per byte not decoded.
  view.AppendLine(0, std::string("\xB0\xB0\xB0", 3));
  EXPECT_EQ(view.LineText(3), QString::fromUtf8("鞍B0"));
  EXPECT_EQ(view.LineCopyText(3), QString::fromUtf8("鞍\\xB0"));
}

TEST(LogViewBytes, MarksAreKeptBesideTheTextNotInIt) {
  TLogView view;
  // 81 37 83 30 is the character U+2400, a payload character like any other.
  view.AppendLine(0, "\x81\x37\x83\x30");
  view.AppendLine(0, Bytes(std::string_view("\0", 1)));
  view.AppendLine(0, "00");
  EXPECT_EQ(view.LineRuns(0), (Runs{{QString(QChar(0x2400)), false}}));
  EXPECT_EQ(view.LineRuns(1), (Runs{{"00", true}}));
  EXPECT_EQ(view.LineRuns(2), (Runs{{"00", false}}));
  // The same digits on screen, three different copies.
  EXPECT_EQ(view.LineText(1), view.LineText(2));
  EXPECT_EQ(view.LineCopyText(0), QString(QChar(0x2400)));
  EXPECT_EQ(view.LineCopyText(1), "\\x00");
  EXPECT_EQ(view.LineCopyText(2), "00");
  // A payload backslash is doubled, so "\x00" in the payload is not a zero byte.
  view.AppendLine(0, std::string("\\x00|\x7F", 6));
  EXPECT_EQ(view.LineText(3), "\\x00|7F");
  EXPECT_EQ(view.LineCopyText(3), "\\\\x00|\\x7F");
}

TEST(LogViewBytes, InAHexLineTheTextBeforeTheDigitsIsMarkedToItsLastByteAndTheDigitsNever) {
  TLogView view;
  const std::string inner = std::string("in\x01(2):", 7), last = std::string("in(2):\x1F", 7);
  view.AppendLine(0, inner + "\x41\x07", inner.size());
  view.AppendLine(0, last + "\x41", last.size());
  view.AppendLine(0, "in(2):\x41\x0A", 6);
  EXPECT_EQ(view.LineRuns(0), (Runs{{"in", false}, {"01", true}, {"(2):41 07 ", false}}));
  EXPECT_EQ(view.LineRuns(1), (Runs{{"in(2):", false}, {"1F", true}, {"41 ", false}}));
  EXPECT_EQ(view.LineRuns(2), (Runs{{"in(2):41 0A ", false}}));
}

TEST(LogViewBytes, CtrlCCopiesEscapesAndTheCutMarker) {
  TLogView view;
  view.resize(400, 200);
  view.show();
  std::string longLine(TLogView::MaxLineChars - 1, 'a');
  longLine += WideToAnsi(u"\U0001F600");  // needs two units where one is left: not shown
  view.AppendLine(0, longLine);
  view.AppendLine(0, std::string("\r\n\\", 3));
  view.Flush();
  const QString as = QString(qsizetype(TLogView::MaxLineChars - 1), QLatin1Char('a'));
  EXPECT_EQ(view.LineText(0), as + CutMarker(4));
  EXPECT_EQ(view.LineRuns(0).back(), (TLogRun{CutMarker(4), true}));
  view.SelectAll();
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), as + "\\" + CutMarker(4) + "\n\\x0D\\x0A\\\\");
}

TEST_F(ConsoleTest, TextModeLineShowsAsManyBytesAsItsLengthSays) {
  form->VwCheckBoxHex->SetChecked(false);
  serial->Deliver("AB\xB0");
  EXPECT_EQ(LastBody(), Q("串口收到(3):AB") + "B0");
  EXPECT_EQ(form->VwRichEdit->LineRuns(Lines() - 1).back(), (TLogRun{"B0", true}));
  net->ServerSends(std::string("A\x81\x30\x81\0", 5));
  // 81 30 needs two more bytes from 81 30 to 39: 81 forms nothing, 30 is a "0".
  EXPECT_EQ(LastBody(), Q("网络收到(5):A8108100"));
  EXPECT_EQ(form->VwRichEdit->LineCopyText(Lines() - 1).mid(14), Q("网络收到(5):A\\x810\\x81\\x00"));
  // Cut at the end, all three bytes are the cut character's.
  net->ServerSends("A\x81\x30\x81");
  EXPECT_EQ(form->VwRichEdit->LineCopyText(Lines() - 1).mid(14), Q("网络收到(4):A\\x81\\x30\\x81"));
}

TEST_F(ConsoleTest, HexModeCutCountsPayloadBytes) {
  OpenPort();
  std::string block(20000, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = char(i * 7);
  net->ServerSends(block);
  const QString body = LastBody();
  const QString head = Q("网络->串口(20000):");
  ASSERT_TRUE(body.startsWith(head));
  const qsizetype cut = body.indexOf(QString::fromUtf8("…+"));
  ASSERT_GT(cut, head.size());
  // Only whole bytes are shown ("XX "), and shown plus counted make the block.
  const qsizetype hexChars = cut - head.size();
  EXPECT_EQ(hexChars % 3, 0);
  const std::size_t shownBytes = std::size_t(hexChars / 3);
  EXPECT_EQ(body.mid(cut), CutMarker(block.size() - shownBytes));
  EXPECT_EQ(body.mid(head.size(), hexChars),
            QString::fromLatin1(StrToHexStr(std::string_view(block).substr(0, shownBytes))));
  // What is shown stays within the view's bound.
  EXPECT_LE(std::size_t(14 + cut), TLogView::MaxLineChars);
  EXPECT_GT(std::size_t(14 + cut), TLogView::MaxLineChars - 3);
}

TEST_F(ConsoleTest, ABurstOfBlocksInHexShowsTheLinesTheGeneralDecodingShows) {
  OpenPort();
  Connect();
  const std::size_t first = Lines();
  std::vector<std::string> blocks;
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 200; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    std::string block(1 + x % 64, '\0');
    for (char& c : block) {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      c = char(x >> 56);
    }
    blocks.push_back(block);
    if (i % 2)
      net->ServerSends(block);
    else
      serial->Deliver(block);
  }
  ASSERT_EQ(Lines(), first + blocks.size());
  TLogView reference;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::string head =
        (i % 2 ? texts::NetToSerial() : texts::SerialToNet()) + "(" + std::to_string(blocks[i].size()) + "):";
    EXPECT_EQ(Body(first + i), AnsiToQString(head) + QString::fromLatin1(StrToHexStr(blocks[i]))) << i;
    // The hex digits skip the code page; what shows is what decoding the whole line shows.
    reference.AppendLine(0, "[00:00:00:000]" + head + StrToHexStr(blocks[i]));
    EXPECT_EQ(form->VwRichEdit->LineRuns(first + i).size(), reference.LineRuns(i).size()) << i;
    EXPECT_EQ(form->VwRichEdit->LineText(first + i).mid(14), reference.LineText(i).mid(14)) << i;
  }
}
