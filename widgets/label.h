// Static texts. A TLabel sizes itself to its caption; a TCounterLabel keeps the size it was
// given and shows its caption right-aligned and vertically centred inside a lowered border.
// A counter changes with every block of traffic: it takes every caption at once but redraws at
// most every RedrawMs, so thousands of blocks a second do not each cost a repaint. The counters
// of one window share that tick: counters that change together are redrawn in one paint.
#pragma once
#include <QLabel>
#include <QPointer>
#include <string>

#include "runtime/object.h"

class TCounterTick;

class TLabel : public QLabel, public TObject {
 public:
  explicit TLabel(QWidget* parent = nullptr);
  // Caption and position in one step, as the form resource gives them.
  TLabel(QWidget* parent, const std::string& caption, int left, int top);

  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const;
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);

 private:
  bool autoSize_ = true;
};

class TCounterLabel : public TLabel {
 public:
  static constexpr int RedrawMs = 40;
  explicit TCounterLabel(QWidget* parent = nullptr);

  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const { return caption_; }

 private:
  friend class TCounterTick;
  void Redraw();

  std::string caption_;
  bool behind_ = false;          // the drawn text is older than caption_
  QPointer<TCounterTick> tick_;  // its window's
};
