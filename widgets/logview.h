// The traffic log's view: read-only, lines appended at the end in a colour, cleared at once.
// It holds its lines itself and paints only the rows in sight, so appending costs the same with
// ten lines or a hundred thousand, and repaints are gathered on a short timer: bursts of traffic
// never freeze the window. It keeps the newest MaxLines lines and at most MaxChars characters;
// older lines are dropped first. Bytes are shown as GB18030 text; control bytes (zero, CR, LF,
// ...) and bytes that form no character (an invalid sequence, a character cut at the end of the
// block) are shown as their two hex digits (00, 0D, 0A, ...) on a grey background, so every byte
// is visible, none can be mistaken for payload text, and a log line is always one line. Which
// digits are marked is kept beside the text, never in it. A line longer than MaxLineChars bytes
// shows its first MaxLineChars characters and then, on the same grey, how many bytes it had left
// ("…+N"). Whole lines are selected with the mouse (or all with Ctrl+A) and copied with Ctrl+C,
// marked bytes as "\xNN" and a payload backslash as "\\", so the copy is unambiguous.
#pragma once
#include <QAbstractScrollArea>
#include <QTimer>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/wintypes.h"

// A colour as 0x00BBGGRR.
using TLogColor = std::uint32_t;

// A piece of a shown line: payload text, or a marked byte's hex digits (and the cut marker).
struct TLogRun {
  QString text;
  bool marked;
  bool operator==(const TLogRun&) const = default;
};

class TLogView : public QAbstractScrollArea {
 public:
  static constexpr std::size_t MaxLines = 100000;
  static constexpr std::size_t MaxChars = 32u << 20;
  static constexpr int RepaintMs = 30;
  // A full serial block in hex (4096 × 3) with its stamp and direction fits whole.
  static constexpr std::size_t MaxLineChars = 16384;

  explicit TLogView(QWidget* parent = nullptr);

  // `text` holds GB18030 bytes, any value included. From `hexFrom` on it holds a block in hex,
  // three characters a byte: a cut then falls between bytes and the marker counts bytes.
  void AppendLine(TLogColor color, std::string_view text, std::size_t hexFrom = std::string_view::npos);
  // Clears the lines shown; lines held back by a pause stay for the resume.
  void ClearLines();

  // While paused, new lines are held back within the same bounds and shown on resume.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  std::size_t HeldCount() const { return held_.size(); }

  // Looks for `needle` in the shown lines from just past the current match (or from the
  // newest line back, or the oldest forward, when there is none), wrapping once; the match is
  // highlighted and scrolled into sight. False, with no match kept, when there is none.
  bool Find(const QString& needle, bool backward, Qt::CaseSensitivity cs = Qt::CaseInsensitive);
  void ClearMatch();
  // The matched line (0 = oldest kept), or -1, and where the match lies in its shown text.
  long long MatchLine() const;
  qsizetype MatchStart() const { return matchStart_; }
  qsizetype MatchLength() const { return matchLength_; }
  // Brings the scroll bars and the picture up to date now; the timer does it otherwise.
  void Flush();

  std::size_t LineCount() const { return lines_.size(); }
  // The shown text of line `index` (0 = oldest kept), its colour and its pieces.
  QString LineText(std::size_t index) const;
  TLogColor LineColor(std::size_t index) const;
  std::vector<TLogRun> LineRuns(std::size_t index) const;

  // Line `index` as Ctrl+C gives it: as shown, but a marked byte as "\xNN", a backslash as
  // "\\" and the cut marker after a backslash.
  QString LineCopyText(std::size_t index) const;
  // What LineCopyText would give for `text` appended now (for copies of the log kept elsewhere).
  static QString CopyText(std::string_view text, std::size_t hexFrom = std::string_view::npos);
  // The selected lines, oldest first, as copied; one per text line.
  QString SelectedText() const;
  void SelectLines(std::size_t first, std::size_t last);
  void SelectAll();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Line {
    TLogColor color;
    QString text;                      // as shown, marked bytes as their two hex digits
    std::vector<std::uint32_t> marks;  // where each marked byte's digits start, ascending
    std::size_t hiddenBytes;           // bytes cut off the end
  };
  template <class Visit>
  static void ForEachRun(const Line& line, Visit visit);
  void UpdateScrollBars();
  static Line MakeLine(TLogColor color, std::string_view text, std::size_t hexFrom);
  static QString CopyOf(const Line& line);
  // Keeps the shown and held lines within MaxLines and MaxChars, oldest first.
  void DropOverflow();
  void ScrollToLine(std::size_t index);
  std::size_t LineAt(int y) const;

  std::deque<Line> lines_;
  std::size_t chars_ = 0;
  int widest_ = 0;  // widest line seen, in pixels (estimated until painted)
  bool follow_ = true;
  // Selected lines as positions counted from the first line ever appended, so they stay on
  // their lines while older ones are dropped; empty when first_ > last_.
  std::size_t dropped_ = 0;
  std::size_t anchor_ = 0, selFirst_ = 1, selLast_ = 0;
  QTimer repaint_;
  bool paused_ = false;
  std::deque<Line> held_;
  // Like the selection: a position counted from the first line ever appended.
  std::size_t matchPos_ = 0;
  qsizetype matchStart_ = -1, matchLength_ = 0;
};
// The marker that ends a cut line.
QString CutMarker(std::size_t hiddenBytes);
