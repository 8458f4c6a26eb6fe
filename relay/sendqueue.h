// Bytes the socket did not take yet, in order. A socket that would block keeps nothing, so
// the console holds the rest and sends it when the socket reports room again; later blocks
// queue behind it so the server still receives the serial stream complete and in order.
#pragma once
#include <cstddef>
#include <deque>
#include <string>

#include "relay/endpoints.h"

class TSendQueue {
 public:
  static constexpr std::size_t DefaultLimit = 64u << 20;

  explicit TSendQueue(std::size_t limit = DefaultLimit) : limit_(limit) {}

  bool Empty() const { return blocks_.empty(); }
  std::size_t Bytes() const { return bytes_; }
  // Whether `count` more bytes fit under the bound.
  bool Fits(std::size_t count) const { return bytes_ + count <= limit_; }
  void Push(std::string bytes);
  // Sends from the front until the queue is empty or the socket would block. Stopping only at
  // "would block" matters: only that makes the socket report room again later.
  void Drain(endpoint::TSocketEndpoint& socket);
  void Clear();

 private:
  std::size_t limit_;
  std::deque<std::string> blocks_;
  std::size_t bytes_ = 0;  // bytes still to send
};
