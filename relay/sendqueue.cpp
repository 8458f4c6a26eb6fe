#include "relay/sendqueue.h"

void TSendQueue::Push(std::string bytes) {
  if (bytes.empty()) return;
  bytes_ += bytes.size();
  blocks_.push_back(std::move(bytes));
}

void TSendQueue::Drain(endpoint::TSocketEndpoint& socket) {
  while (!blocks_.empty()) {
    // The front block holds only what is still unsent.
    std::string& front = blocks_.front();
    const int taken = socket.SendText(front);
    if (taken <= 0) return;
    // A send may fail and close the connection, which clears this queue from inside SendText.
    if (blocks_.empty()) return;
    bytes_ -= std::size_t(taken);
    if (std::size_t(taken) < front.size()) {
      front.erase(0, std::size_t(taken));
      continue;
    }
    blocks_.pop_front();
  }
}

void TSendQueue::Clear() {
  blocks_.clear();
  bytes_ = 0;
}
