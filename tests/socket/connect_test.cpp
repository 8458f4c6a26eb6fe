// Opening, lookups, connecting, closing and the component's properties, against a real server.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "tests/socket/support.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"

namespace ws = winsock;
using namespace sockettest;

namespace {

class ClientTest : public ::testing::Test {
 protected:
  void ConnectTo(std::uint16_t port) {
    client.SetAddress("127.0.0.1");
    client.SetPort(port);
    client.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
  }

  // Posts a message to the socket object's hidden window and delivers it.
  void Deliver(UINT msg, WPARAM wParam, LPARAM lParam) {
    ASSERT_TRUE(PostMessageA(client.Socket()->WindowHandle(), msg, wParam, lParam));
    ProcessPostedMessages();
  }

  TShownExceptions shown;  // declared first: outlives the client
  loopback::TServer server;
  TTcpClient client;
  TRecorder rec{client};
};

// A resolver that holds every lookup until released, and counts them.
class THeldResolver {
 public:
  THeldResolver()
      : override_([this](const std::string&) {
          ++calls;
          std::unique_lock lock(m_);
          cv_.wait(lock, [this] { return released_; });
          return Found(ws::inet_addr("127.0.0.1"));
        }) {}
  ~THeldResolver() { Release(); }
  void Release() {
    {
      std::lock_guard lock(m_);
      released_ = true;
    }
    cv_.notify_all();
  }
  std::atomic<int> calls{0};

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool released_ = false;
  TResolverOverride override_;
};

}  // namespace

TEST_F(ClientTest, OpenWithHostNameLooksUpThenConnects) {
  client.SetHost("localhost");
  client.SetPort(server.Port());
  client.SetActive(true);
  EXPECT_EQ(rec.Joined(), "lookup");
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(client.Socket()->LookupPhase(), lpHost);
  EXPECT_NE(client.Socket()->LookupRequest(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
  EXPECT_EQ(rec.Joined(), "lookup connecting connect write");
  EXPECT_EQ(rec.activeSeen, (std::vector<bool>{false, false, true, true}));
  EXPECT_TRUE(client.Active());
  EXPECT_TRUE(server.Accept(5s).Valid());
  EXPECT_EQ(client.Socket()->PeerAddress().sin_addr.s_addr, ws::inet_addr("127.0.0.1"));
  EXPECT_TRUE(shown.shown.empty());
}

TEST_F(ClientTest, OpenWithAddressOnlyConnectsInsideTheAssignment) {
  client.SetAddress("127.0.0.1");
  client.SetPort(server.Port());
  client.SetActive(true);
  EXPECT_EQ(rec.Joined(), "lookup connecting");
  EXPECT_FALSE(client.Active());
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
  EXPECT_EQ(rec.Joined(), "lookup connecting connect write");
  // Already active: nothing.
  client.SetActive(true);
  EXPECT_EQ(rec.Count("lookup"), 1);
}

TEST_F(ClientTest, ServiceNameWinsOverPort) {
  auto previous = ws::ExchangeServiceResolver([this](const std::string& name, const std::string& protocol) {
    ws::TServiceAnswer a;
    a.name = name;
    a.portNet = ws::htons(server.Port());
    if (name != "relay" || protocol != "tcp") a.error = ws::WSANO_DATA;
    return a;
  });
  client.SetAddress("127.0.0.1");
  client.SetService("relay");
  client.SetPort(loopback::RefusingPort());
  client.SetActive(true);
  EXPECT_EQ(rec.Joined(), "lookup");
  EXPECT_EQ(client.Socket()->LookupPhase(), lpService);
  const bool connected = PumpUntil([&] { return rec.Has("write"); });
  ws::ExchangeServiceResolver(std::move(previous));
  ASSERT_TRUE(connected);
  EXPECT_EQ(rec.Joined(), "lookup connecting connect write");
}

TEST_F(ClientTest, PortUsesOnlyTheLowSixteenBits) {
  client.SetAddress("127.0.0.1");
  client.SetPort(70000);
  client.SetActive(true);
  EXPECT_EQ(ws::ntohs(client.Socket()->PeerAddress().sin_port), 4464);
  EXPECT_EQ(client.Port(), 70000);
  PumpUntil([&] { return rec.events.size() > 2; });
}

TEST_F(ClientTest, RefusedConnectWithCodeClearedChangesNothing) {
  client.SetAddress("127.0.0.1");
  client.SetPort(loopback::RefusingPort());
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return rec.events.size() == 3; }));
  Settle();
  EXPECT_EQ(rec.Joined(), "lookup connecting error:connect:10061");
  EXPECT_FALSE(client.Active());
  EXPECT_TRUE(shown.shown.empty());
  // Stranded: the handle stays until the next open, which replaces it without OnDisconnect.
  const ws::SOCKET stranded = client.Socket()->SocketHandle();
  ASSERT_NE(stranded, ws::INVALID_SOCKET);
  client.SetActive(false);
  EXPECT_EQ(client.Socket()->SocketHandle(), stranded);
  client.SetPort(server.Port());
  client.SetActive(true);
  EXPECT_NE(client.Socket()->SocketHandle(), stranded);
  EXPECT_EQ(ws::closesocket(stranded), ws::SOCKET_ERROR) << "the stranded handle was closed";
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("connect"); }));
  EXPECT_EQ(rec.Count("disconnect"), 0);
  EXPECT_TRUE(client.Active());
}

