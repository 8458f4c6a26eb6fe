// The traffic log under load: lines per second appended with the display on, the longest stall
// of the UI thread while appending, and resident memory after LINES lines; against a plain
// QPlainTextEdit taking the same lines with appendPlainText, in the same run.
//
//   logview_bench [LINES]      (default 1000000; the plain view gets LINES / 10)

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "relay/trafficlog.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "widgets/logview.h"

namespace {
std::size_t ResidentMiB() { return ResidentBytes() >> 20; }

// A line as the console hands it to the view for a 64-byte serial block in hex: the block's
// bytes after the text, and the same line as the digits shown.
struct Sample {
  std::string line;
  std::size_t hexFrom;
  std::string shown;
};
Sample SampleLine(std::size_t i) {
  std::string block(64, '\0');
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = char(i * 31 + k);
  const std::string head = "[12:34:56:789]" + Ansi("串口->网络") + "(64):";
  return {head + block, head.size(), head + StrToHexStr(block)};
}

struct Result {
  double linesPerSecond;
  double longestStallMs;
};

// Appends in bursts of `burst` lines between two turns of the event loop, as traffic arrives.
template <class Append>
Result Run(std::size_t lines, std::size_t burst, Append append) {
  QElapsedTimer total, turn;
  total.start();
  double longest = 0;
  for (std::size_t i = 0; i < lines;) {
    turn.start();
    for (std::size_t k = 0; k < burst && i < lines; ++k, ++i) append(i);
    QCoreApplication::processEvents();
    longest = std::max(longest, double(turn.nsecsElapsed()) / 1e6);
  }
  return {double(lines) / (double(total.nsecsElapsed()) / 1e9), longest};
}
}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const std::size_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const std::size_t burst = 50;

  std::vector<Sample> samples;
  for (std::size_t i = 0; i < 256; ++i) samples.push_back(SampleLine(i));

  const std::size_t base = ResidentMiB();
  TLogView view;
  view.resize(522, 534);
  view.show();
  const Result ours = Run(lines, burst, [&](std::size_t i) {
    view.AppendLine(0x008000, samples[i % 256].line, samples[i % 256].hexFrom);
  });
  view.Flush();
  const std::size_t ourMiB = ResidentMiB() - base;

  // The naive view: one appendPlainText per line, no bound.
  QPlainTextEdit plain;
  plain.setReadOnly(true);
  plain.resize(522, 534);
  plain.show();
  std::vector<QString> decoded;
  for (auto& s : samples) decoded.push_back(AnsiToQString(s.shown));
  const Result naive =
      Run(lines / 10, burst, [&](std::size_t i) { plain.appendPlainText(decoded[i % 256]); });

  std::printf("RESULT logview_lines_per_s   ours=%.0f plain=%.0f ratio=%.2f\n", ours.linesPerSecond,
              naive.linesPerSecond, ours.linesPerSecond / naive.linesPerSecond);
  std::printf("RESULT logview_longest_stall ours=%.1f ms plain=%.1f ms (bursts of %zu lines)\n",
              ours.longestStallMs, naive.longestStallMs, burst);
  std::printf("RESULT logview_resident      ours=%zu MiB after %zu lines (kept %zu lines)\n", ourMiB, lines,
              view.LineCount());
  return 0;
}
