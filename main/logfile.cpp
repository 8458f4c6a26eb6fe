#include "main/logfile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {
QString Numbered(const QString& path, int n) {
  return n == 0 ? path : path + QLatin1Char('.') + QString::number(n);
}

// name.3 -> name.4, ..., name -> name.1; the oldest falls off the end.
bool Rotate(const QString& path, int files) {
  QFile::remove(Numbered(path, files - 1));
  for (int n = files - 2; n >= 0; --n) {
    if (QFile::exists(Numbered(path, n)) && !QFile::rename(Numbered(path, n), Numbered(path, n + 1)))
      return false;
  }
  return true;
}
}  // namespace

namespace {
void WriteLines(relay::TLineQueue& queue, const std::string& path8,
                const std::function<void(const std::string&)>& failed, const TLogFileLimits& limits) {
  const QString path = QString::fromStdString(path8);
  QFile file(path);
  auto fail = [&](const QString& why) {
    queue.Kill();
    if (failed) queue.ReportToOwner([&] { failed((why + QStringLiteral(": ") + path).toStdString()); });
  };
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return fail(file.errorString());
  const bool regular = QFileInfo(path).isFile();
  std::uint64_t size = std::uint64_t(file.size());

  for (;;) {
    relay::TLineQueue::TBatch batch = queue.Take();
    if (batch.dropped)
      batch.lines.push_front("... " + std::to_string(batch.dropped) +
                             " lines not written: the disk was too slow");
    std::size_t left = batch.lines.size();
    for (std::string& line : batch.lines) {
      if (queue.Abandoned()) break;
      line += '\n';
      // Only regular files are rotated: a device or a pipe has no size to keep.
      if (regular && size > 0 && size + line.size() > limits.rotateBytes && limits.files > 1) {
        file.close();
        if (!Rotate(path, limits.files)) return fail(QStringLiteral("Cannot rotate the log file"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return fail(file.errorString());
        size = 0;
      }
      if (file.write(line.data(), qint64(line.size())) != qint64(line.size()))
        return fail(file.errorString());
      size += line.size();
      --left;
    }
    if (left > 0) {
      // Stopped before the disk took them: the file says so rather than ending silently.
      const std::string note =
          "... " + std::to_string(left + queue.Left()) + " lines not written: file logging stopped first\n";
      file.write(note.data(), qint64(note.size()));
      file.flush();
      return;
    }
    if (!file.flush()) return fail(file.errorString());
    // Writing on into a file whose folder was removed would lose every line without a word.
    if (regular && !QFileInfo::exists(path))
      return fail(QStringLiteral("The log file or its folder was removed"));
    if (batch.stop) return;
  }
}
}  // namespace

TLogFileWriter::TLogFileWriter(std::string path, std::function<void(const std::string&)> failed,
                               TLogFileLimits limits)
    : path_(std::move(path)),
      thread_(limits.queuedBytes, limits.stopWait,
              [path = path_, failed = std::move(failed), limits](relay::TLineQueue& queue) {
                WriteLines(queue, path, failed, limits);
              }) {}

std::string FormatFileStamp(const SYSTEMTIME& utc) {
  const QDateTime at =
      QDateTime(QDate(utc.wYear, utc.wMonth, utc.wDay), QTime(utc.wHour, utc.wMinute, utc.wSecond), Qt::UTC)
          .addSecs(8 * 3600);
  char buf[48];
  std::snprintf(buf, sizeof buf, "[%04d-%02d-%02d %02d:%02d:%02d:%03d]", at.date().year(), at.date().month(),
                at.date().day(), at.time().hour(), at.time().minute(), at.time().second(),
                int(utc.wMilliseconds));
  return buf;
}
