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
    : shared_(std::make_shared<TShared>()) {
  shared_->path = std::move(path);
  shared_->failed = std::move(failed);
  shared_->limits = limits;
  thread_ = std::thread([shared = shared_] { Run(shared); });
}

TLogFileWriter::~TLogFileWriter() {
  TShared& s = *shared_;
  std::unique_lock guard(s.lock);
  s.stop = true;
  s.wake.notify_one();
  if (s.ended.wait_for(guard, s.limits.stopWait, [&] { return s.finished; })) {
    guard.unlock();
    thread_.join();
    return;
  }
  s.abandoned = true;
  guard.unlock();
  {
    // A report under way ends first; none starts after this.
    std::lock_guard report(s.report);
  }
  // A write that hangs (a stalled network file system, a pipe nobody reads) cannot be joined
  // without hanging the window; the thread owns its share of the state and ends by itself.
  thread_.detach();
}

void TLogFileWriter::Write(std::string line) {
  TShared& s = *shared_;
  {
    std::lock_guard guard(s.lock);
    if (s.dead) return;
    if (s.queued + line.size() > s.limits.queuedBytes) {
      ++s.dropped;
      return;
    }
    s.queued += line.size();
    s.queue.push_back(std::move(line));
  }
  s.wake.notify_one();
}

void TLogFileWriter::Run(const std::shared_ptr<TShared>& shared) {
  TShared& s = *shared;
  const QString path = QString::fromStdString(s.path);
  QFile file(path);
  auto end = [&] {
    std::lock_guard guard(s.lock);
    s.finished = true;
    s.ended.notify_all();
  };
  auto fail = [&](const QString& why) {
    {
      std::lock_guard guard(s.lock);
      s.dead = true;
      s.queue.clear();
      s.queued = 0;
    }
    {
      std::lock_guard report(s.report);
      bool abandoned;
      {
        std::lock_guard guard(s.lock);
        abandoned = s.abandoned;
      }
      if (!abandoned && s.failed) s.failed((why + QStringLiteral(": ") + path).toStdString());
    }
    end();
  };
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return fail(file.errorString());
  const bool regular = QFileInfo(path).isFile();
  std::uint64_t size = std::uint64_t(file.size());

  std::deque<std::string> batch;
  for (;;) {
    std::size_t dropped;
    bool stop;
    {
      std::unique_lock guard(s.lock);
      s.wake.wait(guard, [&] { return s.stop || !s.queue.empty(); });
      batch.swap(s.queue);
      s.queued = 0;
      dropped = s.dropped;
      s.dropped = 0;
      stop = s.stop;
    }
    if (dropped)
      batch.push_front("... " + std::to_string(dropped) + " lines not written: the disk was too slow");
    std::size_t left = batch.size();
    for (std::string& line : batch) {
      {
        std::lock_guard guard(s.lock);
        if (s.abandoned) break;
      }
      line += '\n';
      // Only regular files are rotated: a device or a pipe has no size to keep.
      if (regular && size > 0 && size + line.size() > s.limits.rotateBytes && s.limits.files > 1) {
        file.close();
        if (!Rotate(path, s.limits.files)) return fail(QStringLiteral("Cannot rotate the log file"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return fail(file.errorString());
        size = 0;
      }
      if (file.write(line.data(), qint64(line.size())) != qint64(line.size()))
        return fail(file.errorString());
      size += line.size();
      --left;
    }
    batch.clear();
    if (left > 0) {
      {
        std::lock_guard guard(s.lock);
        left += s.queue.size() + s.dropped;
      }
      // Stopped before the disk took them: the file says so rather than ending silently.
      const std::string note =
          "... " + std::to_string(left) + " lines not written: file logging stopped first\n";
      file.write(note.data(), qint64(note.size()));
      file.flush();
      return end();
    }
    if (!file.flush()) return fail(file.errorString());
    // Writing on into a file whose folder was removed would lose every line without a word.
    if (regular && !QFileInfo::exists(path))
      return fail(QStringLiteral("The log file or its folder was removed"));
    if (stop) return end();
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