TEST_F(ClientTest, RefusedConnectWithCodeLeftReachesTheApplicationHandler) {
  rec.clearErrors = false;
  client.SetAddress("127.0.0.1");
  client.SetPort(loopback::RefusingPort());
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return !shown.shown.empty(); }));
  EXPECT_EQ(shown.shown, std::vector<std::string>{"Asynchronous socket error 10061"});
  EXPECT_EQ(rec.Joined(), "lookup connecting error:connect:10061");
  EXPECT_FALSE(client.Active());
}

TEST_F(ClientTest, HostNotFoundReportsThenClosesAndLooksUpAgainNextTime) {
  int lookups = 0;
  TResolverOverride resolver([&lookups](const std::string&) {
    ++lookups;
    return NotFound();
  });
  client.SetHost("nowhere.invalid");
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("disconnect"); }));
  EXPECT_EQ(rec.Joined(), "lookup error:lookup:11001 disconnect");
  EXPECT_EQ(rec.activeSeen.back(), false);
  EXPECT_EQ(client.Socket()->SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_TRUE(shown.shown.empty());

  // A handler that swaps the code still gets the platform's code in the message.
  rec.events.clear();
  rec.replaceCode = 10060;
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return !shown.shown.empty(); }));
  EXPECT_EQ(shown.shown[0], "Windows socket error: The host was not found (11001), on API 'ASync Lookup'");
  EXPECT_EQ(rec.Joined(), "lookup error:lookup:11001 disconnect");
  EXPECT_EQ(lookups, 2);
}

TEST_F(ClientTest, NoHostNorAddressGives1110AndDisconnect) {
  client.SetActive(true);
  EXPECT_EQ(rec.Joined(), "lookup error:lookup:1110 disconnect");
  EXPECT_FALSE(client.Active());

  rec.events.clear();
  rec.clearErrors = false;
  EXPECT_EQ(Raised([&] { client.SetActive(true); }), "No address specified");
  EXPECT_EQ(rec.Joined(), "lookup error:lookup:1110 disconnect");
  EXPECT_EQ(client.Socket()->SocketHandle(), ws::INVALID_SOCKET);
}

TEST_F(ClientTest, AddressThatIsNoNumberFailsTheConnectThroughTheErrorEvent) {
  client.SetAddress("not.a.number");  // the all-ones address: no route
  client.SetPort(80);
  EXPECT_EQ(Raised([&] { client.SetActive(true); }), "<nothing raised>");
  ASSERT_TRUE(PumpUntil([&] { return rec.events.size() == 3; }));
  EXPECT_EQ(rec.Joined(), "lookup connecting error:connect:" + std::to_string(ws::WSAENETUNREACH));
  EXPECT_FALSE(client.Active());
  EXPECT_FALSE(client.Opening()) << "a failed connect leaves nothing under way";
  EXPECT_TRUE(shown.shown.empty());
}

TEST_F(ClientTest, StaleLookupCompletionIsIgnored) {
  THeldResolver resolver;
  client.SetHost("held");
  client.SetPort(server.Port());
  client.SetActive(true);
  const ws::HANDLE request = client.Socket()->LookupRequest();
  ASSERT_NE(request, 0u);
  Deliver(SM_LOOKUPDONE, request + 1000, ws::WSAMAKEASYNCREPLY(0, ws::WSAHOST_NOT_FOUND));
  EXPECT_EQ(rec.Joined(), "lookup");
  EXPECT_EQ(client.Socket()->LookupRequest(), request);
  resolver.Release();
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
  EXPECT_EQ(rec.Joined(), "lookup connecting connect write");
}

