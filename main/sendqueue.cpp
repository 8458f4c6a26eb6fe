#include "main/sendqueue.h"

void TSendQueue::Push(std::string bytes) {
  if (bytes.empty()) return;
  bytes_ += bytes.size();
  blocks_.push_back(std::move(bytes));
}

void TSendQueue::Drain(endpoint::TSocketEndpoint& socket) {
  while (!blocks_.empty()) {
    std::string& front = blocks_.front();
    // The socket takes a byte string; hand it the unsent tail only.
    const std::string tail = frontSent_ == 0 ? std::string() : front.substr(frontSent_);
    const std::string& offer = frontSent_ == 0 ? front : tail;
    const int taken = socket.SendText(offer);
    if (taken <= 0) return;
    // A send may fail and close the connection, which clears this queue from inside SendText.
    if (blocks_.empty()) return;
    bytes_ -= std::size_t(taken);
    if (std::size_t(taken) < offer.size()) {
      frontSent_ += std::size_t(taken);
      continue;
    }
    blocks_.pop_front();
    frontSent_ = 0;
  }
}

void TSendQueue::Clear() {
  blocks_.clear();
  frontSent_ = 0;
  bytes_ = 0;
}
