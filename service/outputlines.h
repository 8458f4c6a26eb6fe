// The service's log lines on its output, written by a thread of their own: a reader that stops
// reading (a full pipe, a stalled journal) never holds up the relay, and one that goes away ends
// the output, not the program. Lines beyond the bound are dropped and counted on the output.
#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "relay/linequeue.h"

namespace service {

class TOutputLines {
 public:
  // At its end it waits at most `endWait` for a reader that does not read.
  explicit TOutputLines(std::FILE* out, std::size_t bound = 8u << 20,
                        std::chrono::milliseconds endWait = std::chrono::seconds(2));
  // One line, without its line end. Never waits for the reader.
  void Write(std::string line) { thread_.Write(std::move(line)); }

 private:
  relay::TLineThread thread_;
};

}  // namespace service
