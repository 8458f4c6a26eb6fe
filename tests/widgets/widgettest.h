// Helpers for driving real widgets on the offscreen platform.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>

// A shown top-level window to put controls on, as a form would.
class TestWindow {
 public:
  explicit TestWindow(QSize size = {400, 300}) {
    window_.resize(size);
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }
  QWidget* get() { return &window_; }

  // Moves the pointer the way the window system does, so enter and leave events follow.
  void MoveMouseTo(QWidget* child, QPoint local) {
    QTest::mouseMove(window_.windowHandle(), child->mapTo(&window_, local));
    QApplication::processEvents();
  }
  void MoveMouseAway() {
    QTest::mouseMove(window_.windowHandle(), QPoint(window_.width() - 2, window_.height() - 2));
    QApplication::processEvents();
  }
  void Activate() {
    window_.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

 private:
  QWidget window_;
};

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

inline QColor PixelOf(QWidget* widget, QPoint at) { return widget->grab().toImage().pixelColor(at); }
