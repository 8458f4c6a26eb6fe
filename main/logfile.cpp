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

TLogFileWriter::TLogFileWriter(std::string path, std::function<void(const std::string&)> failed,
                               TLogFileLimits limits)
    : path_(std::move(path)), failed_(std::move(failed)), limits_(limits) {
  thread_ = std::thread([this] { Run(); });
}

TLogFileWriter::~TLogFileWriter() {
  {
    std::lock_guard guard(lock_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void TLogFileWriter::Write(std::string line) {
  {
    std::lock_guard guard(lock_);
    if (dead_) return;
    if (queued_ + line.size() > limits_.queuedBytes) {
      ++dropped_;
      return;
    }
    queued_ += line.size();
    queue_.push_back(std::move(line));
  }
  wake_.notify_one();
}

void TLogFileWriter::Run() {
  const QString path = QString::fromStdString(path_);
  QFile file(path);
  auto fail = [&](const QString& why) {
    {
      std::lock_guard guard(lock_);
      dead_ = true;
      queue_.clear();
      queued_ = 0;
    }
    if (failed_) failed_((why + QStringLiteral(": ") + path).toStdString());
  };
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return fail(file.errorString());
  const bool regular = QFileInfo(path).isFile();
  std::uint64_t size = std::uint64_t(file.size());

  std::deque<std::string> batch;
  for (;;) {
    std::size_t dropped;
    bool stop;
    {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [this] { return stop_ || !queue_.empty(); });
      batch.swap(queue_);
      queued_ = 0;
      dropped = dropped_;
      dropped_ = 0;
      stop = stop_;
    }
    if (dropped)
      batch.push_front("... " + std::to_string(dropped) + " lines not written: the disk was too slow");
    for (std::string& line : batch) {
      line += '\n';
      // Only regular files are rotated: a device or a pipe has no size to keep.
      if (regular && size > 0 && size + line.size() > limits_.rotateBytes && limits_.files > 1) {
        file.close();
        if (!Rotate(path, limits_.files)) return fail(QStringLiteral("Cannot rotate the log file"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return fail(file.errorString());
        size = 0;
      }
      if (file.write(line.data(), qint64(line.size())) != qint64(line.size()))
        return fail(file.errorString());
      size += line.size();
    }
    batch.clear();
    if (!file.flush()) return fail(file.errorString());
    // Writing on into a file whose folder was removed would lose every line without a word.
    if (regular && !QFileInfo::exists(path))
      return fail(QStringLiteral("The log file or its folder was removed"));
    if (stop) return;
  }
}

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
