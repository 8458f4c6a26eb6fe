#include "widgets/flatlook.h"

#include <QEvent>
#include <QPainter>

TFlatFrame::TFlatFrame(QWidget* host, TColor normal, TColor hot)
    : QWidget(host), normal_(normal), hotColor_(hot) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  setGeometry(host->rect());
  host->installEventFilter(this);
  raise();
}

QColor TFlatFrame::FrameColor() const {
  const TColor color = hot_ ? hotColor_ : normal_;
  return color == clNone ? QColor(Qt::transparent) : ColorToQColor(color);
}

void TFlatFrame::SetFrameRect(std::function<QRect()> rect) {
  frameRect_ = std::move(rect);
  update();
}

void TFlatFrame::SetOnHotChanged(std::function<void(bool)> handler) { onHotChanged_ = std::move(handler); }

bool TFlatFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent()) {
    switch (event->type()) {
      case QEvent::Enter:
        SetHot(true);
        break;
      case QEvent::Leave:
      case QEvent::Hide:
        SetHot(false);
        break;
      case QEvent::Resize:
        setGeometry(parentWidget()->rect());
        break;
      case QEvent::ChildAdded:
        // Children created after the frame (a spin box's editor) must not cover it.
        raise();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFlatFrame::SetHot(bool hot) {
  if (hot_ == hot) return;
  hot_ = hot;
  update();
  if (onHotChanged_) onHotChanged_(hot);
}

void TFlatFrame::paintEvent(QPaintEvent*) {
  if ((hot_ ? hotColor_ : normal_) == clNone) return;
  QPainter painter(this);
  painter.setPen(FrameColor());
  painter.setBrush(Qt::NoBrush);
  const QRect area = frameRect_ ? frameRect_() : rect();
  painter.drawRect(area.adjusted(0, 0, -1, -1));
}
