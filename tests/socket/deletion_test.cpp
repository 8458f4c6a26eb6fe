// A handler may destroy the component that raised it: nothing of the component is touched
// afterwards (the sanitizer builds prove it), and what the operation owes its caller still comes.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "platform/winsock/posix.h"
#include "tests/socket/support.h"
#include "tests/support/loopback.h"

namespace ws = winsock;
using namespace sockettest;

namespace {

class DeletionTest : public ::testing::Test {
 protected:
  // Destroys the component inside the handler of `event`.
  void DeleteOn(const std::string& event) {
    rec->also = [this, event](const std::string& e) {
      if (e == event) client.reset();
    };
  }
  void Connect() {
    client->SetAddress("127.0.0.1");
    client->SetPort(server.Port());
    client->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return rec->Has("connect"); }));
    peer = server.Accept(5s);
    ASSERT_TRUE(peer.Valid());
    Settle(100ms);
    rec->events.clear();
  }
  // The server resets; the reset reaches the socket before its notification is handled.
  void ResetUnnoticed() {
    peer.Reset();
    std::this_thread::sleep_for(200ms);
  }

  TShownExceptions shown;
  loopback::TServer server;
  std::unique_ptr<TTcpClient> client = std::make_unique<TTcpClient>();
  std::unique_ptr<TRecorder> rec = std::make_unique<TRecorder>(*client);
  loopback::TPeer peer;
};

}  // namespace

TEST_F(DeletionTest, InsideOnDisconnectOfAClose) {
  Connect();
  DeleteOn("disconnect");
  TTcpClient* raw = client.get();
  raw->SetActive(false);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(rec->Count("disconnect"), 1);
  EXPECT_TRUE(peer.WaitClosed(5s)) << "the handle closed with the component";
  EXPECT_TRUE(shown.shown.empty());
}

TEST_F(DeletionTest, InsideOnErrorOfAFailedSend) {
  Connect();
  ResetUnnoticed();
  DeleteOn("error:send:10054");
  TAsyncSocket* socket = client->Socket();
  EXPECT_EQ(socket->SendText("x"), -1);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(rec->Joined(), "error:send:10054") << "no disconnect from a destroyed component";
}

TEST_F(DeletionTest, InsideOnErrorOfAFailedSendThatLeavesTheCode) {
  Connect();
  ResetUnnoticed();
  rec->clearErrors = false;
  DeleteOn("error:send:10054");
  TAsyncSocket* socket = client->Socket();
  EXPECT_THROW(socket->SendText("x"), ESocketError);
  EXPECT_EQ(client, nullptr);
}

TEST_F(DeletionTest, InsideOnErrorOfAFailedReceive) {
  Connect();
  ResetUnnoticed();
  DeleteOn("error:receive:10054");
  TAsyncSocket* socket = client->Socket();
  char buffer[16];
  EXPECT_EQ(socket->ReceiveBuf(buffer, sizeof buffer), -1);
  EXPECT_EQ(client, nullptr);
}

TEST_F(DeletionTest, InsideOnLookup) {
  DeleteOn("lookup");
  TResolverOverride resolver([](const std::string&) { return Found(ws::inet_addr("127.0.0.1")); });
  TTcpClient* raw = client.get();
  raw->SetHost("somewhere");
  raw->SetPort(server.Port());
  raw->SetActive(true);
  EXPECT_EQ(client, nullptr);
  Settle();
  EXPECT_FALSE(server.Accept(100ms).Valid()) << "the open went on without its component";
}

TEST_F(DeletionTest, InsideOnErrorAndOnDisconnectOfAReset) {
  for (const char* event : {"error:disconnect:10054", "disconnect"}) {
    SCOPED_TRACE(event);
    if (!client) {
      client = std::make_unique<TTcpClient>();
      rec = std::make_unique<TRecorder>(*client);
    }
    Connect();
    DeleteOn(event);
    peer.Reset();
    EXPECT_TRUE(PumpUntil([&] { return client == nullptr; }));
    Settle();
    EXPECT_TRUE(shown.shown.empty());
  }
}

TEST_F(DeletionTest, InsideOnErrorOfAFailedLookupAndOfAFailedConnect) {
  TResolverOverride resolver([](const std::string&) { return NotFound(); });
  DeleteOn("error:lookup:11001");
  client->SetHost("nowhere");
  client->SetActive(true);
  EXPECT_TRUE(PumpUntil([&] { return client == nullptr; }));

  client = std::make_unique<TTcpClient>();
  rec = std::make_unique<TRecorder>(*client);
  DeleteOn("error:connect:10061");
  client->SetAddress("127.0.0.1");
  client->SetPort(loopback::RefusingPort());
  client->SetActive(true);
  EXPECT_TRUE(PumpUntil([&] { return client == nullptr; }));
  Settle();
  EXPECT_TRUE(shown.shown.empty());
}

TEST(ConnectErrors, ShortageIsAFailureNeverAConnectInProgress) {
  // EAGAIN from a TCP connect means no local port or route entry was free: nothing would ever
  // report on such a connect, so it must not look like one under way.
  EXPECT_EQ(ws::posix::ConnectErrorFromErrno(EAGAIN), ws::WSAENOBUFS);
  EXPECT_EQ(ws::posix::ConnectErrorFromErrno(ENETUNREACH), ws::WSAENETUNREACH);
  EXPECT_EQ(ws::posix::ConnectErrorFromErrno(EACCES), ws::WSAEACCES);
}
