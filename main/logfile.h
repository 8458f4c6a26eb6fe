// Every log line to a file as well, written by a thread of its own so that a slow or full disk
// never holds up the window or the relay. The file is rotated by size (name, name.1 ... name.4).
// The first failure (a full disk, a folder that went away, a file that cannot be opened) is
// reported once and ends the writing; lines are then dropped, never waited for.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "relay/linequeue.h"

// "[yyyy-mm-dd hh:mm:ss:mmm]": the view's stamp with its date, at UTC+8 like the view.
std::string FormatFileStamp(const SYSTEMTIME& utc);

struct TLogFileLimits {
  std::uint64_t rotateBytes = 10u << 20;
  int files = 5;  // the file being written and the older ones kept beside it
  // Lines waiting beyond this are dropped and counted in the file instead.
  std::size_t queuedBytes = 16u << 20;
  // How long the end of the writer waits for what is queued to reach the file.
  std::chrono::milliseconds stopWait{1000};
};

class TLogFileWriter {
 public:
  // `failed` runs once, on the writer's thread, with the reason in English and the path.
  TLogFileWriter(std::string path, std::function<void(const std::string& reason)> failed,
                 TLogFileLimits limits = {});
  // Writes what is queued (unless failed), then ends the thread. A disk that has not taken it
  // within the limits' stopWait is left behind: the thread drops the rest, says so in the file
  // if it still can, and ends on its own; `failed` is never called after this returns.
  ~TLogFileWriter() = default;

  // One line, without its line end, in UTF-8. Never waits for the disk.
  void Write(std::string line) { thread_.Write(std::move(line)); }
  const std::string& Path() const { return path_; }

 private:
  const std::string path_;
  relay::TLineThread thread_;
};
