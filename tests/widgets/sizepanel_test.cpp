#include "widgets/sizepanel.h"

#include <QWindow>

#include "tests/widgets/widgettest.h"

namespace {
struct PanelFixture : ::testing::Test {
  void SetUp() override {
    form = std::make_unique<QWidget>();
    form->resize(707, 534);
    panel = new TSizePanel(form.get(), 185);
    log = new QWidget(form.get());
    panel->SetFillControl(log);
    panel->OnResize = TNotifyEvent::FromCallable([this](TObject*) { ++resizes; });
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  // Drags the bar by `dx` pixels through the window, as the pointer would: once pressed, the
  // bar keeps receiving the moves while it follows the pointer.
  void DragBar(int dx) {
    QWindow* window = form->windowHandle();
    const QPoint grip = panel->SizeBar()->mapTo(form.get(), QPoint(1, 100));
    QTest::mousePress(window, Qt::LeftButton, {}, grip);
    QTest::mouseMove(window, grip + QPoint(dx / 2, 0));
    QTest::mouseMove(window, grip + QPoint(dx, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, grip + QPoint(dx, 0));
    QApplication::processEvents();
  }
  std::unique_ptr<QWidget> form;
  TSizePanel* panel = nullptr;
  QWidget* log = nullptr;
  int resizes = 0;
};
}  // namespace

TEST_F(PanelFixture, DocksLeftWithTheBarOnItsRightEdgeAndTheFillBeside) {
  EXPECT_EQ(panel->geometry(), QRect(0, 0, 185, 534));
  EXPECT_EQ(panel->SizeBar()->geometry(), QRect(182, 0, 3, 534));
  EXPECT_EQ(log->geometry(), QRect(185, 0, 522, 534));
  form->resize(800, 600);
  QApplication::processEvents();
  EXPECT_EQ(panel->geometry(), QRect(0, 0, 185, 600));
  EXPECT_EQ(log->geometry(), QRect(185, 0, 615, 600));
}

TEST_F(PanelFixture, DraggingWidensAndNarrowsButNeverBelowTheMarginPlusTheBar) {
  DragBar(60);
  EXPECT_EQ(panel->width(), 245);
  EXPECT_EQ(log->geometry(), QRect(245, 0, 462, 534));
  DragBar(-100);
  EXPECT_EQ(panel->width(), 183);  // 180 + 3
  DragBar(-500);
  EXPECT_EQ(panel->width(), 183);
  EXPECT_EQ(log->geometry(), QRect(183, 0, 524, 534));
  EXPECT_EQ(panel->SizeBar()->geometry(), QRect(180, 0, 3, 534));
  EXPECT_GE(resizes, 2);
}

TEST_F(PanelFixture, DraggingStopsAtTheFormsRightEdge) {
  DragBar(2000);
  EXPECT_EQ(panel->width(), 707);
  EXPECT_EQ(log->width(), 0);
  DragBar(-300);  // the bar is still there to grab
  EXPECT_EQ(panel->width(), 407);
}

TEST_F(PanelFixture, MovingWithoutAPressedButtonDoesNothing) {
  QTest::mouseMove(panel->SizeBar(), QPoint(1, 10));
  QTest::mouseMove(panel->SizeBar(), QPoint(80, 10));
  EXPECT_EQ(panel->width(), 185);
  EXPECT_EQ(resizes, 0);
}

TEST_F(PanelFixture, WidthInCodeKeepsTheMinimum) {
  EXPECT_EQ(panel->SetPanelWidth(100), 183);
  panel->SetMinMargin(250);
  EXPECT_EQ(panel->width(), 253);
  EXPECT_EQ(log->x(), 253);
  TSizePanel narrow(form.get(), 10);
  EXPECT_EQ(narrow.width(), narrow.MinWidth());
}
