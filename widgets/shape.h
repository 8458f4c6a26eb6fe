// A filled circle (indicator light): the largest circle that fits, centred, with a black outline.
#pragma once
#include <QWidget>

#include "runtime/object.h"
#include "widgets/color.h"

class TShape : public QWidget, public TObject {
 public:
  explicit TShape(QWidget* parent = nullptr);
  TColor BrushColor() const { return brushColor_; }
  void SetBrushColor(TColor color);  // repaints only when the colour changes

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TColor brushColor_ = clWhite;
};
