#include "widgets/shape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(TColor color) {
  if (brushColor_ == color) return;
  brushColor_ = color;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(ColorToQColor(brushColor_));
  const int diameter = std::min(width(), height()) - 1;
  if (diameter <= 0) return;
  const QRectF circle((width() - 1 - diameter) / 2.0 + 0.5, (height() - 1 - diameter) / 2.0 + 0.5, diameter,
                      diameter);
  painter.drawEllipse(circle);
}
