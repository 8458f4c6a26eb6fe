// The flat look: a one-pixel frame drawn over a control that turns orange while the mouse is
// over it. The frame is a child that ignores the mouse, so it never changes how the control works.
#pragma once
#include <QWidget>
#include <functional>

#include "widgets/color.h"

class TFlatFrame : public QWidget {
 public:
  // `host` becomes the parent; the frame follows its size and stays on top of its children.
  explicit TFlatFrame(QWidget* host, TColor normal = clBtnShadow, TColor hot = clFlatHot);

  bool Hot() const { return hot_; }
  QColor FrameColor() const;
  // Where the frame is drawn, in host coordinates; the whole host when unset.
  void SetFrameRect(std::function<QRect()> rect);
  // Called after the hot state changed, for hosts that highlight more than the frame.
  void SetOnHotChanged(std::function<void(bool hot)> handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void SetHot(bool hot);

  TColor normal_;
  TColor hotColor_;
  bool hot_ = false;
  std::function<QRect()> frameRect_;
  std::function<void(bool)> onHotChanged_;
};
