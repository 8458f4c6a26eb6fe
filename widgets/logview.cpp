#include "widgets/logview.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "platform/text/qtext.h"
#include "widgets/logviewlook.h"

using namespace logview;

namespace {
bool IsControl(char16_t u) { return u < 0x20 || u == 0x7F; }

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A scroll bar that repaints only when what it shows changes. A slider repaints on every change
// of its range or value (and the scroll area repaints it again on their signals); a log that
// grows by thousands of lines a second soon moves the slider by less than a pixel, and each
// repaint of a tall scroll bar in this style makes Qt's raster engine wait for its thread pool.
class TQuietScrollBar : public QScrollBar {
 public:
  explicit TQuietScrollBar(Qt::Orientation orientation) : QScrollBar(orientation) {}

  // Range and value set in several steps are judged once, by what they show in the end.
  void Hold() { held_ = true; }
  void Release() {
    held_ = false;
    if (std::exchange(changed_, false)) sliderChange(SliderValueChange);
  }

 protected:
  void sliderChange(SliderChange change) override {
    if (held_ && change != SliderOrientationChange) {
      changed_ = true;
      return;
    }
    if (change != SliderOrientationChange && painted_ && *painted_ == Shown()) return;
    QScrollBar::sliderChange(change);
  }
  void paintEvent(QPaintEvent* event) override {
    painted_ = Shown();
    QScrollBar::paintEvent(event);
  }

 private:
  struct TShown {
    QRect slider;
    bool atMinimum, atMaximum;
    bool operator==(const TShown&) const = default;
  };
  TShown Shown() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
  }
  std::optional<TShown> painted_;  // what the last paint showed
  bool held_ = false, changed_ = false;
};

// Holds a log view's scroll bar for the life of a block of changes.
class THeldBar {
 public:
  explicit THeldBar(QScrollBar* bar) : bar_(static_cast<TQuietScrollBar*>(bar)) { bar_->Hold(); }
  ~THeldBar() { bar_->Release(); }
  THeldBar(const THeldBar&) = delete;
  THeldBar& operator=(const THeldBar&) = delete;

 private:
  TQuietScrollBar* bar_;
};

}  // namespace

void AppendHexDigits(QString& out, std::string_view bytes) {
  const qsizetype at = out.size();
  out.resize(at + 3 * qsizetype(bytes.size()));
  char16_t* p = reinterpret_cast<char16_t*>(out.data()) + at;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    *p++ = char16_t(kHexDigits[b >> 4]);
    *p++ = char16_t(kHexDigits[b & 0x0F]);
    *p++ = u' ';
  }
}

QString CutMarker(std::size_t hiddenBytes) { return QString::fromUtf8("…+") + QString::number(hiddenBytes); }

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent) {
  setVerticalScrollBar(new TQuietScrollBar(Qt::Vertical));
  setHorizontalScrollBar(new TQuietScrollBar(Qt::Horizontal));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFrameShape(QFrame::StyledPanel);
  QPalette pal = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::Base, kInfoBk);
    pal.setColor(group, QPalette::Window, kInfoBk);
  }
  setPalette(pal);
  // The background is filled by paintEvent itself, in bands (see there).
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  repaint_.setSingleShot(true);
  repaint_.setInterval(RepaintMs);
  connect(&repaint_, &QTimer::timeout, this, [this] { Flush(); });
  piece_.setSingleShot(true);
  piece_.setInterval(0);
  connect(&piece_, &QTimer::timeout, this, [this] { PaintPiece(); });
  // Following the end stops while the operator looks at older lines, and resumes at the bottom.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int value) { follow_ = value >= verticalScrollBar()->maximum(); });
}

void TLogView::AppendLine(TLogColor color, std::string_view text, std::size_t hexFrom, std::size_t omitted) {
  // In a flood of hex lines one line is dropped for each one appended: its memory is reused.
  Line line =
      MakeLine(color, text, hexFrom, omitted, hexFrom < text.size() ? std::move(spare_) : std::string());
  chars_ += line.Size();
  if (paused_) {
    held_.push_back(std::move(line));
    DropOverflow();
    if (!repaint_.isActive()) repaint_.start();  // the count in the pause sign
    return;
  }
  widest_ = std::max<qsizetype>(widest_, qsizetype(line.Size()) * fontMetrics().averageCharWidth());
  lines_.push_back(std::move(line));
  DropOverflow();
  if (!repaint_.isActive()) repaint_.start();
}

