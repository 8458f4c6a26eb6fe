// Reconnecting after a refused attempt or a lost connection: the back-off ladder, what ends it,
// and that it stays off unless asked for.
#include "tests/relay/corefixture.h"
#include "tests/support/pump.h"

using namespace std::chrono_literals;

TEST(Backoff, DoublesFromTheFirstWaitUpToTheCeilingAndStartsOverOnReset) {
  relay::TBackoff b(1000ms, 30000ms);
  std::vector<long long> waits;
  for (int i = 0; i < 8; ++i) waits.push_back(b.Next().count());
  EXPECT_EQ(waits, (std::vector<long long>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
  EXPECT_EQ(b.Attempts(), 8);
  b.Reset();
  EXPECT_EQ(b.Next().count(), 1000);
  EXPECT_EQ(b.Attempts(), 1);
}

TEST(RetryText, SaysTheWaitInSecondsAndCountsTheAttempt) {
  EXPECT_EQ(texts::RetryIn(30000, 7), Ansi("系统：30秒后第7次重新连接服务器"));
  EXPECT_EQ(texts::RetryIn(1500, 1), Ansi("系统：1.5秒后第1次重新连接服务器"));
  EXPECT_EQ(texts::RetryIn(10, 2), Ansi("系统：0.01秒后第2次重新连接服务器"));
}

TEST_F(CoreTest, RefusedAttemptsAreRetriedWithGrowingWaitsEachLogged) {
  core->KeepConnected("127.0.0.1", 8887);
  ASSERT_EQ(net.connectAttempts, 1);
  // Every attempt is refused until the sixth.
  std::vector<std::string> retries;
  for (int attempt = 1; attempt <= 5; ++attempt) {
    ASSERT_TRUE(net.connecting);
    EXPECT_EQ(net.RefuseConnect(10061), 0);
    retries.push_back(Last());
    ASSERT_TRUE(PumpUntil([&] { return net.connectAttempts == attempt + 1; }, 5s));
  }
  EXPECT_EQ(retries,
            (std::vector<std::string>{texts::RetryIn(10, 1), texts::RetryIn(20, 2), texts::RetryIn(40, 3),
                                      texts::RetryIn(80, 4), texts::RetryIn(80, 5)}));
  EXPECT_EQ(view.Count(A("系统：Connection refused")), 5);
  net.CompleteConnect();
  EXPECT_EQ(Last(), texts::Connected());
  // A loss once the connection has held as long as the longest wait starts from the first again.
  PumpFor(120ms);
  net.ServerCloses();
  EXPECT_EQ(Last(), texts::RetryIn(10, 1));
  ASSERT_TRUE(PumpUntil([&] { return net.connecting; }, 5s));
  EXPECT_EQ(net.connectAttempts, 7);
}

TEST_F(CoreTest, AServerThatDropsEachConnectionAtOnceIsNotHammered) {
  core->KeepConnected("127.0.0.1", 8887);
  std::vector<std::string> retries;
  for (int attempt = 1; attempt <= 4; ++attempt) {
    ASSERT_TRUE(PumpUntil([&] { return net.connecting; }, 5s));
    net.CompleteConnect();
    net.ServerCloses();
    retries.push_back(Last());
  }
  EXPECT_EQ(retries, (std::vector<std::string>{texts::RetryIn(10, 1), texts::RetryIn(20, 2),
                                               texts::RetryIn(40, 3), texts::RetryIn(80, 4)}));
}

TEST_F(CoreTest, AFailedLookupIsRetriedOnceNotOncePerEvent) {
  core->KeepConnected("no.such.host", 8887);
  const std::size_t from = view.lines.size();
  net.FailLookup(11001);  // error, then disconnect
  // The retry is said after the disconnect it follows.
  const auto said = view.Since(from);
  ASSERT_GE(said.size(), 3u);
  EXPECT_EQ(said[said.size() - 2], texts::Disconnected());
  EXPECT_EQ(said.back(), texts::RetryIn(10, 1));
  EXPECT_EQ(view.Count(texts::RetryIn(10, 1)), 1);
  EXPECT_EQ(view.Count(texts::RetryIn(20, 2)), 0);
  ASSERT_TRUE(PumpUntil([&] { return net.connectAttempts == 2; }, 5s));
}

TEST_F(CoreTest, AFailedLookupThatNoDisconnectFollowsIsRetriedAllTheSame) {
  core->KeepConnected("no.such.host", 8887);
  net.connecting = false;
  int code = 11001;
  net.OnError(&net, &net.socket, endpoint::TErrorEvent::eeLookup, code);
  ASSERT_TRUE(PumpUntil([&] { return net.connectAttempts == 2; }, 5s));
  EXPECT_EQ(view.Count(texts::RetryIn(10, 1)), 1);
}

TEST_F(CoreTest, TheOperatorsClickEndsRetriesAtOnce) {
  core->ConnectClick(8887, "127.0.0.1");
  net.RefuseConnect(10061);
  ASSERT_TRUE(core->Reconnecting());
  // Clicked while waiting: no further attempt.
  core->ConnectClick(8887, "127.0.0.1");
  EXPECT_FALSE(core->Reconnecting());
  EXPECT_EQ(Last(), texts::RetriesStopped());
  PumpUntil([] { return false; }, 150ms);
  EXPECT_EQ(net.connectAttempts, 1);

  // Clicked while a retry's connect is under way: that attempt is given up too.
  core->ConnectClick(8887, "127.0.0.1");
  net.RefuseConnect(10061);
  ASSERT_TRUE(PumpUntil([&] { return net.connecting; }, 5s));
  core->ConnectClick(8887, "127.0.0.1");
  EXPECT_FALSE(net.connecting);
  EXPECT_EQ(view.Since(view.lines.size() - 2),
            (std::vector<std::string>{texts::RetriesStopped(), texts::Disconnected()}));
  PumpUntil([] { return false; }, 150ms);
  EXPECT_EQ(net.connectAttempts, 3);
}

TEST_F(CoreTest, DisconnectingByHandIsNotALoss) {
  core->ConnectClick(8887, "127.0.0.1");
  net.CompleteConnect();
  core->ConnectClick(8887, "127.0.0.1");
  EXPECT_EQ(Last(), texts::Disconnected());
  PumpUntil([] { return false; }, 100ms);
  EXPECT_FALSE(core->Reconnecting());
  EXPECT_EQ(net.connectAttempts, 1);
}

TEST_F(CoreTest, WithoutReconnectALossStaysALoss) {
  Make(Fast(false));
  core->KeepConnected("127.0.0.1", 8887);
  net.RefuseConnect(10061);
  net.SetActive(true);
  net.CompleteConnect();
  net.ServerCloses();
  PumpUntil([] { return false; }, 100ms);
  EXPECT_FALSE(core->Reconnecting());
  EXPECT_EQ(net.connectAttempts, 2);
  EXPECT_EQ(Last(), texts::Disconnected());
}

TEST_F(CoreTest, TurningReconnectOffEndsAWaitUnderWay) {
  core->KeepConnected("127.0.0.1", 8887);
  net.RefuseConnect(10061);
  ASSERT_TRUE(core->Reconnecting());
  core->SetRecovery(Fast(false));
  EXPECT_FALSE(core->Reconnecting());
  PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(net.connectAttempts, 1);
}
