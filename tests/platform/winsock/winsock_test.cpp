// The WinSock layer on its own: notification rules, lookups and cancelling, against a real
// server on 127.0.0.1.
#include "platform/winsock/winsock.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/sync/messages.h"
#include "tests/socket/support.h"
#include "tests/support/loopback.h"

namespace ws = winsock;
using namespace sockettest;

namespace {

constexpr UINT kNotify = WM_USER + 77;
constexpr UINT kLookup = WM_USER + 78;

struct TNote {
  UINT msg;
  WPARAM wParam;
  int event;
  int error;
};

// A started WinSock, a window that records what is posted to it, and helpers.
class WinSockTest : public ::testing::Test {
 protected:
  WinSockTest()
      : window_([this](TMessage& m) {
          notes.push_back(
              {m.Msg, m.WParam, ws::WSAGETSELECTEVENT(m.LParam), ws::WSAGETSELECTERROR(m.LParam)});
        }) {
    ws::WSADATA data;
    EXPECT_EQ(ws::WSAStartup(0x0101, &data), 0);
  }
  ~WinSockTest() override {
    for (ws::SOCKET s : opened_) ws::closesocket(s);
    ws::WSACleanup();
  }

  HWND Window() const { return window_.Handle(); }

  ws::SOCKET Open() {
    const ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    EXPECT_NE(s, ws::INVALID_SOCKET);
    opened_.push_back(s);
    return s;
  }

  static ws::sockaddr_in Peer(std::uint16_t port) {
    ws::sockaddr_in a{};
    a.sin_family = ws::AF_INET;
    a.sin_port = ws::htons(port);
    a.sin_addr.s_addr = ws::inet_addr("127.0.0.1");
    return a;
  }

  int ConnectAsync(ws::SOCKET s, std::uint16_t port,
                   long events = ws::FD_READ | ws::FD_WRITE | ws::FD_CONNECT | ws::FD_CLOSE) {
    EXPECT_EQ(ws::WSAAsyncSelect(s, Window(), kNotify, events), 0);
    const ws::sockaddr_in a = Peer(port);
    const int r = ws::connect(s, reinterpret_cast<const ws::sockaddr*>(&a), sizeof a);
    return r == 0 ? 0 : ws::WSAGetLastError();
  }

  // A socket connected to a peer of `server`, its first FD_WRITE seen.
  loopback::TPeer Connected(loopback::TServer& server, ws::SOCKET& s) {
    s = Open();
    ConnectAsync(s, server.Port());
    loopback::TPeer peer = server.Accept(5s);
    EXPECT_TRUE(PumpUntil([&] { return Count(ws::FD_WRITE) == 1; }));
    return peer;
  }

  int Count(long event) const {
    int n = 0;
    for (const auto& x : notes) n += x.msg == kNotify && x.event == event;
    return n;
  }

  std::vector<TNote> notes;

 private:
  TMessageWindow window_;
  std::vector<ws::SOCKET> opened_;
};

}  // namespace

TEST_F(WinSockTest, ConnectThenOneWriteThenReadsReArmedByRecv) {
  loopback::TServer server;
  const ws::SOCKET s = Open();
  EXPECT_EQ(ConnectAsync(s, server.Port()), ws::WSAEWOULDBLOCK);
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_WRITE) == 1; }));
  ASSERT_GE(notes.size(), 2u);
  EXPECT_EQ(notes[0].event, ws::FD_CONNECT);
  EXPECT_EQ(notes[0].error, 0);
  EXPECT_EQ(notes[0].wParam, s);
  EXPECT_EQ(notes[1].event, ws::FD_WRITE);
  loopback::TPeer peer = server.Accept(5s);
  ASSERT_TRUE(peer.Valid());

  ASSERT_TRUE(peer.SendAll("abc"));
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_READ) == 1; }));
  ASSERT_TRUE(peer.SendAll("def"));
  Settle();
  EXPECT_EQ(Count(ws::FD_READ), 1) << "no second FD_READ before a recv";

  ws::u_long waiting = 0;
  ASSERT_EQ(ws::ioctlsocket(s, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 6u);
  char buffer[8] = {};
  ASSERT_EQ(ws::recv(s, buffer, 2, 0), 2);
  // Data is left: the recv re-armed the notification, so it comes again.
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_READ) == 2; }));
  ASSERT_EQ(ws::recv(s, buffer, 8, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "cdef");
  Settle();
  EXPECT_EQ(Count(ws::FD_READ), 2);
  EXPECT_EQ(Count(ws::FD_CONNECT), 1);
  EXPECT_EQ(Count(ws::FD_WRITE), 1);
  EXPECT_EQ(peer.ReceiveExactly(0, 10ms), "");
  ASSERT_EQ(ws::send(s, "xyz", 3, 0), 3);
  EXPECT_EQ(peer.ReceiveExactly(3, 5s), "xyz");
  Settle();
  EXPECT_EQ(Count(ws::FD_WRITE), 1) << "a send that did not block gives no FD_WRITE";
}

