#include "relay/trafficlog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <chrono>

#include "tests/main/fixture.h"
#include "widgets/logview.h"

namespace {
SYSTEMTIME At(int h, int m, int s, int ms) {
  SYSTEMTIME t{};
  t.wHour = WORD(h);
  t.wMinute = WORD(m);
  t.wSecond = WORD(s);
  t.wMilliseconds = WORD(ms);
  return t;
}
}  // namespace

TEST(TrafficLog, StampIsUtcPlusEightAcrossMidnight) {
  EXPECT_EQ(FormatLogStamp(At(15, 59, 59, 999)), "[23:59:59:999]");
  EXPECT_EQ(FormatLogStamp(At(16, 0, 0, 0)), "[00:00:00:000]");
  EXPECT_EQ(FormatLogStamp(At(0, 5, 6, 7)), "[08:05:06:007]");
}

TEST(TrafficLog, HexRendering) {
  EXPECT_EQ(ByteToHex(0), "00");
  EXPECT_EQ(ByteToHex(10), "0A");
  EXPECT_EQ(ByteToHex(255), "FF");
  EXPECT_EQ(StrToHexStr("abc"), "61 62 63 ");
  EXPECT_EQ(StrToHexStr(std::string(1, '\0')), "00 ");
  EXPECT_EQ(StrToHexStr(""), "");
  EXPECT_EQ(StrToHexStr("\x7F\x80\xFE"), "7F 80 FE ");
  // A line whose block is shown in hex, as the service writes it.
  EXPECT_EQ(WithHexDigits(std::string("in(2):\n\0", 8), 6), "in(2):0A 00 ");
  EXPECT_EQ(WithHexDigits("in(0):", 6), "in(0):");
  EXPECT_EQ(WithHexDigits("a\nb", std::string::npos), "a\nb");
}

TEST_F(ConsoleTest, AddLogLineStampsFromTheInjectedClockInCallOrder) {
  using namespace std::chrono;
  const auto t = sys_days{year{2026} / 3 / 4} + hours{15} + minutes{59} + seconds{59} + milliseconds{999};
  TClockOverride clock([t] { return t; });
  form->AddLogLine(clRed, "first");
  form->AddLogLine(clBlue, "second");
  ASSERT_EQ(Lines(), 2u);
  EXPECT_EQ(form->VwRichEdit->LineText(0), "[23:59:59:999]first");
  EXPECT_EQ(form->VwRichEdit->LineText(1), "[23:59:59:999]second");
  EXPECT_EQ(form->VwRichEdit->LineColor(0), clRed);
  EXPECT_EQ(form->VwRichEdit->LineColor(1), clBlue);
}

TEST_F(ConsoleTest, ClearEmptiesTheViewAndKeepsCounters) {
  OpenPort();
  Connect();
  net->ServerSends("12345");
  serial->Deliver("abc");
  form->VwBtnClearClick(nullptr);
  EXPECT_EQ(Lines(), 0u);
  form->AddLogLine(clGreen, "next");
  ASSERT_EQ(Lines(), 1u);
  EXPECT_EQ(Body(0), "next");
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "5" + texts::Bytes());
  EXPECT_EQ(form->VwLabelSendSocket->Caption(), "3" + texts::Bytes());
  EXPECT_TRUE(serial->open);
  EXPECT_TRUE(net->Active());
}

TEST(LogView, PayloadMarkupIsShownLiterallyAndControlsVisibly) {
  TLogView view;
  view.AppendLine(0x008000, "<b>bold</b> &amp; <i>");
  view.AppendLine(0xFF0000, std::string("a\0b\r\nc\x7F", 7));
  ASSERT_EQ(view.LineCount(), 2u);
  EXPECT_EQ(view.LineText(0), "<b>bold</b> &amp; <i>");
  EXPECT_EQ(view.LineText(1), "a00b0D0Ac7F");
  // The hex digits of control bytes stand on grey; payload text does not.
  EXPECT_EQ(
      view.LineRuns(1),
      (std::vector<TLogRun>{
          {"a", false}, {"00", true}, {"b", false}, {"0D", true}, {"0A", true}, {"c", false}, {"7F", true}}));
  EXPECT_EQ(view.LineColor(0), 0x008000u);
  EXPECT_EQ(view.LineColor(1), 0xFF0000u);
  EXPECT_EQ(view.LineCount(), 2u);
}

TEST(LogView, GbkPayloadIsDecoded) {
  TLogView view;
  view.AppendLine(0, Ansi("系统：中文"));
  EXPECT_EQ(view.LineText(0), QString::fromUtf8("系统：中文"));
}

