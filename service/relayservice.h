// The relay without a window: the real ends, the relay core with recovery on (unless turned
// off), and its log lines on an output stream.
#pragma once
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "relay/relaycore.h"
#include "service/options.h"
#include "service/outputlines.h"

namespace service {

class TRelayService : private relay::TRelayView {
 public:
  // How long a stop waits for queued bytes to leave.
  static constexpr std::chrono::milliseconds StopBound{5000};

  TRelayService(const TOptions& options, std::FILE* out, relay::TRecovery recovery = {});
  ~TRelayService() override;

  // Opens the port and connects; both are kept (when reconnecting is on).
  void Start();
  // Flushes within the bound, closes both ends, prints the counters, then calls `done`.
  void Stop(std::function<void()> done);
  void PrintCounters();

 private:
  void LogLine(relay::TLineKind kind, const std::string& text, std::size_t hexFrom,
               std::size_t omitted) override;
  void SerialStateChanged(bool) override {}
  void NetworkStateChanged(bool) override {}
  void BytesToSerialChanged(std::int64_t) override {}
  void BytesToSocketChanged(std::int64_t) override {}
  bool ShowData() const override { return options_.log != TLogMode::Off; }
  bool ShowHex() const override { return options_.log == TLogMode::Hex; }
  void Write(const std::string& line);

  TOptions options_;
  // Declared first, ended last: the ends' closing lines still reach it.
  TOutputLines out_;
  std::unique_ptr<endpoint::TSerialEndpoint> comm_;
  std::unique_ptr<endpoint::TTcpEndpoint> net_;
  std::unique_ptr<relay::TRelayCore> core_;
  bool stopping_ = false;
};

}  // namespace service
