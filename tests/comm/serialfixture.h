// A TSerialPort with every event recorded, for the component tests.
#pragma once
#include <string>
#include <vector>

#include "comm/serialport.h"
#include "platform/text/codepage.h"
#include "tests/support/pump.h"

struct TRecordedPort {
  TSerialPort port;
  std::vector<std::string> blocks;
  bool zeroAfterEveryBlock = true;
  std::vector<std::string> order;  // event names in the order raised
  std::vector<DWORD> errors, modem;
  int hangups = 0;
  int empties = 0;

  explicit TRecordedPort(const std::string& name) {
    port.SetCommName(name);
    // Binary-clean line: XON/XOFF would take 0x11 and 0x13 out of the data.
    port.SetOutx_XonXoffFlow(false);
    port.SetInx_XonXoffFlow(false);
    port.OnReceiveData = TReceiveDataEvent::FromCallable([this](TObject* sender, void* buffer, WORD length) {
      EXPECT_EQ(sender, &port);
      const char* bytes = static_cast<const char*>(buffer);
      if (bytes[length] != 0) zeroAfterEveryBlock = false;
      blocks.emplace_back(bytes, length);
      order.push_back("data");
    });
    port.OnReceiveError = TReceiveErrorEvent::FromCallable([this](TObject*, DWORD mask) {
      errors.push_back(mask);
      order.push_back("error");
    });
    port.OnModemStateChange = TModemStateChangeEvent::FromCallable([this](TObject*, DWORD bits) {
      modem.push_back(bits);
      order.push_back("modem");
    });
    port.OnRequestHangup = TNotifyEvent::FromCallable([this](TObject*) {
      ++hangups;
      order.push_back("hangup");
    });
    port.OnSendDataEmpty = TSendDataEmptyEvent::FromCallable([this](TObject*) {
      ++empties;
      order.push_back("empty");
    });
  }

  std::string Received() const {
    std::string all;
    for (auto& b : blocks) all += b;
    return all;
  }
};

// The message an ESerialError from `f` carries; empty when nothing was raised.
template <class F>
std::string SerialErrorOf(F&& f) {
  try {
    f();
  } catch (const ESerialError& e) {
    return e.Message();
  }
  return {};
}

inline std::string OpenFailedText() { return Ansi("打开串口出错") + "\r\n" + Ansi("此串口不存在或被占用"); }