TLogView::Line TLogView::MakeLine(TLogColor color, std::string_view text, std::size_t hexFrom,
                                  std::size_t omitted, std::string room) {
  Line line{color, QString(), {}, {}, 0};
  const std::string_view plainBytes = text.substr(0, hexFrom);
  const std::string_view hexBytes = hexFrom < text.size() ? text.substr(hexFrom) : std::string_view();
  // Decoding stops at what can be shown: a huge block stays cheap.
  TDecodedBytes decoded = DecodeAnsiBytes(plainBytes, MaxLineChars);
  line.hiddenBytes = plainBytes.size() - decoded.used + omitted;
  const std::size_t shown = std::size_t(decoded.text.size()) + decoded.stray.size();
  if (decoded.used == plainBytes.size() && shown < MaxLineChars) {
    // Only whole bytes are shown in hex.
    const std::size_t take = std::min(hexBytes.size(), (MaxLineChars - shown) / 3);
    line.hex = std::move(room);
    line.hex.assign(hexBytes.substr(0, take));
    line.hiddenBytes += hexBytes.size() - take;
  } else {
    line.hiddenBytes += hexBytes.size();
  }
  const auto control = std::find_if(decoded.text.cbegin(), decoded.text.cend(),
                                    [](QChar ch) { return IsControl(ch.unicode()); });
  if (decoded.stray.empty() && control == decoded.text.cend()) {
    line.text = std::move(decoded.text);
  } else {
    const QString& from = decoded.text;
    line.text.reserve(from.size() + 2 * qsizetype(decoded.stray.size()) + 16);
    auto mark = [&](unsigned byte) {
      line.marks.push_back(std::uint32_t(line.text.size()));
      line.text += QLatin1Char(kHexDigits[byte >> 4]);
      line.text += QLatin1Char(kHexDigits[byte & 0x0F]);
    };
    auto stray = decoded.stray.cbegin();
    for (qsizetype i = 0;; ++i) {
      for (; stray != decoded.stray.cend() && stray->at == i; ++stray) mark(stray->value);
      if (i == from.size()) break;
      if (IsControl(from[i].unicode()))
        mark(from[i].unicode());
      else
        line.text += from[i];
    }
  }
  return line;
}

void TLogView::DropOverflow() {
  auto over = [this] {
    const std::size_t count = lines_.size() + held_.size();
    return count > MaxLines || (count > 1 && chars_ > MaxChars);
  };
  std::size_t drop = 0;
  while (!lines_.empty() && over()) {
    chars_ -= lines_.front().Size();
    if (lines_.front().hex.capacity() > spare_.capacity()) spare_ = std::move(lines_.front().hex);
    lines_.pop_front();
    ++drop;
  }
  // Held lines are older than none shown, but newer than every shown one: they go last.
  while (held_.size() > 1 && over()) {
    chars_ -= held_.front().Size();
    held_.pop_front();
  }
  if (drop) {
    dropped_ += drop;
    // Keep the rows in sight still when the operator is looking at older lines.
    if (!follow_) verticalScrollBar()->setValue(std::max(0, verticalScrollBar()->value() - int(drop)));
  }
}

void TLogView::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  if (paused_) return viewport()->update();
  for (Line& line : held_) {
    widest_ = std::max<qsizetype>(widest_, qsizetype(line.Size()) * fontMetrics().averageCharWidth());
    lines_.push_back(std::move(line));
  }
  held_.clear();
  Flush();
}

void TLogView::ClearLines() {
  dropped_ += lines_.size();
  selFirst_ = 1;
  selLast_ = 0;
  matchStart_ = -1;
  lines_.clear();
  chars_ = 0;
  for (const Line& line : held_) chars_ += line.Size();
  widest_ = 0;
  follow_ = true;
  Flush();
}

void TLogView::Flush() {
  repaint_.stop();
  UpdateScrollBars();
  StartPicture();
}

void TLogView::UpdateScrollBars() {
  const int rowHeight = fontMetrics().lineSpacing();
  const int rows = std::max(1, (viewport()->height() - 2 * kMargin) / std::max(1, rowHeight));
  QScrollBar* v = verticalScrollBar();
  const THeldBar heldV(v);
  const THeldBar heldH(horizontalScrollBar());
  // The scroll area's own answers to these signals repaint the bars; the picture is ours to update.
  const QSignalBlocker quietV(v);
  const QSignalBlocker quietH(horizontalScrollBar());
  const bool follow = follow_;
  v->setPageStep(rows);
  v->setRange(0, std::max(0, int(lines_.size()) - rows));
  if (follow) v->setValue(v->maximum());
  follow_ = follow;
  QScrollBar* h = horizontalScrollBar();
  h->setPageStep(viewport()->width());
  h->setSingleStep(fontMetrics().averageCharWidth() * 4);
  h->setRange(0, std::max(0, widest_ + 2 * kMargin - viewport()->width()));
}

void TLogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

QString TLogView::LineCopyText(std::size_t index) const {
  return index < lines_.size() ? CopyOf(lines_[index]) : QString();
}

QString TLogView::CopyText(std::string_view text, std::size_t hexFrom, std::size_t omitted) {
  return CopyOf(MakeLine(0, text, hexFrom, omitted));
}

