// What the socket tests share: waiting on the event loop, a record of a component's events,
// a captured exception display and a resolver put in place for one test.
#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/winsock/resolver.h"
#include "runtime/exception.h"
#include "socket/tcpclient.h"
#include "tests/support/pump.h"

namespace sockettest {

using namespace std::chrono_literals;

// The message of the ESocketError that `f` raises; "<nothing raised>" when it raises none.
inline std::string Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESocketError& e) {
    return e.Message();
  }
  return "<nothing raised>";
}

// Runs the event loop for a while, for checks that something does not happen.
inline void Settle(std::chrono::milliseconds time = 200ms) { PumpFor(time); }

inline const char* KindName(TErrorEvent kind) {
  static const char* names[] = {"general", "send", "receive", "connect", "disconnect", "accept", "lookup"};
  return names[kind];
}

// Every event of a component, in order, as short words; errors as "error:<kind>:<code>".
class TRecorder : public TObject {
 public:
  explicit TRecorder(TTcpClient& client) : client_(client) {
    client.OnLookup = TSocketNotifyEvent(this, &TRecorder::Lookup);
    client.OnConnecting = TSocketNotifyEvent(this, &TRecorder::Connecting);
    client.OnConnect = TSocketNotifyEvent(this, &TRecorder::Connect);
    client.OnDisconnect = TSocketNotifyEvent(this, &TRecorder::Disconnect);
    client.OnRead = TSocketNotifyEvent(this, &TRecorder::Read);
    client.OnWrite = TSocketNotifyEvent(this, &TRecorder::Write);
    client.OnError = TSocketErrorEvent(this, &TRecorder::Error);
  }

  std::vector<std::string> events;
  std::vector<bool> activeSeen;  // Active as each handler saw it
  bool clearErrors = true;       // handlers set ErrorCode to 0, as the console does
  int replaceCode = 0;           // when non-zero, handlers set this code instead
  std::function<void(const std::string& event)> also;

  std::string Joined() const {
    std::string s;
    for (const auto& e : events) s += (s.empty() ? "" : " ") + e;
    return s;
  }
  bool Has(const std::string& e) const {
    for (const auto& x : events)
      if (x == e) return true;
    return false;
  }
  int Count(const std::string& e) const {
    int n = 0;
    for (const auto& x : events) n += x == e;
    return n;
  }

 private:
  void Note(TObject* sender, TAsyncSocket* socket, const std::string& e) {
    EXPECT_EQ(sender, &client_);
    EXPECT_EQ(socket, client_.Socket());
    events.push_back(e);
    activeSeen.push_back(client_.Active());
    if (also) also(e);
  }
  void Lookup(TObject* s, TAsyncSocket* k) { Note(s, k, "lookup"); }
  void Connecting(TObject* s, TAsyncSocket* k) { Note(s, k, "connecting"); }
  void Connect(TObject* s, TAsyncSocket* k) { Note(s, k, "connect"); }
  void Disconnect(TObject* s, TAsyncSocket* k) { Note(s, k, "disconnect"); }
  void Read(TObject* s, TAsyncSocket* k) { Note(s, k, "read"); }
  void Write(TObject* s, TAsyncSocket* k) { Note(s, k, "write"); }
  void Error(TObject* s, TAsyncSocket* k, TErrorEvent kind, int& code) {
    const std::string e = std::string("error:") + KindName(kind) + ":" + std::to_string(code);
    if (replaceCode != 0)
      code = replaceCode;
    else if (clearErrors)
      code = 0;
    Note(s, k, e);
  }

  TTcpClient& client_;
};

// Collects what reaches the application's exception display while it lives.
class TShownExceptions {
 public:
  TShownExceptions() {
    previous_ = SetExceptionDisplay([this](const std::string& m) { shown.push_back(m); });
  }
  ~TShownExceptions() { SetExceptionDisplay(previous_); }
  TShownExceptions(const TShownExceptions&) = delete;
  TShownExceptions& operator=(const TShownExceptions&) = delete;

  std::vector<std::string> shown;

 private:
  TExceptionDisplay previous_;
};

// A host resolver for the life of one test.
class TResolverOverride {
 public:
  explicit TResolverOverride(winsock::THostResolver resolver)
      : previous_(winsock::ExchangeHostResolver(std::move(resolver))) {}
  ~TResolverOverride() { winsock::ExchangeHostResolver(std::move(previous_)); }
  TResolverOverride(const TResolverOverride&) = delete;
  TResolverOverride& operator=(const TResolverOverride&) = delete;

 private:
  winsock::THostResolver previous_;
};

inline winsock::THostAnswer Found(std::uint32_t addressNet) {
  winsock::THostAnswer a;
  a.name = "found";
  a.addresses = {addressNet};
  return a;
}

inline winsock::THostAnswer NotFound() {
  winsock::THostAnswer a;
  a.error = winsock::WSAHOST_NOT_FOUND;
  return a;
}

}  // namespace sockettest