TEST_F(WinSockTest, OrderlyCloseIsReportedOnceAfterTheData) {
  loopback::TServer server;
  ws::SOCKET s;
  loopback::TPeer peer = Connected(server, s);
  ASSERT_TRUE(peer.SendAll("bye"));
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_READ) == 1; }));
  char buffer[8];
  ASSERT_EQ(ws::recv(s, buffer, 8, 0), 3);
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_CLOSE) == 1; }));
  EXPECT_EQ(notes.back().error, 0);
  // The closed socket is watched no more, even though it stays readable.
  const std::size_t seen = notes.size();
  Settle(300ms);
  EXPECT_EQ(notes.size(), seen);
}

TEST_F(WinSockTest, BytesReadAheadComeInOrderOneNotificationPerRecvAndTheCloseAfterThem) {
  loopback::TServer server;
  ws::SOCKET s;
  loopback::TPeer peer = Connected(server, s);
  // More than one notification takes ahead, answered in pieces smaller than it took.
  std::string data(200000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
  ASSERT_TRUE(peer.SendAll(data));
  peer.Close();
  std::string got;
  int answered = 0;
  ASSERT_TRUE(PumpUntil([&] {
    if (Count(ws::FD_READ) > answered) {
      EXPECT_EQ(Count(ws::FD_READ), answered + 1) << "one FD_READ until the next recv";
      ++answered;
      char buffer[3000];
      const int n = ws::recv(s, buffer, sizeof buffer, 0);
      if (n > 0) got.append(buffer, std::size_t(n));
    }
    return Count(ws::FD_CLOSE) == 1;
  }));
  EXPECT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data);
  EXPECT_EQ(notes.back().event, ws::FD_CLOSE);
  EXPECT_EQ(notes.back().error, 0);
}

TEST_F(WinSockTest, ResetIsACloseWith10054AndSendNeverRaisesSigpipe) {
  loopback::TServer server;
  ws::SOCKET s;
  loopback::TPeer peer = Connected(server, s);
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_CLOSE) == 1; }));
  EXPECT_EQ(notes.back().error, ws::WSAECONNRESET);
  EXPECT_EQ(Count(ws::FD_READ), 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ws::send(s, "x", 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAECONNRESET);
  }
  const std::size_t seen = notes.size();
  Settle(300ms);
  EXPECT_EQ(notes.size(), seen);
}

TEST_F(WinSockTest, RefusedConnectIsOneConnectNotificationAndNothingElse) {
  const ws::SOCKET s = Open();
  EXPECT_EQ(ConnectAsync(s, loopback::RefusingPort()), ws::WSAEWOULDBLOCK);
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_CONNECT) == 1; }));
  EXPECT_EQ(notes[0].error, ws::WSAECONNREFUSED);
  Settle(300ms);
  EXPECT_EQ(notes.size(), 1u);
  EXPECT_EQ(ws::send(s, "x", 1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTCONN);
}

TEST_F(WinSockTest, WriteComesAgainOnlyAfterASendThatWouldBlock) {
  loopback::TServer server;
  server.SetReceiveBuffer(4096);
  const ws::SOCKET s = Open();
  ConnectAsync(s, server.Port());
  loopback::TPeer peer = server.Accept(5s);
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_WRITE) == 1; }));
  const std::string block(1 << 16, 'w');
  long total = 0;
  int r;
  while ((r = ws::send(s, block.data(), int(block.size()), 0)) > 0) total += r;
  ASSERT_EQ(r, ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
  Settle();
  EXPECT_EQ(Count(ws::FD_WRITE), 1);
  // Megabytes through a 4 KiB receive window: under ThreadSanitizer on a busy machine this took
  // over 20 s once, so the bound only guards against a hang.
  EXPECT_EQ(peer.ReceiveExactly(std::size_t(total), 90s).size(), std::size_t(total));
  ASSERT_TRUE(PumpUntil([&] { return Count(ws::FD_WRITE) == 2; }));
  Settle();
  EXPECT_EQ(Count(ws::FD_WRITE), 2);
}

TEST_F(WinSockTest, HandlesAreNeverReusedAndClosedOnesAreNotSockets) {
  const ws::SOCKET a = Open();
  ASSERT_EQ(ws::closesocket(a), 0);
  const ws::SOCKET b = Open();
  EXPECT_NE(a, b);
  EXPECT_EQ(ws::closesocket(a), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
  ws::u_long on = 0;
  EXPECT_EQ(ws::WSAAsyncSelect(b, Window(), kNotify, ws::FD_READ), 0);
  EXPECT_EQ(ws::ioctlsocket(b, ws::FIONBIO, &on), ws::SOCKET_ERROR)
      << "cannot block while notifications are on";
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEINVAL);
  EXPECT_EQ(ws::WSAAsyncSelect(b, 0, 0, 0), 0);
  EXPECT_EQ(ws::ioctlsocket(b, ws::FIONBIO, &on), 0);
}