TEST_F(ClientTest, SecondOpenWhileUnderWayDoesNothing) {
  THeldResolver resolver;
  client.SetHost("held");
  client.SetPort(server.Port());
  client.SetActive(true);
  const ws::SOCKET handle = client.Socket()->SocketHandle();
  const ws::HANDLE request = client.Socket()->LookupRequest();
  client.SetActive(true);
  client.SetActive(false);  // still resolving: nothing either
  EXPECT_EQ(client.Socket()->SocketHandle(), handle);
  EXPECT_EQ(client.Socket()->LookupRequest(), request);
  resolver.Release();
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("connecting"); }));
  // Connecting now: the notification is not yet delivered.
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
  EXPECT_EQ(rec.Joined(), "lookup connecting connect write");
  EXPECT_EQ(resolver.calls, 1);
  EXPECT_TRUE(server.Accept(5s).Valid());
  EXPECT_FALSE(server.Accept(100ms).Valid()) << "only one connection was made";
}

TEST_F(ClientTest, NotificationsForAnotherHandleAreIgnoredUnlessTheyCarryAnError) {
  ConnectTo(server.Port());
  loopback::TPeer peer = server.Accept(5s);
  rec.events.clear();
  const WPARAM other = client.Socket()->SocketHandle() + 1000;
  for (long event : {ws::FD_READ, ws::FD_WRITE, ws::FD_CONNECT, ws::FD_CLOSE})
    Deliver(SM_NOTIFY, other, ws::WSAMAKESELECTREPLY(event, 0));
  EXPECT_EQ(rec.Joined(), "");
  EXPECT_TRUE(client.Active());
  Deliver(SM_NOTIFY, other, ws::WSAMAKESELECTREPLY(ws::FD_WRITE, ws::WSAENOBUFS));
  EXPECT_EQ(rec.Joined(), "error:send:10055");
  EXPECT_TRUE(client.Active());
  // A release request is not obeyed: the component owns its socket object.
  Deliver(SM_RELEASE, 0, 0);
  EXPECT_TRUE(client.Active());
}

TEST_F(ClientTest, StaleCloseDoesNotCancelTheNextOpen) {
  THeldResolver resolver;
  ConnectTo(server.Port());
  const ws::SOCKET old = client.Socket()->SocketHandle();
  client.SetActive(false);
  client.SetHost("held");
  client.SetActive(true);
  Deliver(SM_NOTIFY, old, ws::WSAMAKESELECTREPLY(ws::FD_CLOSE, 0));
  EXPECT_NE(client.Socket()->LookupRequest(), 0u);
  resolver.Release();
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("connect") == 2; }));
}

TEST_F(ClientTest, GuardedSettersWhileActive) {
  client.SetHost("LocalHost");
  client.SetAddress("127.0.0.1");
  client.SetService("");
  client.SetPort(server.Port());
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return client.Active(); }));
  client.SetHost("localhost");
  EXPECT_EQ(client.Host(), "LocalHost") << "same name in other letter case is no change";
  client.SetPort(server.Port());
  const std::string refused = "Can't change value while socket is active";
  EXPECT_EQ(Raised([&] { client.SetHost("otherhost"); }), refused);
  EXPECT_EQ(Raised([&] { client.SetPort(server.Port() + 1); }), refused);
  EXPECT_EQ(Raised([&] { client.SetAddress("127.0.0.2"); }), refused);
  EXPECT_EQ(Raised([&] { client.SetService("http"); }), refused);
  EXPECT_EQ(Raised([&] { client.SetClientType(ctBlocking); }), refused);
  EXPECT_EQ(client.Host(), "LocalHost");
  EXPECT_EQ(client.Port(), server.Port());
  EXPECT_EQ(client.ClientType(), ctNonBlocking);
  EXPECT_TRUE(client.Active());
  client.SetActive(false);
  EXPECT_EQ(rec.Count("disconnect"), 1);
  client.SetHost("otherhost");
  client.SetPort(1);
  EXPECT_EQ(client.Host(), "otherhost");
}

