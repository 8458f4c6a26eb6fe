// Sending, receiving, the read-notification rule the console's flow control relies on, and
// closes and resets by the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "tests/socket/support.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"

namespace ws = winsock;
using namespace sockettest;

namespace {

class DataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.SetAddress("127.0.0.1");
    client.SetPort(server.Port());
    client.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
    peer = server.Accept(5s);
    ASSERT_TRUE(peer.Valid());
    rec.events.clear();
  }

  TAsyncSocket& Socket() { return *client.Socket(); }

  // Fills the path to a server that does not read, until a send would block.
  long FillUntilBlocked() {
    const std::string block(1 << 16, 'f');
    long total = 0;
    for (int i = 0; i < 100000; ++i) {
      const int n = Socket().SendText(block);
      if (n < 0) return total;
      total += n;
    }
    ADD_FAILURE() << "the send never blocked";
    return total;
  }

  TShownExceptions shown;
  loopback::TServer server;
  TTcpClient client;
  TRecorder rec{client};
  loopback::TPeer peer;
};

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(gen());
  return s;
}

}  // namespace

TEST_F(DataTest, BytesPassBothWaysUnchanged) {
  const std::string down = RandomBytes(1 << 20, 1);
  const std::string up = RandomBytes(1 << 20, 2);
  std::string received;
  std::size_t sent = 0;
  // Sends until the platform takes no more; the rest waits for the next room-to-send event.
  auto pump = [&] {
    while (sent < up.size()) {
      const int n = Socket().SendText(up.substr(sent, 8192));
      if (n <= 0) return;
      sent += std::size_t(n);
    }
  };
  rec.also = [&](const std::string& e) {
    if (e == "read") received += Socket().ReceiveText();
    if (e == "write") pump();
  };
  std::string arrived;
  std::thread writer([&] { peer.SendAll(down); });
  std::thread reader([&] { arrived = peer.ReceiveExactly(up.size(), 60s); });
  pump();
  const bool done = PumpUntil([&] { return sent == up.size() && received.size() >= down.size(); }, 60s);
  writer.join();
  reader.join();
  ASSERT_TRUE(done) << sent << " sent, " << received.size() << " received";
  EXPECT_TRUE(arrived == up);
  EXPECT_TRUE(received == down);
  EXPECT_EQ(rec.Count("disconnect"), 0);
}

TEST_F(DataTest, ReceiveTextTakesEverythingWaitingAndNothingWhenEmpty) {
  ASSERT_TRUE(peer.SendAll("one,"));
  ASSERT_TRUE(peer.SendAll("two,"));
  ASSERT_TRUE(peer.SendAll("three"));
  ASSERT_TRUE(PumpUntil([&] { return Socket().ReceiveBuf(nullptr, -1) == 13; }));
  EXPECT_EQ(Socket().ReceiveText(), "one,two,three");
  EXPECT_EQ(Socket().ReceiveText(), "");
  EXPECT_EQ(Socket().ReceiveBuf(nullptr, -1), 0);
  char buffer[4];
  EXPECT_EQ(Socket().ReceiveBuf(buffer, 4), -1) << "would block: -1 and no event";
  EXPECT_EQ(Socket().SendText(""), 0);
  EXPECT_EQ(rec.Count("disconnect"), 0);
  EXPECT_TRUE(shown.shown.empty());
}

TEST_F(DataTest, AFloodIsTakenAMebibyteAtMostACallWholeAndInOrder) {
  const std::string sent = RandomBytes(3 << 20, 3);
  std::thread writer([&] { peer.SendAll(sent); });
  std::string received;
  std::size_t largest = 0, lastWaiting = 0;
  auto changed = std::chrono::steady_clock::now();
  const bool done = PumpUntil(
      [&] {
        // Let the path fill first (until the rest is there or nothing more comes in), so a
        // call has more than one piece to take.
        const std::size_t waiting = std::size_t(std::max(0, Socket().ReceiveBuf(nullptr, -1)));
        const auto now = std::chrono::steady_clock::now();
        if (waiting != lastWaiting) {
          lastWaiting = waiting;
          changed = now;
        }
        if (waiting == 0 || (waiting < sent.size() - received.size() && now - changed < 20ms)) return false;
        const std::string text = Socket().ReceiveText();
        EXPECT_LE(text.size(), std::size_t{1} << 20);
        largest = std::max(largest, text.size());
        received += text;
        lastWaiting = 0;
        return received.size() >= sent.size();
      },
      60s);
  writer.join();
  ASSERT_TRUE(done) << received.size() << " of " << sent.size();
  EXPECT_TRUE(received == sent);
  EXPECT_GT(largest, std::size_t{64} << 10) << "no call took more than one piece";
}

TEST_F(DataTest, NoReadNotificationUntilTheDataIsTaken) {
  ASSERT_TRUE(peer.SendAll("first"));
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("read") == 1; }));
  ASSERT_TRUE(peer.SendAll("second"));
  Settle(300ms);
  EXPECT_EQ(rec.Count("read"), 1) << "the handler did not receive: no further notification";
  // Taken later, outside any event: everything waiting comes, and notifications resume.
  ASSERT_TRUE(PumpUntil([&] { return Socket().ReceiveBuf(nullptr, -1) == 11; }));
  EXPECT_EQ(Socket().ReceiveText(), "firstsecond");
  Settle(100ms);
  EXPECT_EQ(rec.Count("read"), 1);
  ASSERT_TRUE(peer.SendAll("third"));
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("read") == 2; }));
  EXPECT_EQ(Socket().ReceiveText(), "third");
}

