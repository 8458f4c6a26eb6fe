#include <QCoreApplication>

#include "tests/main/fixture.h"
#include "tests/support/pump.h"

using Mode = doubles::TSocketDouble::Mode;

TEST_F(ConsoleTest, NetworkBlockWithPortOpenIsLoggedCountedAndQueued) {
  OpenPort();
  net->ServerSends("12345");
  EXPECT_EQ(LastBody(), Q("网络->串口(5):31 32 33 34 35 "));
  EXPECT_EQ(LastColor(), clBlue);
  EXPECT_EQ(form->BytesToSerial(), 5);
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "5" + texts::Bytes());
  ASSERT_EQ(serial->written.size(), 1u);
  EXPECT_EQ(serial->written[0], "12345");

  form->VwCheckBoxHex->SetChecked(false);
  net->ServerSends("12345");
  EXPECT_EQ(LastBody(), Q("网络->串口(5):12345"));
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "10" + texts::Bytes());
}

TEST_F(ConsoleTest, NetworkBlockWithPortClosedIsOnlyLogged) {
  net->ServerSends("xyz");
  EXPECT_TRUE(LastBody().startsWith(Q("网络收到(3):")));
  EXPECT_EQ(form->BytesToSerial(), 0);
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "0" + texts::Bytes());
  EXPECT_TRUE(serial->written.empty());
}

TEST_F(ConsoleTest, SerialBlockDirectionFollowsTheConnection) {
  // Still connecting: logged as received, neither sent nor counted.
  form->VwBtnConnectClick(nullptr);
  serial->Deliver("ab");
  EXPECT_EQ(LastBody(), Q("串口收到(2):61 62 "));
  EXPECT_EQ(LastColor(), clGreen);
  EXPECT_EQ(net->socket.sent, "");
  EXPECT_EQ(form->BytesToSocket(), 0);

  net->CompleteConnect();
  serial->Deliver("ab");
  EXPECT_EQ(LastBody(), Q("串口->网络(2):61 62 "));
  EXPECT_EQ(net->socket.sent, "ab");
  EXPECT_EQ(form->VwLabelSendSocket->Caption(), "2" + texts::Bytes());
}

TEST_F(ConsoleTest, DisplayOffStillCountsAndForwards) {
  OpenPort();
  Connect();
  form->VwCheckBoxDisplay->SetChecked(false);
  const std::size_t before = Lines();
  const std::string withZeros("a\0\0b\0", 5);
  serial->Deliver(withZeros);
  net->ServerSends(withZeros);
  EXPECT_EQ(Lines(), before);
  EXPECT_EQ(net->socket.sent, withZeros);
  ASSERT_EQ(serial->written.size(), 1u);
  EXPECT_EQ(serial->written[0], withZeros);
  EXPECT_EQ(form->BytesToSocket(), 5);
  EXPECT_EQ(form->BytesToSerial(), 5);
  // System lines are still written.
  net->ServerCloses();
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
}

TEST_F(ConsoleTest, ZeroBytesAreForwardedWholeAndCounted) {
  OpenPort();
  Connect();
  form->VwCheckBoxHex->SetChecked(false);
  const std::string block("\0\0\0x", 4);
  serial->Deliver(block);
  EXPECT_EQ(net->socket.sent, block);
  EXPECT_EQ(LastBody(), Q("串口->网络(4):000000x"));
}

TEST_F(ConsoleTest, EmptyNetworkReadLogsZeroLengthAndWritesNothing) {
  OpenPort();
  net->ServerSends("");
  EXPECT_EQ(LastBody(), Q("网络->串口(0):"));
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "0" + texts::Bytes());
  EXPECT_TRUE(serial->written.empty());
}

TEST_F(ConsoleTest, CountersSurviveClearDisconnectAndReopen) {
  OpenPort();
  Connect();
  serial->Deliver("1234");
  net->ServerSends("12");
  form->VwBtnConnectClick(nullptr);    // disconnect
  form->VwBtnOpenCloseClick(nullptr);  // close
  form->VwBtnClearClick(nullptr);
  OpenPort();
  Connect();
  serial->Deliver("5");
  net->ServerSends("3");
  EXPECT_EQ(form->VwLabelSendSocket->Caption(), "5" + texts::Bytes());
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "3" + texts::Bytes());
}

TEST_F(ConsoleTest, CountersGoPastThirtyTwoBits) {
  OpenPort();
  form->VwCheckBoxDisplay->SetChecked(false);
  const std::string big(200000, 'z');
  // 11000 blocks of 200000 bytes: 2 200 000 000 bytes.
  for (int i = 0; i < 11000; ++i) {
    net->ServerSends(big);
    serial->written.clear();
  }
  EXPECT_EQ(form->BytesToSerial(), 2200000000LL);
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "2200000000" + texts::Bytes());
}