TEST_F(ClientTest, ActiveFalseInsideOnReadClosesAtOnce) {
  ConnectTo(server.Port());
  loopback::TPeer peer = server.Accept(5s);
  rec.also = [&](const std::string& e) {
    if (e == "read") client.SetActive(false);
  };
  ASSERT_TRUE(peer.SendAll("data"));
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("disconnect"); }));
  EXPECT_EQ(rec.Joined(), "lookup connecting connect write read disconnect");
  EXPECT_FALSE(client.Active());
  EXPECT_TRUE(peer.WaitClosed(5s));
}

TEST_F(ClientTest, ClosingAgainInsideOnDisconnectClosesOnce) {
  ConnectTo(server.Port());
  rec.also = [&](const std::string& e) {
    if (e == "disconnect") client.Socket()->CloseConnection(client.Socket()->SocketHandle());
  };
  client.SetActive(false);
  EXPECT_EQ(rec.Count("disconnect"), 1);
  EXPECT_EQ(client.Socket()->SocketHandle(), ws::INVALID_SOCKET);
}

TEST_F(ClientTest, ExceptionInAHandlerIsShownAndMessagesGoOn) {
  rec.also = [](const std::string& e) {
    if (e == "connect") throw ESocketError("handler failed");
  };
  ConnectTo(server.Port());
  EXPECT_EQ(shown.shown, std::vector<std::string>{"handler failed"});
  EXPECT_TRUE(client.Active());
}

TEST_F(ClientTest, LoadedOpensWhatTheResourceStored) {
  client.BeginLoading();
  client.SetActive(true);
  client.SetAddress("127.0.0.1");
  client.SetPort(server.Port());
  EXPECT_EQ(rec.Joined(), "");
  client.Loaded();
  EXPECT_EQ(rec.Joined(), "lookup connecting");
  EXPECT_FALSE(client.Active()) << "Active follows the connect event";
  ASSERT_TRUE(PumpUntil([&] { return client.Active(); }));
}

TEST_F(ClientTest, BlockingModeConnectsInsideTheAssignment) {
  client.SetClientType(ctBlocking);
  EXPECT_EQ(client.Socket()->NotificationMask(), 0);
  client.SetAddress("127.0.0.1");
  client.SetPort(server.Port());
  client.SetActive(true);
  EXPECT_EQ(rec.Joined(), "lookup connecting connect");
  EXPECT_TRUE(client.Active());
  loopback::TPeer peer = server.Accept(5s);
  EXPECT_EQ(client.Socket()->SendText("block"), 5);
  EXPECT_EQ(peer.ReceiveExactly(5, 5s), "block");
  ASSERT_TRUE(peer.SendAll("back"));
  char buffer[4];
  EXPECT_EQ(client.Socket()->ReceiveBuf(buffer, 4), 4);
  Settle(100ms);
  EXPECT_EQ(rec.Joined(), "lookup connecting connect");
}

TEST(ClientLifetime, DestroyingWhileConnectedRaisesNoDisconnect) {
  loopback::TServer server;
  auto client = std::make_unique<TTcpClient>();
  TRecorder rec(*client);
  client->SetAddress("127.0.0.1");
  client->SetPort(server.Port());
  client->SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return client->Active(); }));
  loopback::TPeer peer = server.Accept(5s);
  client.reset();
  EXPECT_FALSE(rec.Has("disconnect"));
  EXPECT_TRUE(peer.WaitClosed(5s));
}

TEST(ClientLifetime, DestroyingWhileResolvingCancelsTheLookup) {
  {
    // One finished lookup first: the lookup service keeps one descriptor for its whole life.
    TResolverOverride resolver([](const std::string&) { return NotFound(); });
    TTcpClient warm;
    TRecorder rec(warm);
    warm.SetHost("warm");
    warm.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return rec.Has("disconnect"); }));
  }
  const std::size_t before = CountOpenDescriptors();
  THeldResolver resolver;
  TShownExceptions shown;
  {
    TTcpClient client;
    client.SetHost("held");
    client.SetActive(true);
    ASSERT_NE(client.Socket()->LookupRequest(), 0u);
  }
  resolver.Release();
  Settle();
  EXPECT_TRUE(shown.shown.empty());
  EXPECT_EQ(CountOpenDescriptors(), before) << "the unconnected handle was closed too";
}
