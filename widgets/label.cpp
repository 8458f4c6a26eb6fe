#include "widgets/label.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/text/qtext.h"

TLabel::TLabel(QWidget* parent) : QLabel(parent) {
  // Received bytes and port names are never markup.
  setTextFormat(Qt::PlainText);
}

TLabel::TLabel(QWidget* parent, const std::string& caption, int left, int top) : TLabel(parent) {
  move(left, top);
  SetCaption(caption);
}

void TLabel::SetCaption(const std::string& caption) {
  setText(AnsiToQString(caption));
  if (autoSize_) adjustSize();
}

std::string TLabel::Caption() const { return QStringToAnsi(text()); }

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  if (autoSize_) adjustSize();
}

// The redraw tick of one window's counters. It runs while any of them changes; a counter that
// changes while it runs is redrawn when it next fires, with the others.
class TCounterTick : public QObject {
 public:
  explicit TCounterTick(QObject* window) : QObject(window) {
    timer_.setSingleShot(true);
    timer_.setInterval(TCounterLabel::RedrawMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Fire(); });
  }
  static TCounterTick& Of(QWidget* window) {
    for (QObject* child : window->children())
      if (auto* tick = dynamic_cast<TCounterTick*>(child)) return *tick;
    return *new TCounterTick(window);  // owned by the window
  }
  bool Running() const { return timer_.isActive(); }
  void Start() { timer_.start(); }
  void Hold(TCounterLabel* label) {
    if (std::find(held_.cbegin(), held_.cend(), label) == held_.cend()) held_.emplace_back(label);
  }

 private:
  void Fire() {
    bool redrawn = false;
    for (const QPointer<TCounterLabel>& label : std::exchange(held_, {})) {
      if (!label) continue;
      label->Redraw();
      redrawn = true;
    }
    // A quiet tick ends the run: the next change shows at once.
    if (redrawn) timer_.start();
  }

  QTimer timer_;
  std::vector<QPointer<TCounterLabel>> held_;
};

TCounterLabel::TCounterLabel(QWidget* parent) : TLabel(parent) {
  SetAutoSize(false);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
}

void TCounterLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (!tick_ || tick_->parent() != window()) tick_ = &TCounterTick::Of(window());
  TCounterTick& tick = *tick_;
  // The first change after a quiet spell shows at once; the rest of a burst at the next tick.
  if (tick.Running()) {
    behind_ = true;
    tick.Hold(this);
    return;
  }
  TLabel::SetCaption(caption_);
  tick.Start();
}

void TCounterLabel::Redraw() {
  if (!std::exchange(behind_, false)) return;
  TLabel::SetCaption(caption_);
}
