// The relay without its face: forwarding with counters, the send queue, the hold-back of network
// reads, the serial and network control sequences with their log lines, and the recovery of a
// lost connection or device. The window and the service each show it through a TRelayView.
#pragma once
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "relay/backoff.h"
#include "relay/endpoints.h"
#include "relay/sendqueue.h"
#include "relay/view.h"

namespace relay {

// The system's text for an error code (GB18030), empty when it has none.
using TErrorTextSource = std::function<std::string(int code)>;

struct TRecovery {
  bool reconnect = false;  // after a lost connection or a failed attempt, try again
  bool reopen = false;     // after a lost device, open it again when it is back
  std::chrono::milliseconds firstRetry{1000};
  std::chrono::milliseconds maxRetry{30000};
  std::chrono::milliseconds devicePoll{1000};  // how often a lost device is looked for
  std::string byIdDir;                         // empty: the system's /dev/serial/by-id
};

class TRelayCore {
 public:
  // Serial blocks waiting for the line above this stop reads from the network until they
  // drain below the low mark, so a fast server cannot grow the transmit queue without bound.
  static constexpr std::size_t SerialHighWater = 1u << 20;
  static constexpr std::size_t SerialLowWater = 256u << 10;

  TRelayCore(endpoint::TSerialEndpoint& comm, endpoint::TTcpEndpoint& net, TRelayView& view,
             TErrorTextSource errorText, TRecovery recovery = {});
  ~TRelayCore();
  TRelayCore(const TRelayCore&) = delete;
  TRelayCore& operator=(const TRelayCore&) = delete;

  // Points the ends' events at the core itself (the window points them at its own handlers,
  // which call the core).
  void BindEvents();
  void UnbindEvents();

  // Forwarding.
  void SerialData(const void* buffer, std::uint16_t length);
  void NetworkReadable(endpoint::TSocketEndpoint& socket);
  void NetworkWritable(endpoint::TSocketEndpoint& socket);
  void SerialDataArrived(const std::string& block);
  void SocketDataArrived(const std::string& block);
  void SerialDrained();
  void ZeroCounters();

  // The serial end.
  void SetSerialOpen(bool value);
  // The operator's open/close: ends a wait for a lost device instead, when one is under way.
  void ToggleSerial();
  // Close, `apply` the new settings, open again.
  void ChangeSerialSettings(const std::function<void()>& apply);
  void SerialLost();
  // Opens the port and keeps it open: a port that fails to open is waited for like a lost one
  // (when reopening is on).
  void KeepSerialOpen();

  // The network end.
  // The operator's connect/disconnect with the address and port of the fields.
  void ConnectClick(std::int32_t port, const std::string& host);
  // Connects and keeps connected (with reconnecting on).
  void KeepConnected(const std::string& host, std::int32_t port);
  void ShowConnectedState(bool connected);
  void NetworkConnected();
  void NetworkDisconnected();
  void NetworkError(endpoint::TErrorEvent kind, int& code);

  // Ends retries and closes both ends at once (the window closing).
  void Shutdown();
  // Ends retries, waits up to `bound` for queued bytes to leave in both directions, closes both
  // ends, then calls `done`. Bytes still queued at the bound are dropped, and the log says so.
  void Stop(std::chrono::milliseconds bound, std::function<void()> done);

  void SetRecovery(const TRecovery& recovery);
  const TRecovery& Recovery() const { return recovery_; }

  std::int64_t BytesToSerial() const { return toSerial_; }
  std::int64_t BytesToSocket() const { return toSocket_; }
  bool SerialOpen() const { return serialOpen_; }
  std::size_t QueuedForSocket() const { return sendQueue_.Bytes(); }
  bool NetworkReadsHeld() const { return readDeferred_; }
  bool Reconnecting() const { return retryTimer_.isActive(); }
  bool WaitingForDevice() const { return deviceTimer_.isActive(); }
  // The name a lost device is looked for under.
  const std::string& DeviceName() const { return deviceName_; }

 private:
  void Log(const std::string& text);
  void AddDataLine(TLineKind kind, const std::string& direction, const std::string& block);
  void FlushDataLine();
  template <class Forward>
  void ForwardThenLog(TLineKind kind, const std::string& direction, const std::string& block,
                      Forward forward);
  void ForwardToSerial(const std::string& block);
  void ForwardToSocket(const std::string& block);
  void EnqueueForSocket(std::string bytes);
  void ResumeNetworkReads();
  bool OpenSerial(bool quiet);
  void NoteDevice();
  // `lost`: the device went away under the open port; otherwise it could not be opened.
  void WatchForDevice(bool lost);
  // True when the device is not there; said once a wait.
  bool SayIfDeviceGone();
  void LookForDevice();
  void EndDeviceWait(bool say);
  // The connection is to be kept up and may be tried again.
  bool RetriesWanted() const;
  void ScheduleRetry();
  void Retry();
  void EndRetries(bool say);
  void StopStep();
  // After a close: every byte meant for the line that never reached it.
  void SayUnsent();

  endpoint::TSerialEndpoint& comm_;
  endpoint::TTcpEndpoint& net_;
  TRelayView& view_;
  TErrorTextSource errorText_;
  TRecovery recovery_;

  // The line of the block being forwarded, written once it has gone (or before anything its
  // forwarding logs).
  struct TDataLine {
    TLineKind kind = TLineKind::FromSerial;
    const std::string* direction = nullptr;
    const std::string* block = nullptr;
  };
  TDataLine dataLine_;

  bool serialOpen_ = false;
  std::int64_t toSerial_ = 0;
  std::int64_t toSocket_ = 0;
  TSendQueue sendQueue_;
  bool readDeferred_ = false;
  bool reopening_ = false;  // inside a settings change: the port is closed only for a moment

  bool wantConnected_ = false;  // the connection is to be kept up (retried when lost)
  TBackoff backoff_;
  std::optional<std::chrono::steady_clock::time_point> connectedAt_;  // of the connection up now
  QTimer retryTimer_;

  bool wantOpen_ = false;  // the port is to be kept open (reopened when its device is back)
  bool deviceFailureSaid_ = false;
  bool deviceSaidGone_ = false;
  std::string deviceName_;
  QTimer deviceTimer_;

  bool stopping_ = false;
  // Bytes meant for the line that the port never took (it refused them, or a stop left them in
  // the socket); the next close says them with the port's own count.
  std::size_t droppedForLine_ = 0;
  std::chrono::steady_clock::time_point stopDeadline_;
  std::function<void()> stopped_;
  QTimer stopTimer_;
};

}  // namespace relay
