// The network end: connect and disconnect with what the operator sees of them, reconnecting
// after a loss, and the clean stop of the whole relay.
#include "platform/sync/messages.h"
#include "platform/winsock/errortext.h"
#include "relay/relaycore.h"
#include "relay/texts.h"
#include "runtime/exception.h"

namespace relay {

void TRelayCore::ConnectClick(std::int32_t port, const std::string& host) {
  try {
    // A click while an attempt is under way, or while waiting to retry, gives it up, so that a
    // corrected address can be tried at once rather than after the system's own time-out.
    if (!net_.Active() && (net_.Connecting() || retryTimer_.isActive())) {
      EndRetries(true);
      if (net_.Connecting()) net_.CancelConnect();
      return;
    }
    // Only the low 16 bits would reach the connect: 99999 would quietly become 34463.
    if (!net_.Active() && (port < 1 || port > 65535)) {
      Log(texts::ConnectFailed());
      Log(texts::PortOutOfRange(port));
      return;
    }
    net_.SetPort(port);
    net_.SetHost(host);
    const bool connect = !net_.Active();
    wantConnected_ = connect;
    backoff_.Reset();
    net_.SetActive(connect);
  } catch (...) {
    if (!net_.Active()) wantConnected_ = false;
    Log(texts::ConnectFailed());
  }
}

void TRelayCore::KeepConnected(const std::string& host, std::int32_t port) {
  net_.SetPort(port);
  net_.SetHost(host);
  wantConnected_ = true;
  backoff_.Reset();
  try {
    net_.SetActive(true);
  } catch (...) {
    Log(texts::ConnectFailed());
    if (recovery_.reconnect) ScheduleRetry();
  }
}

void TRelayCore::ShowConnectedState(bool connected) {
  view_.NetworkStateChanged(connected);
  Log(connected ? texts::Connected() : texts::Disconnected());
}

void TRelayCore::NetworkConnected() {
  retryTimer_.stop();
  // The waits start over only once the connection has held: a server that accepts and drops
  // at once is not hammered every second.
  connectedAt_ = std::chrono::steady_clock::now();
  ShowConnectedState(true);
}

void TRelayCore::NetworkDisconnected() {
  // What the server never took cannot go to the next connection; the operator learns how much.
  const std::size_t dropped = sendQueue_.Bytes();
  sendQueue_.Clear();
  ShowConnectedState(false);
  if (dropped > 0) Log(texts::QueueDropped(dropped));
  if (connectedAt_ && std::chrono::steady_clock::now() - *connectedAt_ >= recovery_.maxRetry)
    backoff_.Reset();
  connectedAt_.reset();
  ResumeNetworkReads();
  if (RetriesWanted()) ScheduleRetry();
}

void TRelayCore::NetworkError(endpoint::TErrorEvent kind, int& code) {
  const std::string text = errorText_ ? StripSystemText(errorText_(code)) : std::string();
  Log(texts::SystemPrefix() + text);
  code = 0;
  // A refused or unreachable connect ends with this error alone; a loss of a connection in use
  // is followed by its disconnect, which retries. So is a failed look-up, whose retry is said
  // after it: looked at once this event is over, in case no disconnect came.
  if (kind == endpoint::TErrorEvent::eeLookup) {
    QTimer::singleShot(0, &retryTimer_, [this] {
      if (RetriesWanted() && !net_.Active() && !net_.Connecting()) ScheduleRetry();
    });
    return;
  }
  if (RetriesWanted() && !net_.Active()) ScheduleRetry();
}

bool TRelayCore::RetriesWanted() const { return wantConnected_ && recovery_.reconnect && !stopping_; }

void TRelayCore::ScheduleRetry() {
  if (retryTimer_.isActive()) return;
  const auto wait = backoff_.Next();
  Log(texts::RetryIn(wait.count(), backoff_.Attempts()));
  retryTimer_.start(wait);
}

void TRelayCore::Retry() {
  if (!wantConnected_ || stopping_ || net_.Active() || net_.Connecting()) return;
  try {
    net_.SetActive(true);
  } catch (...) {
    Log(texts::ConnectFailed());
    ScheduleRetry();
  }
}

void TRelayCore::EndRetries(bool say) {
  const bool retrying = retryTimer_.isActive() || (wantConnected_ && backoff_.Attempts() > 0);
  retryTimer_.stop();
  wantConnected_ = false;
  if (say && retrying && recovery_.reconnect) Log(texts::RetriesStopped());
}

void TRelayCore::SetRecovery(const TRecovery& recovery) {
  recovery_ = recovery;
  backoff_ = TBackoff(recovery_.firstRetry, recovery_.maxRetry);
  deviceTimer_.setInterval(int(recovery_.devicePoll.count()));
  if (!recovery_.reconnect) retryTimer_.stop();
  if (!recovery_.reopen) EndDeviceWait(false);
}

void TRelayCore::Shutdown() {
  EndRetries(false);
  EndDeviceWait(false);
  wantOpen_ = false;
  comm_.Close();
  net_.SetActive(false);
}

void TRelayCore::Stop(std::chrono::milliseconds bound, std::function<void()> done) {
  stopping_ = true;
  EndRetries(false);
  EndDeviceWait(false);
  wantOpen_ = false;
  if (!net_.Active() && net_.Connecting()) net_.CancelConnect();
  stopDeadline_ = std::chrono::steady_clock::now() + bound;
  stopped_ = std::move(done);
  stopTimer_.start();
  StopStep();
}

void TRelayCore::StopStep() {
  // Network bytes held back in the socket are on their way to the line as well.
  const bool toLine = serialOpen_ && (comm_.PendingWriteBytes() > 0 || readDeferred_);
  const bool toServer = net_.Active() && !sendQueue_.Empty();
  const bool inTime = std::chrono::steady_clock::now() < stopDeadline_;
  if ((toLine || toServer) && inTime) return;
  if (serialOpen_) {
    if (readDeferred_ && net_.Active()) {
      // Left in the socket, they go with the connection; the close counts them with the rest.
      droppedForLine_ += net_.Socket()->ReceiveLength();
      readDeferred_ = false;
    }
    SetSerialOpen(false);
    // The close ends a block the port had begun to receive: it goes to the server with the rest.
    ProcessPostedMessages();
    if (net_.Active() && !sendQueue_.Empty() && inTime) return;
  }
  stopTimer_.stop();
  // Reports what the server never took as it closes.
  net_.SetActive(false);
  if (auto done = std::move(stopped_)) done();
}

}  // namespace relay
