#include "service/relayservice.h"

#include "platform/devices/stablelink.h"
#include "platform/text/codepage.h"
#include "relay/consolelanguage.h"
#include "relay/realends.h"
#include "relay/systemtexts.h"
#include "relay/texts.h"
#include "relay/trafficlog.h"
#include "service/lines.h"

namespace service {

TRelayService::TRelayService(const TOptions& options, std::FILE* out, relay::TRecovery recovery)
    : options_(options), out_(out), comm_(MakeSerialPortEnd()), net_(MakeTcpClientEnd()) {
  recovery.reconnect = recovery.reopen = options.reconnect;
  core_ = std::make_unique<relay::TRelayCore>(*comm_, *net_, static_cast<relay::TRelayView&>(*this),
                                              ConsoleErrorText, recovery);
  core_->BindEvents();
  // A by-id name alone means the link: the component would look for it directly below /dev.
  comm_->SetCommName(StableDeviceName(options.device));
  comm_->SetBaudRate(options.baud);
  comm_->SetByteSize(options.data);
  comm_->SetParity(options.parity);
  comm_->SetStopBits(options.stop);
  comm_->SetReadIntervalTimeout(options.timeout);
}

TRelayService::~TRelayService() {
  core_->UnbindEvents();
  core_->Shutdown();
}

void TRelayService::Start() {
  core_->KeepSerialOpen();
  core_->KeepConnected(options_.host, options_.port);
}

void TRelayService::Stop(std::function<void()> done) {
  // A second signal while stopping changes nothing: the bound still holds.
  if (stopping_) return;
  stopping_ = true;
  core_->Stop(StopBound, [this, done = std::move(done)] {
    PrintCounters();
    if (done) done();
  });
}

namespace {
// A counter's label in the current language; an English one is set off from its number.
std::string CounterLabel(std::string_view utf8) {
  std::string label = Tr(utf8);
  if (!label.empty() && label.back() == ':') label += ' ';
  return label;
}
}  // namespace

void TRelayService::PrintCounters() {
  const auto now = std::chrono::system_clock::now();
  Write(IsoStamp(now, LocalUtcOffset(now)) + " counters " +
        OneLineUtf8(CounterLabel("发到Socket：") + std::to_string(core_->BytesToSocket()) + texts::Bytes() +
                    " " + CounterLabel("发到串口：") + std::to_string(core_->BytesToSerial()) +
                    texts::Bytes()));
}

void TRelayService::LogLine(relay::TLineKind kind, const std::string& text, std::size_t hexFrom,
                            std::size_t) {
  const auto now = std::chrono::system_clock::now();
  Write(ServiceLine(IsoStamp(now, LocalUtcOffset(now)), kind, WithHexDigits(text, hexFrom)));
}

void TRelayService::Write(const std::string& line) { out_.Write(line); }

}  // namespace service
