// The log view's picture. While traffic streams in, the UI thread is also the thread that
// forwards it, so a repaint must never hold it for long: the rows that are new since the last
// picture are painted into an image in short pieces, with events served between them, and the
// rows still in sight are moved up instead of painted again. The paint event only copies the
// image. Anything that asks for the picture while it is incomplete or out of date gets it painted
// whole, so what is shown is always what the lines say.
#include <QElapsedTimer>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "widgets/logview.h"
#include "widgets/logviewlook.h"

using namespace logview;

bool TLogView::TPictureKey::OnlyAppendedIn(const TPictureKey& later) const {
  TPictureKey same = later;
  same.top = top;
  same.end = end;
  return same == *this && !paused && later.top >= top && later.end >= end;
}

int TLogView::RowsToBottom() const {
  const int rowHeight = std::max(1, fontMetrics().lineSpacing());
  return std::max(0, (viewport()->height() - kMargin + rowHeight - 1) / rowHeight);
}

TLogView::TPictureKey TLogView::CurrentKey() const {
  TPictureKey key;
  const std::size_t first = std::min(lines_.size(), std::size_t(std::max(0, verticalScrollBar()->value())));
  key.top = dropped_ + first;
  key.end = dropped_ + std::min(lines_.size(), first + std::size_t(RowsToBottom()));
  key.left = horizontalScrollBar()->value();
  key.selFirst = selFirst_;
  key.selLast = selLast_;
  if (matchStart_ >= 0) {
    key.matchPos = matchPos_;
    key.matchStart = matchStart_;
    key.matchLength = matchLength_;
  }
  key.paused = paused_;
  key.held = paused_ ? held_.size() : 0;
  key.size = viewport()->size();
  key.ratio = viewport()->devicePixelRatioF();
  key.looks = looks_;
  return key;
}

bool TLogView::PrepareImage(const TPictureKey& key) {
  const QSize pixels = (QSizeF(key.size) * key.ratio).toSize().expandedTo(QSize(1, 1));
  if (picture_.size() == pixels && picture_.devicePixelRatio() == key.ratio) return false;
  picture_ = QImage(pixels, QImage::Format_RGB32);
  picture_.setDevicePixelRatio(key.ratio);
  // Text is laid out for the image's resolution: it must be the screen's.
  constexpr double kMetersPerInch = 0.0254;
  picture_.setDotsPerMeterX(qRound(viewport()->logicalDpiX() / kMetersPerInch));
  picture_.setDotsPerMeterY(qRound(viewport()->logicalDpiY() / kMetersPerInch));
  pictureDone_ = false;
  return true;
}

void TLogView::PaintWhole(const TPictureKey& key) {
  piece_.stop();
  work_.reset();
  PrepareImage(key);
  PaintRows(key, 0, RowsToBottom(), std::chrono::microseconds::max());
  FinishPicture(key);
}

void TLogView::StartPicture() {
  // Nothing is painted for a window that is hidden or minimized; its first paint makes the
  // picture whole.
  const QWindow* shown = window()->windowHandle();
  if (!isVisible() || !shown || !shown->isExposed()) {
    piece_.stop();
    work_.reset();
    return;
  }
  const TPictureKey key = CurrentKey();
  if (work_) {
    // Lines appended while a picture is made wait for it and the next flush; anything else
    // starts it over.
    if (work_->key.OnlyAppendedIn(key)) {
      if (!repaint_.isActive()) repaint_.start();
      return;
    }
    piece_.stop();
    work_.reset();
  }
  if (pictureDone_ && pictureKey_ == key) return;
  const int rows = RowsToBottom();
  int next = 0;
  if (!PrepareImage(key) && pictureDone_ && pictureKey_.OnlyAppendedIn(key) &&
      key.ratio == std::floor(key.ratio)) {
    // Lines painted whole before keep their pixels, moved up by the rows scrolled.
    const int rowHeight = fontMetrics().lineSpacing();
    const std::size_t shift = key.top - pictureKey_.top;
    const std::size_t wholeRows =
        std::size_t(std::max(0, (key.size.height() - kMargin) / std::max(1, rowHeight)));
    const std::size_t whole = std::min(pictureKey_.end, pictureKey_.top + wholeRows);
    if (whole > key.top) {
      const int ratio = int(key.ratio);
      const int to = kMargin * ratio, from = (kMargin + int(shift) * rowHeight) * ratio;
      if (from > to && from < picture_.height())
        std::memmove(picture_.scanLine(to), picture_.scanLine(from),
                     std::size_t(picture_.height() - from) * std::size_t(picture_.bytesPerLine()));
      next = int(whole - key.top);
    }
  }
  pictureDone_ = false;
  work_ = TPictureWork{key, next, rows};
  PaintPiece();
}

void TLogView::PaintPiece() {
  if (!work_) return;
  TPictureWork& work = *work_;
  if (work.next < work.rows && work.key.top + std::size_t(work.next) < std::min(work.key.end, dropped_)) {
    // Lines it was to show were dropped meanwhile: the next paint makes the picture whole.
    work_.reset();
    viewport()->update();
    return;
  }
  if (work.next < work.rows) work.next = PaintRows(work.key, work.next, work.rows, slice_);
  if (work.next < work.rows) return piece_.start();
  const TPictureKey key = work.key;
  work_.reset();
  FinishPicture(key);
  showNew_ = true;
  viewport()->update();
}