TEST(LogView, KeepsTheNewestLinesOnly) {
  TLogView view;
  const std::size_t total = TLogView::MaxLines + 250;
  for (std::size_t i = 0; i < total; ++i) {
    view.AppendLine(0, std::to_string(i));
    if (i % 40000 == 0) view.Flush();  // bound holds both for painted and gathered lines
  }
  ASSERT_EQ(view.LineCount(), TLogView::MaxLines);
  EXPECT_EQ(view.LineText(0), QString::number(250));
  EXPECT_EQ(view.LineText(TLogView::MaxLines - 1), QString::number(total - 1));
  view.ClearLines();
  EXPECT_EQ(view.LineCount(), 0u);
  view.AppendLine(0x0000FF, "after");
  EXPECT_EQ(view.LineCount(), 1u);
  EXPECT_EQ(view.LineText(0), "after");
}

TEST(LogView, CharacterBudgetDropsOldestLongLines) {
  TLogView view;
  const std::string longLine(16000, 'x');
  const int total = int(TLogView::MaxChars / longLine.size()) + 100;
  for (int i = 0; i < total; ++i) {
    view.AppendLine(0, std::to_string(i) + longLine);
    if (i % 500 == 0) view.Flush();
  }
  const std::size_t kept = view.LineCount();
  EXPECT_LE(kept * longLine.size(), TLogView::MaxChars);
  EXPECT_GT(kept, TLogView::MaxChars / longLine.size() - 100);
  EXPECT_TRUE(view.LineText(kept - 1).startsWith(QString::number(total - 1) + "x"));
  // A block kept as bytes counts as the digits it shows, three a byte; the lines that take over
  // the memory of dropped ones show their own bytes only.
  view.ClearLines();
  const std::size_t shown = 2 + 3 * 4000;
  const std::size_t appended = TLogView::MaxChars / shown + 100;
  for (std::size_t i = 0; i < appended; ++i)
    view.AppendLine(0, "h:" + std::string(i % 2 ? 4000 : 3999, char(i)) + char(i % 2 ? 0 : 0xC3), 2);
  EXPECT_LE(view.LineCount() * shown, TLogView::MaxChars);
  EXPECT_GT(view.LineCount(), TLogView::MaxChars / shown - 100);
  const std::size_t hexKept = view.LineCount();
  for (const std::size_t at : {std::size_t(0), hexKept - 2, hexKept - 1}) {
    const std::size_t i = appended - hexKept + at;
    const QString digits = QString("%1 ").arg(unsigned(i % 256), 2, 16, QChar('0')).toUpper();
    EXPECT_EQ(view.LineText(at), "h:" + digits.repeated(i % 2 ? 4000 : 3999) + (i % 2 ? "00 " : "C3 ")) << at;
  }
}

TEST(LogView, HugeLineIsCutWithACountOfWhatIsLeft) {
  TLogView view;
  const std::string hex(3 << 20, 'A');
  view.AppendLine(0xFF0000, hex);
  const QString shown = view.LineText(0);
  const QString marker = CutMarker(hex.size() - TLogView::MaxLineChars);
  EXPECT_EQ(shown.size(), qsizetype(TLogView::MaxLineChars) + marker.size());
  EXPECT_TRUE(shown.endsWith(marker));
  EXPECT_EQ(shown.count('A'), qsizetype(TLogView::MaxLineChars));
  // Multi-byte text is cut on a character, and a line that fits is never cut.
  std::string chinese;
  for (std::size_t i = 0; i < TLogView::MaxLineChars; ++i) chinese += Ansi("中");
  view.AppendLine(0, chinese);
  EXPECT_EQ(view.LineText(1), QString(qsizetype(TLogView::MaxLineChars), QChar(0x4E2D)));
  view.AppendLine(0, chinese + "xy");
  EXPECT_EQ(view.LineText(2), QString(qsizetype(TLogView::MaxLineChars), QChar(0x4E2D)) + CutMarker(2));
}

TEST(LogView, SelectedLinesAreCopiedAsShownAndFollowTheirLines) {
  TLogView view;
  view.resize(400, 200);
  view.show();
  for (int i = 0; i < 10; ++i) view.AppendLine(0, "line " + std::to_string(i) + std::string(1, '\0'));
  view.Flush();
  view.SelectLines(2, 4);
  EXPECT_EQ(view.SelectedText(), "line 2\\x00\nline 3\\x00\nline 4\\x00");
  // A click on the first row selects the oldest line shown there; Ctrl+C copies it.
  view.verticalScrollBar()->setValue(0);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(10, 4));
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "line 0\\x00");
  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view.SelectedText().count('\n'), 9);
  // Dropping the oldest lines leaves the selection on its lines, and gone when they are gone.
  view.SelectLines(6, 7);
  for (std::size_t i = 0; i < TLogView::MaxLines - 4; ++i) view.AppendLine(0, "x");
  EXPECT_EQ(view.LineText(0), "line 600");
  EXPECT_EQ(view.SelectedText(), "line 6\\x00\nline 7\\x00");
  view.AppendLine(0, "y");
  EXPECT_EQ(view.SelectedText(), "line 7\\x00");
  view.ClearLines();
  EXPECT_EQ(view.SelectedText(), "");
}
