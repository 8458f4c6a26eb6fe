// Doubles of the two ends that keep the contract the console relies on, failure sequences
// included, and let a test drive what the far ends do.
#pragma once
#include <QString>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "relay/endpoints.h"
#include "runtime/errorvalue.h"

namespace doubles {

class TSerialDouble : public endpoint::TSerialEndpoint {
 public:
  void Open() override {
    ++openCalls;
    if (open) throw Exception("already open");
    if (commName.empty() || unavailable.count(commName)) throw ECausedError("cannot open", openFailure);
    open = true;
    unsent = 0;
    openedWith.push_back({commName, baudRate, byteSize, parity, stopBits, interval});
  }
  // What is still pending when the port closes never reaches the line.
  void Close() override {
    if (open) unsent += std::exchange(pending, 0);
    open = false;
  }
  void CloseWithin(std::chrono::milliseconds drain) override {
    closeDrain = drain;
    Close();
  }
  bool WriteData(const void* data, std::uint16_t count) override {
    if (!open || count == 0 || refuseWrites) return false;
    written.emplace_back(static_cast<const char*>(data), count);
    return true;
  }
  std::size_t PendingWriteBytes() const override { return pending; }
  std::size_t UnsentBytes() const override { return unsent; }
  void NotifyWhenPendingAtMost(std::size_t bytes) override { noticeAt = bytes; }

  std::string CommName() const override { return commName; }
  void SetCommName(const std::string& v) override { commName = v; }
  std::uint32_t BaudRate() const override { return baudRate; }
  void SetBaudRate(std::uint32_t v) override { baudRate = v; }
  endpoint::TByteSize ByteSize() const override { return byteSize; }
  void SetByteSize(endpoint::TByteSize v) override { byteSize = v; }
  endpoint::TParity Parity() const override { return parity; }
  void SetParity(endpoint::TParity v) override { parity = v; }
  endpoint::TStopBits StopBits() const override { return stopBits; }
  void SetStopBits(endpoint::TStopBits v) override { stopBits = v; }
  std::uint32_t ReadIntervalTimeout() const override { return interval; }
  void SetReadIntervalTimeout(std::uint32_t v) override { interval = v; }
  bool InxXonXoffFlow() const override { return inputXonXoff; }
  void SetInxXonXoffFlow(bool v) override { inputXonXoff = v; }

  // The far end sends a block.
  void Deliver(const std::string& block) {
    OnReceiveData(this, block.data(), static_cast<std::uint16_t>(block.size()));
  }
  // The device goes away under the open port.
  void Hangup() {
    open = false;
    OnRequestHangup(this);
  }
  void Drained() {
    pending = 0;
    OnSendDataEmpty(this);
  }

  struct Settings {
    std::string name;
    std::uint32_t baud;
    endpoint::TByteSize byteSize;
    endpoint::TParity parity;
    endpoint::TStopBits stopBits;
    std::uint32_t interval;
  };
  bool open = false;
  bool refuseWrites = false;
  int openCalls = 0;
  std::size_t pending = 0;
  std::size_t unsent = 0;
  std::optional<std::chrono::milliseconds> closeDrain;  // the bound of the last CloseWithin
  std::optional<std::size_t> noticeAt;                  // the last mark asked for
  std::set<std::string> unavailable;
  TPlatformError openFailure;  // the cause an unavailable port's failure carries
  std::vector<std::string> written;
  std::vector<Settings> openedWith;
  std::string commName = "COM1";
  std::uint32_t baudRate = 9600;
  endpoint::TByteSize byteSize = endpoint::TByteSize::_8;
  endpoint::TParity parity = endpoint::TParity::None;
  endpoint::TStopBits stopBits = endpoint::TStopBits::_1;
  std::uint32_t interval = 100;
  bool inputXonXoff = true;
};

class TTcpDouble;

class TSocketDouble : public endpoint::TSocketEndpoint {
 public:
  explicit TSocketDouble(TTcpDouble& owner) : owner_(owner) {}
  int SendText(const std::string& text) override;
  std::string ReceiveText() override {
    std::string all;
    all.swap(inbound);
    ++receiveCalls;
    return all;
  }
  std::size_t ReceiveLength() override { return inbound.size(); }

  // Limited: the send buffer has `room` bytes left; a send takes what fits, and one that finds
  // no room would block.
  enum class Mode { TakeAll, Limited, Fail };
  Mode mode = Mode::TakeAll;
  std::size_t room = 0;
  int wouldBlockCount = 0;
  std::string sent;     // what reached the server, in order
  std::string inbound;  // what the server sent and nobody read yet
  int receiveCalls = 0;

 private:
  TTcpDouble& owner_;
};

class TTcpDouble : public endpoint::TTcpEndpoint {
 public:
  std::string Host() const override { return host; }
  void SetHost(const std::string& v) override {
    if (active &&
        QString::fromLatin1(v.c_str()).compare(QString::fromLatin1(host.c_str()), Qt::CaseInsensitive))
      throw Exception("Can't change value while socket is active");
    host = v;
  }
  std::int32_t Port() const override { return port; }
  void SetPort(std::int32_t v) override {
    if (active && v != port) throw Exception("Can't change value while socket is active");
    port = v;
  }
  bool Active() const override { return active; }
  void SetActive(bool v) override {
    if (v && !active) {
      if (failCreate) throw Exception("Can't create new socket");
      ++connectAttempts;
      connecting = true;
    } else if (!v && active) {
      active = false;
      OnDisconnect(this, &socket);
    }
  }
  bool Connecting() const override { return connecting; }
  void CancelConnect() override {
    if (!connecting) return;
    connecting = false;
    OnDisconnect(this, &socket);
  }
  endpoint::TSocketEndpoint* Socket() override { return &socket; }

  // Outcomes of an attempt.
  void CompleteConnect() {
    connecting = false;
    active = true;
    OnConnect(this, &socket);
    OnWrite(this, &socket);
  }
  // Returns the code as the handler left it (0: suppressed).
  int RefuseConnect(int code) {
    connecting = false;
    OnError(this, &socket, endpoint::TErrorEvent::eeConnect, code);
    return code;
  }
  int FailLookup(int code) {
    connecting = false;
    OnError(this, &socket, endpoint::TErrorEvent::eeLookup, code);
    OnDisconnect(this, &socket);
    return code;
  }
  void ServerCloses() {
    active = false;
    OnDisconnect(this, &socket);
  }
  void ServerSends(const std::string& bytes) {
    socket.inbound += bytes;
    OnRead(this, &socket);
  }
  // The server read: the send buffer has `room` bytes again.
  void RoomAgain(std::size_t room) {
    socket.room = room;
    OnWrite(this, &socket);
  }

  std::string host;
  std::int32_t port = 0;
  bool active = false;
  bool connecting = false;
  bool failCreate = false;
  int connectAttempts = 0;
  TSocketDouble socket{*this};
};

inline int TSocketDouble::SendText(const std::string& text) {
  if (!owner_.active) return 0;
  switch (mode) {
    case Mode::TakeAll:
      sent += text;
      return int(text.size());
    case Mode::Limited: {
      const std::size_t n = std::min(room, text.size());
      if (n == 0) {
        ++wouldBlockCount;
        return -1;
      }
      room -= n;
      sent += text.substr(0, n);
      return int(n);
    }
    case Mode::Fail: {
      int code = 10054;
      owner_.OnError(&owner_, this, endpoint::TErrorEvent::eeSend, code);
      owner_.active = false;
      owner_.OnDisconnect(&owner_, this);
      return -1;
    }
  }
  return -1;
}

}  // namespace doubles
