#include "widgets/logview.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "platform/codepage.h"

namespace {
QColor ToQColor(TLogColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

// Windows' tooltip background (clInfoBk).
const QColor kInfoBk(255, 255, 225);
const QColor kControlBackground(0xD8, 0xD8, 0xD8);

QChar ControlPicture(QChar ch) {
  const char16_t u = ch.unicode();
  if (u < 0x20) return QChar(char16_t(0x2400 + u));
  if (u == 0x7F) return QChar(char16_t(0x2421));
  return ch;
}

// A control byte is shown as its two hex digits on grey: every font has those glyphs.
QString ControlText(QChar picture) {
  const int code = picture.unicode() == 0x2421 ? 0x7F : picture.unicode() - 0x2400;
  return QString::number(code, 16).rightJustified(2, '0').toUpper();
}

bool IsControlPicture(QChar ch) {
  const char16_t u = ch.unicode();
  return u >= 0x2400 && u <= 0x2421;
}
}  // namespace

QString CutMarker(std::size_t hiddenBytes) { return QString::fromUtf8("…+") + QString::number(hiddenBytes); }

QString LogDisplayText(std::string_view bytes) {
  QString text = AnsiToQString(bytes);
  for (QChar& ch : text) {
    const char16_t u = ch.unicode();
    if (u < 0x20)
      ch = QChar(char16_t(0x2400 + u));
    else if (u == 0x7F)
      ch = QChar(char16_t(0x2421));
  }
  return text;
}

TLogView::TLogView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFrameShape(QFrame::StyledPanel);
  // The document drops its oldest blocks itself, far cheaper than removing them by cursor.
  setMaximumBlockCount(int(MaxLines));
  QPalette pal = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::Base, kInfoBk);
    pal.setColor(group, QPalette::Text, Qt::black);
  }
  setPalette(pal);
  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(FlushIntervalMs);
  connect(&flushTimer_, &QTimer::timeout, this, [this] {
    Paint(SliceMs);
    // More to paint: go on soon, after the loop has had its turn.
    if (!pending_.empty()) flushTimer_.start(1);
  });
}

void TLogView::AppendLine(TLogColor color, std::string_view text) {
  Pending line{color, QString(), 0};
  if (text.size() <= MaxLineChars) {
    line.text = LogDisplayText(text);
  } else {
    // Decode only what can be shown: a huge block stays cheap. The marker counts the bytes left.
    QStringDecoder decoder("GB18030");
    std::size_t at = 0;
    while (at < text.size() && std::size_t(line.text.size()) < MaxLineChars) {
      const std::size_t step = std::size_t(line.text.size()) + 256 < MaxLineChars ? 256 : 1;
      const std::size_t n = std::min(step, text.size() - at);
      line.text += decoder.decode(QByteArrayView(text.data() + at, qsizetype(n)));
      at += n;
    }
    line.hiddenBytes = text.size() - at;
    for (QChar& ch : line.text) ch = ControlPicture(ch);
  }
  pendingChars_ += std::size_t(line.text.size());
  pending_.push_back(std::move(line));
  // Lines that would be dropped at once are dropped before they are ever painted.
  while (pending_.size() > MaxLines || (pending_.size() > 1 && pendingChars_ > MaxChars)) {
    pendingChars_ -= std::size_t(pending_.front().text.size());
    pending_.pop_front();
  }
  if (!flushTimer_.isActive()) flushTimer_.start(FlushIntervalMs);
}

void TLogView::ClearLines() {
  pending_.clear();
  pendingChars_ = 0;
  lineChars_.clear();
  shownChars_ = 0;
  clear();
}

void TLogView::Flush() {
  flushTimer_.stop();
  Paint(-1);
}

void TLogView::Paint(int budgetMs) {
  if (pending_.empty()) return;
  QElapsedTimer clock;
  clock.start();
  QScrollBar* bar = verticalScrollBar();
  const bool follow = bar->value() == bar->maximum();
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  QTextCharFormat plain;
  QTextCharFormat control;
  control.setBackground(kControlBackground);
  bool first = document()->isEmpty() && lineChars_.empty();
  std::size_t painted = 0;
  for (const Pending& line : pending_) {
    if (budgetMs >= 0 && painted >= sliceLines_) break;
    ++painted;
    pendingChars_ -= std::size_t(line.text.size());
    if (!first) cursor.insertBlock();
    first = false;
    plain.setForeground(ToQColor(line.color));
    control.setForeground(ToQColor(line.color));
    // Runs of ordinary text in one insert; control pictures get their own format.
    qsizetype runStart = 0;
    const QString& t = line.text;
    for (qsizetype i = 0; i <= t.size(); ++i) {
      const bool atEnd = i == t.size();
      if (atEnd || IsControlPicture(t[i])) {
        if (i > runStart) cursor.insertText(t.mid(runStart, i - runStart), plain);
        if (!atEnd) cursor.insertText(ControlText(t[i]), control);
        runStart = i + 1;
      }
    }
    if (line.hiddenBytes) cursor.insertText(CutMarker(line.hiddenBytes), control);
    lineChars_.push_back(std::size_t(t.size()));
    shownChars_ += std::size_t(t.size());
  }
  pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(painted));
  cursor.endEditBlock();  // the document drops its oldest lines here
  TrimToBounds();
  // Most of a line's cost shows only when the edit ends (layout, dropping the oldest), so the
  // slice is sized by what the last one cost.
  if (budgetMs >= 0) {
    const qint64 spent = clock.elapsed();
    if (spent > budgetMs)
      sliceLines_ = std::max<std::size_t>(8, sliceLines_ / 2);
    else if (spent * 2 < budgetMs && painted == sliceLines_)
      sliceLines_ = std::min<std::size_t>(4096, sliceLines_ * 2);
  }
  if (follow) bar->setValue(bar->maximum());
}

void TLogView::TrimToBounds() {
  // Lines the document dropped for the line bound.
  const std::size_t inDocument = std::size_t(document()->blockCount());
  while (lineChars_.size() > inDocument) {
    shownChars_ -= lineChars_.front();
    lineChars_.pop_front();
  }
  std::size_t drop = 0;
  std::size_t lines = lineChars_.size();
  std::size_t chars = shownChars_;
  while (lines - drop > 1 && chars > MaxChars) {
    chars -= lineChars_[drop];
    ++drop;
  }
  if (drop == 0) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, int(drop));
  cursor.removeSelectedText();
  lineChars_.erase(lineChars_.begin(), lineChars_.begin() + std::ptrdiff_t(drop));
  shownChars_ = chars;
}

std::size_t TLogView::LineCount() {
  Flush();
  return lineChars_.size();
}

QString TLogView::LineText(std::size_t index) {
  Flush();
  return document()->findBlockByNumber(int(index)).text();
}

TLogColor TLogView::LineColor(std::size_t index) {
  Flush();
  QTextBlock block = document()->findBlockByNumber(int(index));
  if (!block.isValid() || !block.begin().fragment().isValid()) return 0;
  const QColor c = block.begin().fragment().charFormat().foreground().color();
  return TLogColor(c.red()) | TLogColor(c.green()) << 8 | TLogColor(c.blue()) << 16;
}