void TLogView::FinishPicture(const TPictureKey& key) {
  if (key.paused) {
    // Language-free: the pause sign and how many lines wait for the resume.
    QPainter painter(&picture_);
    painter.setFont(font());
    const QFontMetrics fm = fontMetrics();
    const QString badge = QStringLiteral(" || +%1 ").arg(key.held);
    const QRect box(key.size.width() - fm.horizontalAdvance(badge) - kMargin, kMargin,
                    fm.horizontalAdvance(badge), fm.lineSpacing());
    painter.fillRect(box, kControlBackground);
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, badge);
  }
  pictureKey_ = key;
  pictureDone_ = true;
}

int TLogView::PaintRows(const TPictureKey& key, int from, int to, std::chrono::microseconds budget) {
  QElapsedTimer clock;
  clock.start();
  QPainter painter(&picture_);
  painter.setFont(font());
  painter.setLayoutDirection(layoutDirection());
  const QFontMetrics fm = fontMetrics();
  const int rowHeight = fm.lineSpacing();
  const int width = key.size.width();
  const int left = kMargin - key.left;
  const QColor base = palette().color(QPalette::Base);
  // No character is narrower than this, so a run cut at (room / narrowest) still reaches the edge.
  const int narrowest =
      std::max(1, std::min({fm.horizontalAdvance(QLatin1Char('i')), fm.horizontalAdvance(QLatin1Char('.')),
                            fm.horizontalAdvance(QLatin1Char(' '))}));
  if (from == 0) painter.fillRect(QRect(0, 0, width, kMargin), base);
  int widest = widest_;
  int row = from;
  while (row < to) {
    const int y = kMargin + row * rowHeight;
    painter.fillRect(QRect(0, y, width, rowHeight), base);
    const std::size_t position = key.top + std::size_t(row++);
    if (position < key.end && position >= dropped_) {
      const Line& line = lines_[position - dropped_];
      if (position >= key.selFirst && position <= key.selLast)
        painter.fillRect(QRect(0, y, width, rowHeight), palette().color(QPalette::Highlight).lighter(170));
      if (key.matchStart >= 0 && position == key.matchPos) {
        const QString shown = LineText(position - dropped_);
        const int start = left + fm.horizontalAdvance(shown.left(key.matchStart));
        painter.fillRect(
            QRect(start, y, fm.horizontalAdvance(shown.mid(key.matchStart, key.matchLength)), rowHeight),
            kMatchBackground);
      }
      painter.setPen(ToQColor(line.color));
      int x = left;
      ForEachRun(
          line,
          [&](const QString& run, bool marked) {
            // Only what can be in sight is laid out: a long run is cut at the right edge.
            const qsizetype fits = qsizetype(std::max(0, width - x) / narrowest + 2);
            const QString shown = run.size() > fits ? run.left(fits) : run;
            if (marked) {
              const int advance = fm.horizontalAdvance(shown);
              if (x + advance > 0) painter.fillRect(QRect(x, y, advance, rowHeight), kControlBackground);
              painter.drawText(QPoint(x, y + fm.ascent()), shown);
              x += advance;
            } else {
              // One layout gives both the picture and the width.
              QRect drawn;
              painter.drawText(QRect(x, y, 1 << 24, rowHeight),
                               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown, &drawn);
              x += drawn.width();
            }
            return x < width;
          },
          qsizetype(std::max(0, width - left) / narrowest + 2));
      widest = std::max(widest, x - left);
    }
    using std::chrono::duration_cast, std::chrono::microseconds, std::chrono::nanoseconds;
    if (duration_cast<microseconds>(nanoseconds(clock.nsecsElapsed())) >= budget) break;
  }
  if (widest > widest_) {
    widest_ = widest;
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, widest_ + 2 * kMargin - width));
  }
  return row;
}

void TLogView::paintEvent(QPaintEvent* event) {
  const TPictureKey now = CurrentKey();
  // A picture finished a moment ago may lack lines appended since; the next flush brings them.
  const bool asked = std::exchange(showNew_, false);
  if (!pictureDone_ ||
      !(pictureKey_ == now || (asked && repaint_.isActive() && pictureKey_.OnlyAppendedIn(now))))
    PaintWhole(now);
  QPainter painter(viewport());
  const QRect area = event->rect();
  const qreal ratio = picture_.devicePixelRatio();
  for (int y = area.top(); y <= area.bottom(); y += kFillBand) {
    const QRect band(area.left(), y, area.width(), std::min(kFillBand, area.bottom() + 1 - y));
    painter.drawImage(band, picture_, QRectF(QPointF(band.topLeft()) * ratio, QSizeF(band.size()) * ratio));
  }
}

void TLogView::changeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::LayoutDirectionChange:
      ++looks_;
      break;
    default:
      break;
  }
  QAbstractScrollArea::changeEvent(event);
}
