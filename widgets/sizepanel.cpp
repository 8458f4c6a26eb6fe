#include "widgets/sizepanel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "runtime/exception.h"
#include "widgets/color.h"

class TSizePanel::TSizeBar : public QWidget {
 public:
  explicit TSizeBar(TSizePanel* panel) : QWidget(panel), panel_(panel) { setCursor(Qt::SplitHCursor); }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    pressX_ = event->globalPosition().x();
    pressWidth_ = panel_->width();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!dragging_) return;
    panel_->DragToWidth(pressWidth_ + static_cast<int>(std::lround(event->globalPosition().x() - pressX_)));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) dragging_ = false;
  }
  // A bump: light edge on the left, shadow on the right.
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), ColorToQColor(clBtnFace));
    painter.setPen(ColorToQColor(clBtnHighlight));
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(ColorToQColor(clBtnShadow));
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
  }

 private:
  TSizePanel* panel_;
  bool dragging_ = false;
  double pressX_ = 0;
  int pressWidth_ = 0;
};

TSizePanel::TSizePanel(QWidget* parent, int width) : QWidget(parent) {
  if (!parent) throw Exception("TSizePanel needs a parent to dock to");
  bar_ = new TSizeBar(this);
  resize(std::max(width, MinWidth()), parent->height());
  parent->installEventFilter(this);
  Dock();
}

QWidget* TSizePanel::SizeBar() const { return bar_; }

void TSizePanel::SetMinMargin(int margin) {
  minMargin_ = std::max(margin, 0);
  SetPanelWidth(width());
}

int TSizePanel::SetPanelWidth(int width) {
  const int before = this->width();
  resize(std::max(width, MinWidth()), height());
  Dock();
  if (this->width() != before) Guarded([this] { OnResize(this); });
  return this->width();
}

void TSizePanel::DragToWidth(int width) {
  SetPanelWidth(std::min(width, std::max(parentWidget()->width(), MinWidth())));
}

void TSizePanel::SetFillControl(QWidget* control) {
  fill_ = control;
  PlaceChildren();
}

bool TSizePanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) Dock();
  return QWidget::eventFilter(watched, event);
}

void TSizePanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceChildren();
}

void TSizePanel::Dock() {
  setGeometry(0, 0, width(), parentWidget()->height());
  PlaceChildren();
}

void TSizePanel::PlaceChildren() {
  bar_->setGeometry(width() - BarWidth, 0, BarWidth, height());
  bar_->raise();
  if (fill_ && parentWidget()) {
    const QWidget* parent = parentWidget();
    fill_->setGeometry(width(), 0, std::max(parent->width() - width(), 0), parent->height());
  }
}
