// Blocks between the two ends: logged, counted and handed over unchanged, one at a time.
#include "relay/relaycore.h"

#include <algorithm>
#include <utility>

#include "relay/texts.h"
#include "runtime/exception.h"

namespace relay {

using namespace endpoint;

TRelayCore::TRelayCore(TSerialEndpoint& comm, TTcpEndpoint& net, TRelayView& view, TErrorTextSource errorText,
                       TRecovery recovery)
    : comm_(comm),
      net_(net),
      view_(view),
      errorText_(std::move(errorText)),
      recovery_(std::move(recovery)),
      backoff_(recovery_.firstRetry, recovery_.maxRetry) {
  retryTimer_.setSingleShot(true);
  QObject::connect(&retryTimer_, &QTimer::timeout, [this] { Guarded([this] { Retry(); }); });
  deviceTimer_.setInterval(int(recovery_.devicePoll.count()));
  QObject::connect(&deviceTimer_, &QTimer::timeout, [this] { Guarded([this] { LookForDevice(); }); });
  stopTimer_.setInterval(10);
  QObject::connect(&stopTimer_, &QTimer::timeout, [this] { Guarded([this] { StopStep(); }); });
}

TRelayCore::~TRelayCore() = default;

void TRelayCore::BindEvents() {
  comm_.OnReceiveData = endpoint::TReceiveDataEvent::FromCallable(
      [this](TObject*, const void* buffer, std::uint16_t length) { SerialData(buffer, length); }, this);
  comm_.OnRequestHangup = TNotifyEvent::FromCallable([this](TObject*) { SerialLost(); }, this);
  comm_.OnSendDataEmpty = TNotifyEvent::FromCallable([this](TObject*) { SerialDrained(); }, this);
  net_.OnConnect = endpoint::TSocketNotifyEvent::FromCallable(
      [this](TObject*, TSocketEndpoint*) { NetworkConnected(); }, this);
  net_.OnDisconnect = endpoint::TSocketNotifyEvent::FromCallable(
      [this](TObject*, TSocketEndpoint*) { NetworkDisconnected(); }, this);
  net_.OnRead = endpoint::TSocketNotifyEvent::FromCallable(
      [this](TObject*, TSocketEndpoint* s) { NetworkReadable(*s); }, this);
  net_.OnWrite = endpoint::TSocketNotifyEvent::FromCallable(
      [this](TObject*, TSocketEndpoint* s) { NetworkWritable(*s); }, this);
  net_.OnError = endpoint::TSocketErrorEvent::FromCallable(
      [this](TObject*, TSocketEndpoint*, endpoint::TErrorEvent kind, int& code) { NetworkError(kind, code); },
      this);
}

void TRelayCore::UnbindEvents() {
  comm_.OnReceiveData = nullptr;
  comm_.OnRequestHangup = nullptr;
  comm_.OnSendDataEmpty = nullptr;
  net_.OnConnect = nullptr;
  net_.OnDisconnect = nullptr;
  net_.OnRead = nullptr;
  net_.OnWrite = nullptr;
  net_.OnError = nullptr;
}

void TRelayCore::ZeroCounters() {
  toSerial_ = 0;
  toSocket_ = 0;
}

void TRelayCore::AddDataLine(TLineKind kind, const std::string& direction, const std::string& block) {
  const bool hex = view_.ShowHex();
  const std::string_view shown = std::string_view(block).substr(0, view_.DataLineBytes(hex));
  std::string line;
  line.reserve(direction.size() + 8 + shown.size());
  line += direction;
  line += '(';
  line += std::to_string(block.size());
  line += "):";
  const std::size_t payload = line.size();
  line += shown;
  view_.LogLine(kind, line, hex ? payload : std::string::npos, block.size() - shown.size());
}

void TRelayCore::Log(const std::string& text) {
  // A block being forwarded keeps its place in the log before what its forwarding caused.
  FlushDataLine();
  view_.LogLine(TLineKind::System, text, std::string::npos, 0);
}

void TRelayCore::FlushDataLine() {
  if (!dataLine_.block) return;
  const TDataLine line = std::exchange(dataLine_, {});
  AddDataLine(line.kind, *line.direction, *line.block);
}

template <class Forward>
void TRelayCore::ForwardThenLog(TLineKind kind, const std::string& direction, const std::string& block,
                                Forward forward) {
  // The block leaves first; its line is written after, so no block waits for its own log line.
  FlushDataLine();  // a block forwarded from inside another's forwarding
  if (view_.ShowData()) dataLine_ = {kind, &direction, &block};
  try {
    forward();
  } catch (...) {
    FlushDataLine();
    throw;
  }
  FlushDataLine();
}

void TRelayCore::SerialData(const void* buffer, std::uint16_t length) {
  SerialDataArrived(std::string(static_cast<const char*>(buffer), length));
}

void TRelayCore::NetworkReadable(TSocketEndpoint& socket) {
  // Leaving the bytes in the socket stops further read notifications until they are read, so
  // the server is slowed by TCP itself while the serial line catches up.
  if (serialOpen_ && comm_.PendingWriteBytes() >= SerialHighWater) {
    readDeferred_ = true;
    ResumeNetworkReads();
    return;
  }
  SocketDataArrived(socket.ReceiveText());
}

void TRelayCore::ResumeNetworkReads() {
  if (!readDeferred_) return;
  if (serialOpen_ && comm_.PendingWriteBytes() > SerialLowWater) {
    // The transmit thread tells when the line has caught up; no timer looks meanwhile.
    comm_.NotifyWhenPendingAtMost(SerialLowWater);
    return;
  }
  readDeferred_ = false;
  if (!net_.Active()) return;
  std::string block = net_.Socket()->ReceiveText();
  if (!block.empty()) SocketDataArrived(block);
}

void TRelayCore::SerialDrained() { ResumeNetworkReads(); }

void TRelayCore::SocketDataArrived(const std::string& block) {
  ForwardThenLog(TLineKind::FromNetwork, serialOpen_ ? texts::NetToSerial() : texts::NetReceived(), block,
                 [&] { ForwardToSerial(block); });
}

void TRelayCore::ForwardToSerial(const std::string& block) {
  if (!serialOpen_) return;
  toSerial_ += std::int64_t(block.size());
  view_.BytesToSerialChanged(toSerial_);
  if (block.empty()) {
    comm_.WriteData(block.data(), 0);
    return;
  }
  // The serial write takes at most 65535 bytes; a longer block goes in order, in pieces.
  for (std::size_t at = 0; at < block.size(); at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, block.size() - at);
    // A port whose transmit thread has ended takes nothing more; its hang-up notice follows.
    if (!comm_.WriteData(block.data() + at, std::uint16_t(n))) droppedForLine_ += n;
  }
}

