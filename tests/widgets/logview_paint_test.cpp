// What the log view repaints while lines stream in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QScrollBar>

#include "widgets/logview.h"

namespace {
// Counts the paint events a widget gets.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void Paint() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
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