TEST_F(ConsoleTest, LongNetworkBlockReachesTheSerialPortInPieces) {
  OpenPort();
  form->VwCheckBoxDisplay->SetChecked(false);
  std::string block(150000, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = char(i * 7 + i / 256);
  net->ServerSends(block);
  ASSERT_EQ(serial->written.size(), 3u);
  EXPECT_EQ(serial->written[0].size(), 65535u);
  EXPECT_EQ(serial->written[1].size(), 65535u);
  EXPECT_EQ(serial->written[2].size(), 150000u - 2 * 65535u);
  EXPECT_EQ(serial->written[0] + serial->written[1] + serial->written[2], block);
  EXPECT_EQ(form->BytesToSerial(), 150000);
}

TEST_F(ConsoleTest, WhatTheSocketDidNotTakeIsSentInOrderWhenItHasRoom) {
  Connect();
  form->VwCheckBoxDisplay->SetChecked(false);
  net->socket.mode = Mode::Limited;
  net->socket.room = 3;
  serial->Deliver("abcdef");  // the socket takes "abc"
  // The rest was offered again at once, so the socket would block and will report room.
  EXPECT_EQ(net->socket.wouldBlockCount, 1);
  serial->Deliver("ghi");  // queued behind "def", not offered ahead of it
  serial->Deliver("jk");
  EXPECT_EQ(net->socket.sent, "abc");
  EXPECT_EQ(form->QueuedForSocket(), 8u);
  EXPECT_EQ(form->BytesToSocket(), 11);  // counted once, when handed over

  net->RoomAgain(2);  // takes "de", then would block again
  EXPECT_EQ(net->socket.sent, "abcde");
  EXPECT_EQ(form->QueuedForSocket(), 6u);
  EXPECT_EQ(net->socket.wouldBlockCount, 2);
  serial->Deliver("lm");
  EXPECT_EQ(net->socket.sent, "abcde");
  net->RoomAgain(100);
  EXPECT_EQ(net->socket.sent, "abcdefghijklm");
  EXPECT_EQ(form->QueuedForSocket(), 0u);
  EXPECT_EQ(form->BytesToSocket(), 13);
  // With the queue empty, blocks go straight out again.
  serial->Deliver("no");
  EXPECT_EQ(net->socket.sent, "abcdefghijklmno");
}

TEST_F(ConsoleTest, SendQueueIsEmptiedWhenTheConnectionCloses) {
  Connect();
  net->socket.mode = Mode::Limited;
  serial->Deliver("lost with the connection");
  EXPECT_GT(form->QueuedForSocket(), 0u);
  net->ServerCloses();
  EXPECT_EQ(form->QueuedForSocket(), 0u);
  net->socket.mode = Mode::TakeAll;
  net->socket.sent.clear();
  Connect();
  serial->Deliver("fresh");
  EXPECT_EQ(net->socket.sent, "fresh");
}

TEST_F(ConsoleTest, FailedSendClosesAndQueuesNothing) {
  Connect();
  net->socket.mode = Mode::Fail;
  serial->Deliver("boom");
  EXPECT_FALSE(net->Active());
  EXPECT_EQ(form->QueuedForSocket(), 0u);
  // The block's line, written after the send, still comes before what the failed send caused;
  // the block never went, and was never queued, so it is said on its own.
  EXPECT_EQ(Body(Lines() - 4), Q("串口->网络(4):62 6F 6F 6D "));
  EXPECT_TRUE(Body(Lines() - 3).startsWith(Q("系统：")));
  EXPECT_EQ(Body(Lines() - 2), Q("系统：已从服务器断开"));
  EXPECT_EQ(LastBody(), Q("系统：发送队列中未发出的4字节已丢弃"));
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
}

TEST_F(ConsoleTest, SendQueueAtItsBoundDisconnectsAndSaysSo) {
  Connect();
  form->VwCheckBoxDisplay->SetChecked(false);
  net->socket.mode = Mode::Limited;
  const std::string block(4096, 'q');
  const std::size_t fit = TSendQueue::DefaultLimit / block.size();
  for (std::size_t i = 0; i < fit; ++i) serial->Deliver(block);
  EXPECT_TRUE(net->Active());
  EXPECT_EQ(form->QueuedForSocket(), TSendQueue::DefaultLimit);
  serial->Deliver(block);
  EXPECT_FALSE(net->Active());
  EXPECT_EQ(form->QueuedForSocket(), 0u);
  EXPECT_EQ(Body(Lines() - 3), Q("系统：发送队列已满，断开服务器"));
  EXPECT_EQ(Body(Lines() - 2), Q("系统：已从服务器断开"));
  // Every byte that never left, the refused block with them.
  EXPECT_EQ(LastBody(), Q("系统：发送队列中未发出的") +
                            QString::number(TSendQueue::DefaultLimit + block.size()) + Q("字节已丢弃"));
}

TEST_F(ConsoleTest, NetworkReadsWaitWhileTheSerialLineIsFarBehind) {
  OpenPort();
  Connect();
  form->VwCheckBoxDisplay->SetChecked(false);
  serial->pending = TFormMain::SerialHighWater;
  net->ServerSends("held");
  EXPECT_TRUE(form->NetworkReadsHeld());
  EXPECT_EQ(net->socket.inbound, "held");
  EXPECT_TRUE(serial->written.empty());
  // The transmit thread is asked to tell when the line has caught up; nothing looks meanwhile.
  EXPECT_EQ(serial->noticeAt, TFormMain::SerialLowWater);
  const int receives = net->socket.receiveCalls;
  PumpFor(std::chrono::milliseconds(60));
  EXPECT_TRUE(form->NetworkReadsHeld());
  EXPECT_EQ(net->socket.receiveCalls, receives);
  net->ServerSends("+more");  // the platform would not notify again; a double may
  serial->Drained();
  EXPECT_FALSE(form->NetworkReadsHeld());
  ASSERT_EQ(serial->written.size(), 1u);
  EXPECT_EQ(serial->written[0], "held+more");
  EXPECT_EQ(form->BytesToSerial(), 9);
}

TEST_F(ConsoleTest, CounterLabelsShowTheLatestTotalAfterABurst) {
  OpenPort();
  form->VwCheckBoxDisplay->SetChecked(false);
  for (int i = 0; i < 500; ++i) net->ServerSends("abcd");
  // The caption is current at once; the drawn text catches up within one redraw interval.
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "2000" + texts::Bytes());
  EXPECT_TRUE(
      PumpUntil([&] { return form->VwLabelSendSerial->text() == Q("2000字节"); }, std::chrono::seconds(5)));
}