TEST_F(WinSockTest, BlockingSocketConnectsSendsAndReceives) {
  loopback::TServer server;
  const ws::SOCKET s = Open();
  const ws::sockaddr_in a = Peer(server.Port());
  ASSERT_EQ(ws::connect(s, reinterpret_cast<const ws::sockaddr*>(&a), sizeof a), 0);
  loopback::TPeer peer = server.Accept(5s);
  ASSERT_EQ(ws::send(s, "ping", 4, 0), 4);
  EXPECT_EQ(peer.ReceiveExactly(4, 5s), "ping");
  ASSERT_TRUE(peer.SendAll("pong"));
  char buffer[4];
  EXPECT_EQ(ws::recv(s, buffer, 4, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "pong");
  EXPECT_TRUE(notes.empty());
}

TEST_F(WinSockTest, HostLookupFromTheHostsFile) {
  alignas(ws::hostent) char buffer[ws::MAXGETHOSTSTRUCT] = {};
  const ws::HANDLE h = ws::WSAAsyncGetHostByName(Window(), kLookup, "localhost", buffer, sizeof buffer);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(PumpUntil([&] { return !notes.empty(); }));
  EXPECT_EQ(notes[0].msg, kLookup);
  EXPECT_EQ(notes[0].wParam, h);
  EXPECT_EQ(notes[0].error, 0);
  const auto* entry = reinterpret_cast<const ws::hostent*>(buffer);
  EXPECT_EQ(entry->h_addrtype, ws::AF_INET);
  EXPECT_EQ(entry->h_length, 4);
  ASSERT_NE(entry->h_addr_list[0], nullptr);
  ws::u_long address;
  std::memcpy(&address, entry->h_addr_list[0], 4);
  EXPECT_EQ(address, ws::inet_addr("127.0.0.1"));
  // Every pointer lies inside the caller's buffer.
  EXPECT_GE(entry->h_name, buffer);
  EXPECT_LT(entry->h_name, buffer + sizeof buffer);
  EXPECT_EQ(ws::WSACancelAsyncRequest(h), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEALREADY);
  EXPECT_EQ(ws::WSACancelAsyncRequest(h + 1000), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEINVAL);
}

TEST_F(WinSockTest, ServiceLookupGivesPortInNetworkOrder) {
  alignas(ws::servent) char buffer[ws::MAXGETHOSTSTRUCT] = {};
  const ws::HANDLE h = ws::WSAAsyncGetServByName(Window(), kLookup, "http", "tcp", buffer, sizeof buffer);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(PumpUntil([&] { return !notes.empty(); }));
  ASSERT_EQ(notes[0].error, 0);
  const auto* entry = reinterpret_cast<const ws::servent*>(buffer);
  EXPECT_EQ(ws::ntohs(ws::u_short(entry->s_port)), 80);
  EXPECT_STREQ(entry->s_proto, "tcp");
  notes.clear();
  ASSERT_NE(ws::WSAAsyncGetServByName(Window(), kLookup, "no-such-service", "tcp", buffer, sizeof buffer),
            0u);
  ASSERT_TRUE(PumpUntil([&] { return !notes.empty(); }));
  EXPECT_EQ(notes[0].error, ws::WSANO_DATA);
}

TEST_F(WinSockTest, FailedLookupAndTooSmallBufferLeaveTheBufferAlone) {
  TResolverOverride resolver([](const std::string& name) {
    if (name == "big") {
      ws::THostAnswer a = Found(ws::inet_addr("10.0.0.1"));
      a.name = std::string(300, 'n');
      return a;
    }
    return NotFound();
  });
  char buffer[64];
  std::memset(buffer, 0xAB, sizeof buffer);
  ASSERT_NE(ws::WSAAsyncGetHostByName(Window(), kLookup, "nowhere", buffer, sizeof buffer), 0u);
  ASSERT_NE(ws::WSAAsyncGetHostByName(Window(), kLookup, "big", buffer, sizeof buffer), 0u);
  ASSERT_TRUE(PumpUntil([&] { return notes.size() == 2; }));
  int notFound = 0, noBuffers = 0;
  for (const auto& n : notes) {
    notFound += n.error == ws::WSAHOST_NOT_FOUND;
    noBuffers += n.error == ws::WSAENOBUFS;
  }
  EXPECT_EQ(notFound, 1);
  EXPECT_EQ(noBuffers, 1);
  for (unsigned char c : buffer) ASSERT_EQ(c, 0xAB);
}

TEST_F(WinSockTest, CancelledLookupNeverPostsNorWrites) {
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  TResolverOverride resolver([&](const std::string&) {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return release; });
    return Found(ws::inet_addr("127.0.0.1"));
  });
  char buffer[ws::MAXGETHOSTSTRUCT];
  std::memset(buffer, 0xCD, sizeof buffer);
  const ws::HANDLE h = ws::WSAAsyncGetHostByName(Window(), kLookup, "held", buffer, sizeof buffer);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(ws::WSACancelAsyncRequest(h), 0);
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  // A request after it shows when the worker of the cancelled one has had its chance.
  char other[ws::MAXGETHOSTSTRUCT];
  const ws::HANDLE h2 = ws::WSAAsyncGetHostByName(Window(), kLookup, "next", other, sizeof other);
  ASSERT_TRUE(PumpUntil([&] { return !notes.empty(); }));
  Settle();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].wParam, h2);
  for (unsigned char c : buffer) ASSERT_EQ(c, 0xCD);
}
