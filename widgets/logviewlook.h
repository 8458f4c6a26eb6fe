// How the traffic log looks: shared by the view and the painting of its picture.
#pragma once
#include <QColor>
#include <algorithm>
#include <string_view>

#include "widgets/logview.h"

namespace logview {
inline QColor ToQColor(TLogColor c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// Windows' tooltip background (clInfoBk).
inline const QColor kInfoBk(255, 255, 225);
inline const QColor kControlBackground(0xD8, 0xD8, 0xD8);
inline const QColor kMatchBackground(255, 200, 0);
constexpr int kMargin = 2;
// Qt's raster engine hands a fill or copy of more than about a hundred pixel rows to its thread
// pool and waits for it; on a busy machine that wait stalls the UI thread for tens of
// milliseconds. Bands of this many rows are done on the calling thread.
constexpr int kFillBand = 64;
}  // namespace logview

// Appends the digits of `bytes` as the log shows them: "41 0A ".
void AppendHexDigits(QString& out, std::string_view bytes);

// Splits a stored line into what is painted: runs of text, and marked bytes one by one.
template <class Visit>
void TLogView::ForEachRun(const Line& line, Visit visit, qsizetype most) {
  const QString& text = line.text;
  qsizetype at = 0;
  for (const std::uint32_t mark : line.marks) {
    if (mark > at && !visit(text.mid(at, mark - at), false)) return;
    if (!visit(text.mid(mark, 2), true)) return;
    at = mark + 2;
  }
  if (line.hex.empty()) {
    if (at < text.size() && !visit(at == 0 ? text : text.mid(at), false)) return;
  } else {
    // The digits continue the text before them as one run, as they are shown.
    QString run = text.mid(at);
    const qsizetype room = most - text.size();
    const std::size_t bytes = room <= 0 ? 0 : std::min(line.hex.size(), std::size_t(room / 3 + 1));
    AppendHexDigits(run, std::string_view(line.hex).substr(0, bytes));
    if (!visit(run, false)) return;
  }
  if (line.hiddenBytes) visit(CutMarker(line.hiddenBytes), true);
}
