// The traffic log's view: read-only, lines appended at the end in a colour, cleared at once.
// Appends are gathered and painted on a short timer, so a burst of traffic costs one repaint,
// not one per line. It keeps the newest MaxLines lines and at most MaxChars characters; older
// lines are dropped first. Bytes are shown as GB18030 text; control bytes (zero, CR, LF, ...)
// are shown as their two hex digits (00, 0D, 0A, ...) on a grey background, so they are visible
// and cannot be mistaken for payload text, and a log line is always one line. A line
// longer than MaxLineChars bytes shows its first MaxLineChars characters and then, on the same
// grey, how many bytes it had left ("…+N"): laying out megabytes in one line would freeze the
// window.
#pragma once
#include <QPlainTextEdit>
#include <QTimer>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "platform/wintypes.h"

// A colour as 0x00BBGGRR.
using TLogColor = std::uint32_t;

class TLogView : public QPlainTextEdit {
 public:
  static constexpr std::size_t MaxLines = 100000;
  static constexpr std::size_t MaxChars = 32u << 20;
  static constexpr int FlushIntervalMs = 30;
  static constexpr int SliceMs = 15;
  // A full serial block in hex (4096 × 3) with its stamp and direction fits whole.
  static constexpr std::size_t MaxLineChars = 16384;

  explicit TLogView(QWidget* parent = nullptr);

  // `text` holds GB18030 bytes, any value included.
  void AppendLine(TLogColor color, std::string_view text);
  void ClearLines();
  // Paints everything still gathered; tests and shut-down call it. The timer paints in slices
  // of at most SliceMs, so the window answers between them however fast lines come.
  void Flush();

  std::size_t LineCount();
  // The shown text of line `index` (0 = oldest kept) and its colour.
  QString LineText(std::size_t index);
  TLogColor LineColor(std::size_t index);

 private:
  struct Pending {
    TLogColor color;
    QString text;
    std::size_t hiddenBytes;  // bytes cut off the end of the line
  };
  void TrimToBounds();
  // Paints gathered lines until none is left or `budgetMs` has passed (negative: no limit).
  void Paint(int budgetMs);

  QTimer flushTimer_;
  std::deque<Pending> pending_;
  std::size_t pendingChars_ = 0;
  std::deque<std::size_t> lineChars_;  // characters of each shown line, oldest first
  std::size_t shownChars_ = 0;
  std::size_t sliceLines_ = 256;  // lines painted per timer slice, adapted to what they cost
};

// `bytes` GB18030 decoded, control characters replaced by their Unicode pictures, which the
// view then paints as hex digits on grey.
QString LogDisplayText(std::string_view bytes);
// The marker that ends a cut line.
QString CutMarker(std::size_t hiddenBytes);