TEST_F(DataTest, OrderlyCloseByTheServerDisconnects) {
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("disconnect"); }));
  EXPECT_EQ(rec.Joined(), "disconnect");
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(Socket().SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_EQ(Socket().SendText("late"), 0);
  EXPECT_EQ(Socket().ReceiveText(), "");
  Settle();
  EXPECT_EQ(rec.Joined(), "disconnect");
}

TEST_F(DataTest, DataWaitingAtTheCloseIsDeliveredFirstNeverAfter) {
  rec.also = [&](const std::string& e) {
    if (e == "read") Socket().ReceiveText();
  };
  ASSERT_TRUE(peer.SendAll("tail"));
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("disconnect"); }));
  Settle();
  EXPECT_EQ(rec.Joined(), "read disconnect");
}

// The reset has reached the socket, but its notification has not been handled yet.
void LetTheResetArrive() { std::this_thread::sleep_for(200ms); }

TEST_F(DataTest, ResetByTheServerEndsTheConnectionAtOnce) {
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return !rec.events.empty(); }));
  Settle(300ms);
  EXPECT_EQ(rec.Joined(), "error:disconnect:10054 disconnect");
  EXPECT_EQ(rec.activeSeen.back(), false);
  EXPECT_FALSE(client.Active()) << "a dead connection must not pass for a live one";
  EXPECT_EQ(Socket().SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_EQ(Socket().SendText("x"), 0) << "nothing is taken for a connection that is gone";
  EXPECT_TRUE(shown.shown.empty());
}

TEST_F(DataTest, FailedSendWithCodeLeftRaisesAfterErrorAndDisconnect) {
  peer.Reset();
  LetTheResetArrive();
  rec.clearErrors = false;
  std::string message;
  try {
    Socket().SendText("x");
  } catch (const ESocketError& e) {
    message = e.Message();
  }
  EXPECT_EQ(message,
            "Windows socket error: The connection was reset by the remote host (10054), on API 'send'");
  EXPECT_EQ(rec.Joined(), "error:send:10054 disconnect");
}

TEST_F(DataTest, ReplacedCodeIsTheOneReported) {
  peer.Reset();
  LetTheResetArrive();
  rec.replaceCode = 10060;
  std::string message;
  try {
    Socket().SendText("x");
  } catch (const ESocketError& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "Windows socket error: The connection attempt timed out (10060), on API 'send'");
}

TEST_F(DataTest, ResetWithCodeLeftShowsTheAsynchronousError) {
  rec.clearErrors = false;
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return !shown.shown.empty(); }));
  EXPECT_EQ(shown.shown, std::vector<std::string>{"Asynchronous socket error 10054"});
  EXPECT_EQ(rec.Joined(), "error:disconnect:10054 disconnect");
  EXPECT_FALSE(client.Active());
}

TEST_F(DataTest, SendThatWouldBlockReturnsMinusOneQuietly) {
  const long accepted = FillUntilBlocked();
  EXPECT_GT(accepted, 0);
  EXPECT_EQ(Socket().SendText("more"), -1);
  EXPECT_EQ(rec.Joined(), "");
  EXPECT_TRUE(client.Active());
  // Once the server reads, the platform reports room again.
  EXPECT_EQ(peer.ReceiveExactly(std::size_t(accepted), 30s).size(), std::size_t(accepted));
  ASSERT_TRUE(PumpUntil([&] { return rec.Has("write"); }));
  EXPECT_EQ(rec.Joined(), "write");
}

TEST_F(DataTest, PartialSendReturnsWhatWasTaken) {
  const std::string huge(64 << 20, 'p');
  const int n = Socket().SendText(huge);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, int(huge.size()));
  EXPECT_EQ(rec.Joined(), "");
}

TEST(SocketUnconnected, SendAndReceiveDoNothing) {
  TTcpClient client;
  TRecorder rec(client);
  EXPECT_EQ(client.Socket()->SendText("nobody"), 0);
  EXPECT_EQ(client.Socket()->ReceiveText(), "");
  EXPECT_EQ(client.Socket()->ReceiveBuf(nullptr, -1), 0);
  client.SetActive(false);
  EXPECT_EQ(rec.Joined(), "");
}

TEST(SocketCycles, ThousandConnectsLeaveNoDescriptorBehind) {
  loopback::TServer server;
  TTcpClient client;
  TRecorder rec(client);
  client.SetAddress("127.0.0.1");
  client.SetPort(server.Port());
  // One cycle first, so that lazily made things (the hidden window, Qt's dispatcher) exist.
  client.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return client.Active(); }));
  client.SetActive(false);
  server.Accept(5s);
  const std::size_t before = CountOpenDescriptors();
  for (int i = 0; i < 1000; ++i) {
    client.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return client.Active(); })) << "cycle " << i;
    loopback::TPeer peer = server.Accept(5s);
    ASSERT_TRUE(peer.Valid());
    client.SetActive(false);
  }
  EXPECT_EQ(rec.Count("connect"), 1001);
  EXPECT_EQ(rec.Count("disconnect"), 1001);
  EXPECT_EQ(CountOpenDescriptors(), before);
}
