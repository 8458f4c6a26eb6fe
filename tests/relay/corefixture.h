// The relay core between the doubles of both ends, shown through a view that records it.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "relay/relaycore.h"
#include "relay/texts.h"
#include "relay/trafficlog.h"
#include "tests/main/doubles.h"

class TRecordingView : public relay::TRelayView {
 public:
  struct Line {
    relay::TLineKind kind;
    std::string text;  // GB18030
  };
  // A block to be shown in hex is recorded as its digits.
  void LogLine(relay::TLineKind kind, const std::string& text, std::size_t hexFrom, std::size_t) override {
    lines.push_back({kind, WithHexDigits(text, hexFrom)});
  }
  void SerialStateChanged(bool open) override { serialShown.push_back(open); }
  void NetworkStateChanged(bool connected) override { networkShown.push_back(connected); }
  void BytesToSerialChanged(std::int64_t total) override { toSerial = total; }
  void BytesToSocketChanged(std::int64_t total) override { toSocket = total; }
  bool ShowData() const override { return showData; }
  bool ShowHex() const override { return showHex; }

  int Count(const std::string& ansi) const {
    int n = 0;
    for (const auto& l : lines) n += l.text == ansi;
    return n;
  }
  // The texts from line `from` on, in order.
  std::vector<std::string> Since(std::size_t from) const {
    std::vector<std::string> out;
    for (std::size_t i = from; i < lines.size(); ++i) out.push_back(lines[i].text);
    return out;
  }

  std::vector<Line> lines;
  std::vector<bool> serialShown;
  std::vector<bool> networkShown;
  std::int64_t toSerial = -1;
  std::int64_t toSocket = -1;
  bool showData = true;
  bool showHex = false;
};

class CoreTest : public ::testing::Test {
 protected:
  // Short waits so that a test sees a whole back-off ladder within a second or two.
  static relay::TRecovery Fast(bool on) {
    relay::TRecovery r;
    r.reconnect = r.reopen = on;
    r.firstRetry = std::chrono::milliseconds(10);
    r.maxRetry = std::chrono::milliseconds(80);
    r.devicePoll = std::chrono::milliseconds(10);
    return r;
  }
  void Make(relay::TRecovery recovery) {
    core = std::make_unique<relay::TRelayCore>(
        serial, net, view,
        [](int code) { return code == 10061 ? std::string("Connection refused.\r\n") : ""; }, recovery);
    core->BindEvents();
  }
  void SetUp() override { Make(Fast(true)); }
  void TearDown() override {
    if (core) core->UnbindEvents();
  }

  static std::string A(const char* utf8) { return Ansi(utf8); }
  std::string Last() const { return view.lines.empty() ? std::string() : view.lines.back().text; }

  doubles::TSerialDouble serial;
  doubles::TTcpDouble net;
  TRecordingView view;
  std::unique_ptr<relay::TRelayCore> core;
};