void TRelayCore::SerialDataArrived(const std::string& block) {
  ForwardThenLog(TLineKind::FromSerial, net_.Active() ? texts::SerialToNet() : texts::SerialReceived(), block,
                 [&] { ForwardToSocket(block); });
}

void TRelayCore::ForwardToSocket(const std::string& block) {
  if (!net_.Active()) return;
  toSocket_ += std::int64_t(block.size());
  view_.BytesToSocketChanged(toSocket_);
  if (!sendQueue_.Empty()) {
    // Behind what the socket has not taken yet.
    EnqueueForSocket(block);
    return;
  }
  const int taken = net_.Socket()->SendText(block);
  const std::size_t n = taken > 0 ? std::size_t(taken) : 0;
  // A failed send has closed the connection (and emptied the queue) by now; the block was never
  // queued, so the disconnect's figure leaves it out.
  if (!net_.Active()) {
    if (n < block.size()) Log(texts::QueueDropped(block.size() - n));
    return;
  }
  if (n == block.size()) return;
  EnqueueForSocket(block.substr(n));
  // A short send does not make the socket report room later; only a send that would block
  // does. Offer the rest at once: it goes out, or the socket now owes us an OnWrite.
  if (n > 0 && !sendQueue_.Empty()) sendQueue_.Drain(*net_.Socket());
}

void TRelayCore::EnqueueForSocket(std::string bytes) {
  if (sendQueue_.Fits(bytes.size())) {
    sendQueue_.Push(std::move(bytes));
    return;
  }
  // The server has taken nothing for a long while: rather than drop bytes from the middle of
  // the stream, end the connection and say why.
  Log(texts::SendQueueOverflow());
  // Counted with the rest when the disconnect says how much was dropped.
  sendQueue_.Push(std::move(bytes));
  net_.SetActive(false);
  sendQueue_.Clear();
}

void TRelayCore::NetworkWritable(TSocketEndpoint& socket) { sendQueue_.Drain(socket); }

}  // namespace relay
