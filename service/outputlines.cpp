#include "service/outputlines.h"

#include "service/lines.h"

namespace service {

TOutputLines::TOutputLines(std::FILE* out, std::size_t bound, std::chrono::milliseconds endWait)
    : thread_(bound, endWait, [out](relay::TLineQueue& queue) {
        for (;;) {
          relay::TLineQueue::TBatch batch = queue.Take();
          if (batch.dropped) {
            // A line like any other: stamped, and red as the system's own lines are.
            const auto now = std::chrono::system_clock::now();
            batch.lines.push_front(ServiceLine(
                IsoStamp(now, LocalUtcOffset(now)), relay::TLineKind::System,
                "... " + std::to_string(batch.dropped) + " lines not written: the output was not read"));
          }
          for (std::string& line : batch.lines) {
            // Whole lines, at once: a reader (the journal) never sees half of one.
            line += '\n';
            if (std::fwrite(line.data(), 1, line.size(), out) != line.size() || std::fflush(out) != 0) {
              // The reader has gone: the relay goes on without its lines.
              queue.Kill();
              return;
            }
          }
          if (batch.stop) return;
        }
      }) {}

}  // namespace service
