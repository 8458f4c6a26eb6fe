// A panel docked to the left of its parent, with a bumped size bar on its right edge that the
// user drags to change its width. The width never falls below MinMargin plus the bar, nor goes
// beyond the parent's width. An optional fill control takes the rest of the parent's client area.
#pragma once
#include <QPointer>
#include <QWidget>

#include "runtime/object.h"

class TSizePanel : public QWidget, public TObject {
 public:
  static constexpr int BarWidth = 3;
  static constexpr int DefaultMinMargin = 180;

  // `parent` is required: the panel docks to it.
  TSizePanel(QWidget* parent, int width);

  int MinMargin() const { return minMargin_; }
  void SetMinMargin(int margin);
  int MinWidth() const { return minMargin_ + BarWidth; }
  // Sets the width within the bounds and re-docks; returns the width taken.
  int SetPanelWidth(int width);
  // The control that fills the parent's client area right of the panel.
  void SetFillControl(QWidget* control);
  // The bar, for looks and for tests that drag it.
  QWidget* SizeBar() const;

  TNotifyEvent OnResize;  // the width changed

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class TSizeBar;
  // The width a drag asks for, also kept within the parent so the bar stays reachable.
  void DragToWidth(int width);
  void Dock();
  void PlaceChildren();

  int minMargin_ = DefaultMinMargin;
  TSizeBar* bar_;
  QPointer<QWidget> fill_;
};
