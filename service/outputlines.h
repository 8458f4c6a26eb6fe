// The service's log lines on its output, written by a thread of its own: a reader that stops
// reading (a full pipe, a stalled journal) never holds up the relay, and one that goes away
// ends the output, not the program. Lines beyond the bound are dropped and counted on the output.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace service {

class TOutputLines {
 public:
  explicit TOutputLines(std::FILE* out, std::size_t bound = 8u << 20,
                        std::chrono::milliseconds endWait = std::chrono::seconds(2));
  // Writes what is queued, waiting at most `endWait` for a reader that does not read; what is
  // then still queued is left to a thread that ends once the output takes it or fails.
  ~TOutputLines();
  TOutputLines(const TOutputLines&) = delete;
  TOutputLines& operator=(const TOutputLines&) = delete;

  // One line, without its line end. Never waits for the reader.
  void Write(std::string line);

 private:
  struct TShared {
    std::FILE* out = nullptr;
    std::size_t bound = 0;
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable ended;
    std::deque<std::string> queue;
    std::size_t queued = 0;
    std::size_t dropped = 0;
    bool stop = false;
    bool dead = false;  // the output failed: nothing more can be written
    bool finished = false;
  };
  static void Run(const std::shared_ptr<TShared>& shared);

  std::shared_ptr<TShared> shared_;
  std::chrono::milliseconds endWait_;
  std::thread thread_;
};

}  // namespace service
