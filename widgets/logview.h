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
#include <QImage>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <deque>
#include <limits>
#include <optional>
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

  // `text` holds GB18030 bytes, any value included. From `hexFrom` on it holds a block's bytes,
  // shown in hex, three characters a byte ("41 0A "): a cut then falls between bytes and the
  // marker counts bytes. `omitted` more bytes of the block were left off the end of `text`;
  // they count in the marker.
  void AppendLine(TLogColor color, std::string_view text, std::size_t hexFrom = std::string_view::npos,
                  std::size_t omitted = 0);
  // A line never shows more of a block than its first this many bytes (as text or in hex).
  static constexpr std::size_t BytesShownAtMost(bool hex) {
    // A shown unit stands for at most four bytes; in hex, three units show one byte.
    return hex ? MaxLineChars / 3 + 1 : MaxLineChars * 4 + 4;
  }
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
  // Brings the scroll bars and the picture up to date now; the timer does it otherwise. While
  // lines stream in, the new rows are painted in pieces of at most `slice` each, with the
  // events that came meanwhile served between them, and shown once all are done; anything that
  // asks for the picture before then gets it painted whole.
  void Flush();
  void SetPaintSlice(std::chrono::microseconds slice) { slice_ = slice; }
  // False while a picture is being made in pieces.
  bool PictureComplete() const { return !work_; }

  std::size_t LineCount() const { return lines_.size(); }
  // The shown text of line `index` (0 = oldest kept), its colour and its pieces.
  QString LineText(std::size_t index) const;
  TLogColor LineColor(std::size_t index) const;
  std::vector<TLogRun> LineRuns(std::size_t index) const;

  // Line `index` as Ctrl+C gives it: as shown, but a marked byte as "\xNN", a backslash as
  // "\\" and the cut marker after a backslash.
  QString LineCopyText(std::size_t index) const;
  // What LineCopyText would give for `text` appended now (for copies of the log kept elsewhere).
  static QString CopyText(std::string_view text, std::size_t hexFrom = std::string_view::npos,
                          std::size_t omitted = 0);
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
  void changeEvent(QEvent* event) override;

 private:
  struct Line {
    TLogColor color;
    QString text;                      // as shown, marked bytes as their two hex digits
    std::vector<std::uint32_t> marks;  // where each marked byte's digits start, ascending
    // Bytes shown in hex after `text`. Kept as bytes: their digits are made only for a line
    // that is painted, copied or searched, which in a flood is a few of thousands.
    std::string hex;
    std::size_t hiddenBytes;  // bytes cut off the end
    std::size_t Size() const { return std::size_t(text.size()) + 3 * hex.size(); }
  };
  // The runs of a line, up to about `most` characters (the rest of its text is not made).
  template <class Visit>
  static void ForEachRun(const Line& line, Visit visit,
                         qsizetype most = std::numeric_limits<qsizetype>::max());
  void UpdateScrollBars();
  // `room` is a dropped line's bytes, whose memory the new line's take over.
  static Line MakeLine(TLogColor color, std::string_view text, std::size_t hexFrom, std::size_t omitted,
                       std::string room = {});
  static QString CopyOf(const Line& line);
  // Keeps the shown and held lines within MaxLines and MaxChars, oldest first.
  void DropOverflow();
  void ScrollToLine(std::size_t index);
  std::size_t LineAt(int y) const;

  // Everything the picture of the view depends on; a picture made for a key equal to the
  // view's is the view.
  struct TPictureKey {
    std::size_t top = 0, end = 0;  // the first line in sight and one past the last, counted as dropped_
    int left = 0;
    std::size_t selFirst = 1, selLast = 0, matchPos = 0;
    qsizetype matchStart = -1, matchLength = 0;
    bool paused = false;
    std::size_t held = 0;
    QSize size;
    qreal ratio = 1;
    unsigned looks = 0;
    bool operator==(const TPictureKey&) const = default;
    // The same view after lines were appended, older ones perhaps scrolled out of sight.
    bool OnlyAppendedIn(const TPictureKey& later) const;
  };
  TPictureKey CurrentKey() const;
  int RowsToBottom() const;
  // Makes the picture for `key` at once.
  void PaintWhole(const TPictureKey& key);
  void StartPicture();
  void PaintPiece();
  // Paints rows from `from` on, each on its own background, until `to` or until `budget` is
  // spent (one row at least); gives the row it stopped before.
  int PaintRows(const TPictureKey& key, int from, int to, std::chrono::microseconds budget);
  void FinishPicture(const TPictureKey& key);
  // Sizes the image for `key`; true when it was made anew, empty.
  bool PrepareImage(const TPictureKey& key);

  std::deque<Line> lines_;
  std::string spare_;  // the bytes of the last line dropped, for the next one's
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

  // The view's picture, made off the paint event so that a repaint never holds the UI thread
  // for long: new rows are painted in pieces between events, older ones moved up.
  QImage picture_;
  TPictureKey pictureKey_;  // what the picture shows once complete
  bool pictureDone_ = false;
  bool showNew_ = false;  // a picture was finished and asked to be shown
  struct TPictureWork {
    TPictureKey key;
    int next, rows;
  };
  std::optional<TPictureWork> work_;
  QTimer piece_;
  std::chrono::microseconds slice_{100};
  unsigned looks_ = 0;  // counts changes of font, palette and style
};
// The marker that ends a cut line.
QString CutMarker(std::size_t hiddenBytes);
