#include "widgets/label.h"

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

TCounterLabel::TCounterLabel(QWidget* parent) : TLabel(parent) {
  SetAutoSize(false);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  redraw_.setSingleShot(true);
  redraw_.setInterval(RedrawMs);
  connect(&redraw_, &QTimer::timeout, this, [this] {
    if (!behind_) return;
    behind_ = false;
    TLabel::SetCaption(caption_);
    redraw_.start();
  });
}

void TCounterLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  // The first change after a quiet spell shows at once; the rest of a burst at the next redraw.
  if (redraw_.isActive()) {
    behind_ = true;
    return;
  }
  TLabel::SetCaption(caption_);
  redraw_.start();
}
