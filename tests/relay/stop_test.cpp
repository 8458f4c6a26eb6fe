// The clean stop: queued bytes leave first, within a bound; retries end; both ends close. And
// what a view is told while blocks pass.
#include "tests/relay/corefixture.h"
#include "tests/support/pump.h"

using namespace std::chrono_literals;
using Mode = doubles::TSocketDouble::Mode;

namespace {
class StopTest : public CoreTest {
 protected:
  void Up() {
    core->KeepSerialOpen();
    core->KeepConnected("127.0.0.1", 8887);
    net.CompleteConnect();
    ASSERT_TRUE(core->SerialOpen());
  }
  void StopWithin(std::chrono::milliseconds bound) {
    core->Stop(bound, [this] { ++stopped; });
  }
  int stopped = 0;
};
}  // namespace

TEST_F(StopTest, BytesQueuedForTheLineLeaveBeforeThePortCloses) {
  Up();
  serial.pending = 300;
  StopWithin(10s);
  PumpUntil([] { return false; }, 60ms);
  EXPECT_EQ(stopped, 0);
  EXPECT_TRUE(serial.open);
  serial.Drained();
  ASSERT_TRUE(PumpUntil([&] { return stopped == 1; }, 5s));
  EXPECT_FALSE(serial.open);
  EXPECT_FALSE(net.active);
  EXPECT_EQ(view.Since(view.lines.size() - 2),
            (std::vector<std::string>{texts::SerialClosed(), texts::Disconnected()}));
}

TEST_F(StopTest, BytesTheServerHasNotTakenLeaveBeforeTheSocketCloses) {
  Up();
  net.socket.mode = Mode::Limited;
  net.socket.room = 0;
  serial.Deliver("in flight");
  ASSERT_EQ(core->QueuedForSocket(), 9u);
  StopWithin(10s);
  PumpUntil([] { return false; }, 40ms);
  EXPECT_EQ(stopped, 0);
  net.RoomAgain(100);
  ASSERT_TRUE(PumpUntil([&] { return stopped == 1; }, 5s));
  EXPECT_EQ(net.socket.sent, "in flight");
  EXPECT_EQ(view.Count(texts::QueueDropped(9)), 0);
}

TEST_F(StopTest, AtTheBoundWhatIsLeftIsDroppedAndSaid) {
  Up();
  serial.pending = 77;
  net.socket.mode = Mode::Limited;
  net.socket.room = 0;
  serial.Deliver("stuck");
  StopWithin(50ms);
  ASSERT_TRUE(PumpUntil([&] { return stopped == 1; }, 5s));
  EXPECT_EQ(view.Count(texts::SerialUnsent(77)), 1);
  EXPECT_EQ(view.Count(texts::QueueDropped(5)), 1);
  // Nor does the close wait beyond the bound for what the driver holds.
  ASSERT_TRUE(serial.closeDrain.has_value());
  EXPECT_LE(*serial.closeDrain, 50ms);
  EXPECT_FALSE(serial.open);
  EXPECT_FALSE(net.active);
}

TEST_F(StopTest, NetworkBytesHeldBackForTheLineAreCountedWithItsQueue) {
  Up();
  serial.pending = relay::TRelayCore::SerialHighWater;
  net.ServerSends("held in the socket");
  ASSERT_TRUE(core->NetworkReadsHeld());
  const int reads = net.socket.receiveCalls;
  StopWithin(50ms);
  ASSERT_TRUE(PumpUntil([&] { return stopped == 1; }, 5s));
  // Left in the socket to go with the connection, not read only to be shown as dropped.
  EXPECT_EQ(net.socket.receiveCalls, reads);
  EXPECT_EQ(view.Count(texts::SerialUnsent(relay::TRelayCore::SerialHighWater + 18)), 1);
  EXPECT_FALSE(net.active);
}

TEST_F(CoreTest, EveryCloseSaysWhatTheLineNeverGot) {
  core->UnbindEvents();
  Make(Fast(false));
  core->SetSerialOpen(true);
  // Closed by the operator, or for a settings change: the close line, then what was dropped.
  serial.pending = 40;
  core->SetSerialOpen(false);
  EXPECT_EQ(view.Since(view.lines.size() - 2),
            (std::vector<std::string>{texts::SerialClosed(), texts::SerialUnsent(40)}));
  core->SetSerialOpen(true);
  serial.pending = 7;
  core->ChangeSerialSettings([] {});
  EXPECT_EQ(view.Count(texts::SerialUnsent(7)), 1);
  EXPECT_TRUE(serial.open);
  // The device lost under the open port, with a write that failed, and a block the port no
  // longer took before its hang-up notice came.
  serial.unsent = 5;
  serial.refuseWrites = true;
  core->SocketDataArrived("four");
  serial.Hangup();
  EXPECT_EQ(view.Since(view.lines.size() - 2),
            (std::vector<std::string>{texts::SerialFailed(), texts::SerialUnsent(9)}));
  EXPECT_FALSE(serial.closeDrain.has_value()) << "only a stop bounds the drain";
  // Nothing dropped, nothing said.
  core->SetSerialOpen(true);
  const std::size_t before = view.lines.size();
  core->SetSerialOpen(false);
  EXPECT_EQ(view.Since(before), std::vector<std::string>{texts::SerialClosed()});
}

TEST_F(StopTest, AStopEndsRetriesAndTheWaitForADevice) {
  serial.commName = "/dev/null";
  core->KeepSerialOpen();
  serial.Hangup();
  core->KeepConnected("127.0.0.1", 8887);
  net.RefuseConnect(10061);
  ASSERT_TRUE(core->Reconnecting());
  ASSERT_TRUE(core->WaitingForDevice());
  StopWithin(5s);
  EXPECT_EQ(stopped, 1);  // nothing queued: at once
  EXPECT_FALSE(core->Reconnecting());
  EXPECT_FALSE(core->WaitingForDevice());
  PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(net.connectAttempts, 1);
  EXPECT_FALSE(serial.open);
}

TEST_F(CoreTest, TheViewHearsOfBlocksStatesAndCounters) {
  core->KeepSerialOpen();
  core->KeepConnected("127.0.0.1", 8887);
  net.CompleteConnect();
  EXPECT_EQ(view.serialShown, std::vector<bool>{true});
  EXPECT_EQ(view.networkShown, std::vector<bool>{true});
  serial.Deliver("ab");
  EXPECT_EQ(view.lines.back().kind, relay::TLineKind::FromSerial);
  EXPECT_EQ(Last(), texts::SerialToNet() + "(2):ab");
  EXPECT_EQ(view.toSocket, 2);
  view.showHex = true;
  net.ServerSends("xyz");
  EXPECT_EQ(view.lines.back().kind, relay::TLineKind::FromNetwork);
  EXPECT_EQ(Last(), texts::NetToSerial() + "(3):78 79 7A ");
  EXPECT_EQ(view.toSerial, 3);
  view.showData = false;
  const std::size_t lines = view.lines.size();
  serial.Deliver("cd");
  EXPECT_EQ(view.lines.size(), lines);
  EXPECT_EQ(view.toSocket, 4);
  EXPECT_EQ(net.socket.sent, "abcd");
  EXPECT_EQ(view.lines.front().kind, relay::TLineKind::System);
}
