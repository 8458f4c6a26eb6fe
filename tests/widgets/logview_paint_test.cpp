// What the log view repaints while lines stream in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <random>
#include <string>
#include <vector>

#include "tests/widgets/widgettest.h"
#include "widgets/logview.h"

namespace {
void Paint() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Lets a picture made in pieces finish and reach the screen.
void Settle(TLogView& view) {
  for (int i = 0; i < 100000 && !view.PictureComplete(); ++i) QApplication::processEvents();
  ASSERT_TRUE(view.PictureComplete());
  Paint();
}

// What the screen shows of the view's lines: the window's own pixels, not a repaint.
QImage OnScreen(TLogView& view) {
  // The window's pixels are device pixels.
  const qreal ratio = view.devicePixelRatioF();
  const QRect area(view.viewport()->mapTo(view.window(), QPoint(0, 0)) * ratio,
                   view.viewport()->size() * ratio);
  return view.screen()
      ->grabWindow(view.window()->winId())
      .toImage()
      .copy(area)
      .convertToFormat(QImage::Format_RGB32);
}

// The same lines in a view of the same size that paints them whole, at the same place.
QImage PaintedWhole(const TLogView& view, const std::vector<std::string>& lines, std::size_t firstShown) {
  TLogView fresh;
  fresh.resize(view.size());
  fresh.show();
  for (const std::string& line : lines) fresh.AppendLine(0x008000, line);
  fresh.Flush();
  fresh.verticalScrollBar()->setValue(int(firstShown));
  fresh.horizontalScrollBar()->setRange(0, view.horizontalScrollBar()->maximum());
  fresh.horizontalScrollBar()->setValue(view.horizontalScrollBar()->value());
  return fresh.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A log line of the kinds traffic makes: text, control bytes, hex, a block too long to show.
std::string SomeLine(std::mt19937& random, int n) {
  std::string line = "12:00:00.000 " + std::to_string(n) + " ";
  switch (random() % 4) {
    case 0:
      line += "text \r\n payload";
      break;
    case 1:
      line += std::string("ctl \x01\x00\r\n\x7F end", 13);
      break;
    case 2:
      for (int i = 0; i < 24; ++i) line += "3A ";
      break;
    default:
      line += std::string(20000, 'x');
  }
  return line;
}
}  // namespace

TEST(LogViewPaint, AScrollBarThatShowsNothingNewIsNotRepaintedAsLinesStreamIn) {
  TLogView view;
  view.resize(400, 300);
  view.show();
  for (int i = 0; i < 2000; ++i) view.AppendLine(0, "line " + std::to_string(i));
  view.Flush();
  Paint();
  QScrollBar* bar = view.verticalScrollBar();
  ASSERT_EQ(bar->value(), bar->maximum());
  TPaintCounter barPaints(bar);
  TPaintCounter viewPaints(view.viewport());
  // The slider stands at the bottom at its least length: more lines move nothing on it.
  for (int i = 0; i < 20; ++i) {
    view.AppendLine(0, "more " + std::to_string(i));
    view.Flush();
    Paint();
  }
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(bar->maximum(), int(view.LineCount()) - bar->pageStep());
  EXPECT_GT(viewPaints.paints, 0);
  EXPECT_EQ(barPaints.paints, 0);
  // A change that shows is painted: scrolled to the top, then cleared.
  bar->setValue(0);
  Paint();
  EXPECT_GT(barPaints.paints, 0);
  const int before = barPaints.paints;
  view.ClearLines();
  Paint();
  EXPECT_GT(barPaints.paints, before);
}

TEST(LogViewPaint, TheScreenShowsWhatTheLinesSayAsTheyStreamIn) {
  // 301 pixels: the last row in sight is cut, and rows move up through it.
  TLogView view;
  view.resize(420, 301);
  view.show();
  view.SetPaintSlice(std::chrono::microseconds(0));
  std::mt19937 random(7);
  std::vector<std::string> lines;
  const auto append = [&](int count) {
    for (int i = 0; i < count; ++i) {
      lines.push_back(SomeLine(random, int(lines.size())));
      view.AppendLine(0x008000, lines.back());
    }
  };
  const auto expectShownRight = [&](const char* when) {
    view.Flush();
    Settle(view);
    const std::size_t first = std::size_t(view.verticalScrollBar()->value());
    EXPECT_TRUE(OnScreen(view) == PaintedWhole(view, lines, first))
        << when << ", " << lines.size() << " lines";
  };
  // Filling the view, then streaming past it in steps of every size up to more than a view.
  for (int count : {1, 3, 40, 1, 2, 7, 5, 19, 1, 25, 60, 4}) {
    append(count);
    expectShownRight("streaming");
  }
  // Scrolled sideways: the rows move up with their left part out of sight.
  view.horizontalScrollBar()->setValue(30);
  expectShownRight("scrolled sideways");
  for (int count : {2, 9}) {
    append(count);
    expectShownRight("streaming scrolled sideways");
  }
  view.horizontalScrollBar()->setValue(0);
  // Cleared, then filled again from the top.
  view.ClearLines();
  lines.clear();
  expectShownRight("cleared");
  for (int count : {1, 5, 30}) {
    append(count);
    expectShownRight("after the clear");
  }
}

TEST(LogViewPaint, SelectionMatchAndPauseAreShownAsTheyChangeWhileLinesStreamIn) {
  TLogView view;
  view.resize(400, 240);
  view.show();
  view.SetPaintSlice(std::chrono::microseconds(0));
  for (int i = 0; i < 30; ++i) view.AppendLine(0, "line " + std::to_string(i));
  view.SelectLines(26, 28);
  ASSERT_TRUE(view.Find(QStringLiteral("line 27"), false));
  view.Flush();
  Settle(view);
  const QImage before = OnScreen(view);
  // Rows keep their marks as they move up; the picture is the one painted whole.
  for (int i = 30; i < 33; ++i) view.AppendLine(0, "line " + std::to_string(i));
  view.Flush();
  Settle(view);
  EXPECT_FALSE(OnScreen(view) == before);
  EXPECT_TRUE(OnScreen(view) == view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
  const QRgb highlight = view.palette().color(QPalette::Highlight).lighter(170).rgb();
  const int rowHeight = view.fontMetrics().lineSpacing();
  const auto rowTop = [&](int line) { return 2 + (line - view.verticalScrollBar()->value()) * rowHeight; };
  // Lines 26 to 28 moved up with their marks: selected, and 27 with the match on it.
  for (int line : {26, 28}) EXPECT_EQ(OnScreen(view).pixel(380, rowTop(line) + 1), highlight);
  EXPECT_EQ(OnScreen(view).pixel(3, rowTop(27)), qRgb(255, 200, 0));
  view.ClearMatch();
  view.SelectLines(0, 0);
  Paint();
  EXPECT_EQ(OnScreen(view).pixel(380, rowTop(28) + 1), qRgb(255, 255, 225));
  // Paused, lines held back show as the count in the sign and leave the rows alone.
  view.SetPaused(true);
  Paint();
  const QImage paused = OnScreen(view);
  view.AppendLine(0, "held");
  view.Flush();
  Settle(view);
  EXPECT_FALSE(OnScreen(view) == paused);
  const QImage heldOne = OnScreen(view);
  const int below = 2 + rowHeight;
  EXPECT_TRUE(heldOne.copy(0, below, heldOne.width(), heldOne.height() - below) ==
              paused.copy(0, below, paused.width(), paused.height() - below));
}

TEST(LogViewPaint, EventsAreServedBetweenThePiecesOfARepaintAndAnEarlyPaintIsWhole) {
  TLogView view;
  view.resize(500, 400);
  view.show();
  std::vector<std::string> lines;
  const auto append = [&](const std::string& text) {
    lines.push_back(text);
    view.AppendLine(0x008000, text);
  };
  for (int i = 0; i < 100; ++i) append("first " + std::to_string(i));
  view.Flush();
  Settle(view);
  view.SetPaintSlice(std::chrono::microseconds(0));
  for (int i = 0; i < 15; ++i) append("more " + std::to_string(i));
  TPaintCounter paints(view.viewport());
  view.Flush();
  ASSERT_FALSE(view.PictureComplete());
  // A paint asked for meanwhile gets the whole picture as it is now.
  EXPECT_TRUE(view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32) ==
              PaintedWhole(view, lines, std::size_t(view.verticalScrollBar()->value())));
  for (int i = 0; i < 15; ++i) append("late " + std::to_string(i));
  view.Flush();
  ASSERT_FALSE(view.PictureComplete());
  // An event posted after the flush is served before the new rows are all painted and shown.
  struct TServed : QObject {
    bool served = false, completeThen = true;
    int paintsThen = -1;
    TPaintCounter* paints = nullptr;
    TLogView* view = nullptr;
    bool event(QEvent* e) override {
      if (e->type() != QEvent::User) return QObject::event(e);
      served = true;
      completeThen = view->PictureComplete();
      paintsThen = paints->paints;
      return true;
    }
  } served;
  served.paints = &paints;
  served.view = &view;
  QCoreApplication::postEvent(&served, new QEvent(QEvent::User));
  Settle(view);
  EXPECT_TRUE(served.served);
  EXPECT_FALSE(served.completeThen);
  EXPECT_EQ(served.paintsThen, 1);  // the grab's paint only
  EXPECT_TRUE(OnScreen(view) == PaintedWhole(view, lines, std::size_t(view.verticalScrollBar()->value())));
}

TEST(LogViewPaint, AHiddenViewPaintsNothingAndShowsItsLinesWhenShownAgain) {
  TLogView view;
  view.resize(400, 240);
  view.show();
  view.SetPaintSlice(std::chrono::microseconds(0));
  std::vector<std::string> lines;
  for (int i = 0; i < 40; ++i) {
    lines.push_back("line " + std::to_string(i));
    view.AppendLine(0x008000, lines.back());
  }
  view.Flush();
  Settle(view);
  view.hide();
  TPaintCounter paints(view.viewport());
  for (int i = 40; i < 80; ++i) {
    lines.push_back("line " + std::to_string(i));
    view.AppendLine(0x008000, lines.back());
  }
  view.Flush();
  EXPECT_TRUE(view.PictureComplete());  // no picture is being made for nobody
  Paint();
  EXPECT_EQ(paints.paints, 0);
  view.show();
  Settle(view);
  EXPECT_TRUE(OnScreen(view) == PaintedWhole(view, lines, std::size_t(view.verticalScrollBar()->value())));
}

TEST(LogViewPaint, ABlockKeptAsBytesIsPaintedAsItsDigitsWouldBeWhereverTheViewIsScrolled) {
  // Lines whose blocks the view keeps as bytes, beside the same lines given as text: with and
  // without a marked byte in the text before the digits, up to a whole serial block.
  std::vector<std::pair<std::string, std::size_t>> bytes;
  std::vector<std::string> digits;
  std::mt19937 random(11);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const std::size_t size : {std::size_t(1), std::size_t(64), std::size_t(4096)}) {
    for (const bool marked : {false, true}) {
      const std::string head = marked ? std::string("in\x01(n):", 7) : std::string("in(n):");
      std::string block(size, '\0');
      for (char& c : block) c = char(random());
      std::string line = head;
      for (const char c : block) {
        line += kHex[static_cast<unsigned char>(c) >> 4];
        line += kHex[c & 0x0F];
        line += ' ';
      }
      bytes.emplace_back(head + block, head.size());
      digits.push_back(line);
    }
  }
  TLogView fromBytes, fromDigits;
  for (TLogView* view : {&fromBytes, &fromDigits}) {
    view->resize(500, 260);
    view->show();
  }
  for (const auto& [line, hexFrom] : bytes) fromBytes.AppendLine(0x800000, line, hexFrom);
  for (const std::string& line : digits) fromDigits.AppendLine(0x800000, line);
  for (std::size_t i = 0; i < digits.size(); ++i)
    EXPECT_EQ(fromBytes.LineText(i), fromDigits.LineText(i)) << i;
  // Only what can be in sight of a long block is made for the picture, from wherever it starts.
  for (const int left : {0, 37, 5000, 30000}) {
    for (TLogView* view : {&fromBytes, &fromDigits}) {
      view->Flush();
      view->horizontalScrollBar()->setValue(left);
    }
    ASSERT_EQ(fromBytes.horizontalScrollBar()->value(), fromDigits.horizontalScrollBar()->value());
    EXPECT_TRUE(fromBytes.viewport()->grab().toImage() == fromDigits.viewport()->grab().toImage()) << left;
  }
  EXPECT_EQ(fromBytes.horizontalScrollBar()->value(), 30000);
}
