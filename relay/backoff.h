// Waits between reconnect attempts: the first one, doubled after each failure up to a ceiling.
#pragma once
#include <algorithm>
#include <chrono>

namespace relay {

class TBackoff {
 public:
  using ms = std::chrono::milliseconds;
  TBackoff(ms first, ms ceiling) : first_(first), ceiling_(std::max(first, ceiling)), next_(first) {}

  // The wait before the next attempt; the one after it is twice as long, up to the ceiling.
  ms Next() {
    const ms now = next_;
    next_ = std::min(ceiling_, next_ * 2);
    ++attempts_;
    return now;
  }
  int Attempts() const { return attempts_; }
  void Reset() {
    next_ = first_;
    attempts_ = 0;
  }

 private:
  ms first_;
  ms ceiling_;
  ms next_;
  int attempts_ = 0;
};

}  // namespace relay