QString TLogView::CopyOf(const Line& line) {
  QString out;
  ForEachRun(line, [&](const QString& run, bool marked) {
    if (marked) {
      // A byte's digits, or the cut marker.
      out += run.size() == 2 ? QStringLiteral("\\x") : QStringLiteral("\\");
      out += run;
    } else if (run.contains(QLatin1Char('\\'))) {
      out += QString(run).replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    } else {
      out += run;
    }
    return true;
  });
  return out;
}

QString TLogView::LineText(std::size_t index) const {
  QString out;
  for (const TLogRun& run : LineRuns(index)) out += run.text;
  return out;
}

TLogColor TLogView::LineColor(std::size_t index) const {
  return index < lines_.size() ? lines_[index].color : 0;
}

std::vector<TLogRun> TLogView::LineRuns(std::size_t index) const {
  std::vector<TLogRun> runs;
  if (index >= lines_.size()) return runs;
  ForEachRun(lines_[index], [&](const QString& run, bool marked) {
    runs.push_back({run, marked});
    return true;
  });
  return runs;
}

std::size_t TLogView::LineAt(int y) const {
  const int row = std::max(0, (y - kMargin) / std::max(1, fontMetrics().lineSpacing()));
  const std::size_t index = std::size_t(std::max(0, verticalScrollBar()->value())) + std::size_t(row);
  return std::min(index, lines_.empty() ? 0 : lines_.size() - 1);
}

void TLogView::SelectLines(std::size_t first, std::size_t last) {
  if (lines_.empty()) return;
  first = std::min(first, lines_.size() - 1);
  last = std::min(last, lines_.size() - 1);
  selFirst_ = dropped_ + std::min(first, last);
  selLast_ = dropped_ + std::max(first, last);
  viewport()->update();
}

void TLogView::SelectAll() { SelectLines(0, lines_.size() - 1); }

QString TLogView::SelectedText() const {
  QStringList out;
  for (std::size_t p = std::max(selFirst_, dropped_); p <= selLast_ && p - dropped_ < lines_.size(); ++p)
    out << LineCopyText(p - dropped_);
  return out.join('\n');
}

void TLogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || lines_.empty()) return;
  const std::size_t line = LineAt(int(event->position().y()));
  anchor_ = dropped_ + line;
  if (event->modifiers() & Qt::ShiftModifier && selFirst_ <= selLast_)
    SelectLines(selFirst_ - std::min(selFirst_, dropped_), line);
  else
    SelectLines(line, line);
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || lines_.empty() || anchor_ < dropped_) return;
  SelectLines(anchor_ - dropped_, LineAt(int(event->position().y())));
}

void TLogView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    if (selFirst_ <= selLast_) QApplication::clipboard()->setText(SelectedText());
  } else if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

long long TLogView::MatchLine() const {
  if (matchStart_ < 0 || matchPos_ < dropped_ || matchPos_ - dropped_ >= lines_.size()) return -1;
  return static_cast<long long>(matchPos_ - dropped_);
}

void TLogView::ClearMatch() {
  matchStart_ = -1;
  viewport()->update();
}

bool TLogView::Find(const QString& needle, bool backward, Qt::CaseSensitivity cs) {
  const long long current = MatchLine();
  if (needle.isEmpty() || lines_.empty()) {
    ClearMatch();
    return false;
  }
  const std::size_t n = lines_.size();
  constexpr qsizetype kEnd = std::numeric_limits<qsizetype>::max();
  auto search = [&](const QString& text, qsizetype from) -> qsizetype {
    if (!backward) return from > text.size() ? -1 : text.indexOf(needle, from, cs);
    from = std::min(from, text.size() - needle.size());
    return from < 0 ? -1 : text.lastIndexOf(needle, from, cs);
  };
  // Within the current line first, past the current match; then line by line, wrapping once.
  std::size_t index = current >= 0 ? std::size_t(current) : (backward ? n - 1 : 0);
  qsizetype from = current >= 0 ? (backward ? matchStart_ - 1 : matchStart_ + 1) : (backward ? kEnd : 0);
  for (std::size_t step = 0; step <= n; ++step) {
    const qsizetype at = search(LineText(index), from);
    if (at >= 0) {
      matchPos_ = dropped_ + index;
      matchStart_ = at;
      matchLength_ = needle.size();
      ScrollToLine(index);
      return true;
    }
    index = backward ? (index + n - 1) % n : (index + 1) % n;
    from = backward ? kEnd : 0;
  }
  ClearMatch();
  return false;
}

void TLogView::ScrollToLine(std::size_t index) {
  UpdateScrollBars();
  QScrollBar* v = verticalScrollBar();
  const int row = int(index);
  if (row < v->value() || row >= v->value() + v->pageStep())
    v->setValue(std::max(0, row - v->pageStep() / 2));
  viewport()->update();
}
