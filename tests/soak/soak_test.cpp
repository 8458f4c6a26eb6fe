#include <gtest/gtest.h>

#include <QThreadPool>
#include <chrono>
#include <thread>
#include <utility>

#include "main/consoleparts.h"
#include "main/formmain.h"
#include "relay/texts.h"
#include "tests/soak/pump.h"
#include "tests/support/process.h"

namespace {

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    pty = std::make_unique<TPseudoTerminal>();
    server = std::make_unique<loopback::TServer>();
    form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({pty->Path()})));
    form->VwCheckBoxDisplay->SetChecked(false);
    form->VwSEditTimeOut->SetValue(1);
    form->VwCbBoxPortChange(form->VwSEditTimeOut);  // opens with the new time-out
    ASSERT_TRUE(form->SerialOpen());
    ConnectAgain();
  }
  void TearDown() override { form.reset(); }

  void ConnectAgain() {
    form->VwNumEdit->SetValue(server->Port());
    form->VwBtnConnectClick(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return server->AcceptPending() && form->ClientSocket->Active(); }));
  }
  bool Logged(const char* utf8) {
    for (std::size_t i = 0; i < form->VwRichEdit->LineCount(); ++i)
      if (form->VwRichEdit->LineText(i).mid(14) == QString::fromUtf8(utf8)) return true;
    return false;
  }
  bool LoggedContaining(const char* utf8) {
    for (std::size_t i = 0; i < form->VwRichEdit->LineCount(); ++i)
      if (form->VwRichEdit->LineText(i).contains(QString::fromUtf8(utf8))) return true;
    return false;
  }
  std::unique_ptr<TPseudoTerminal> pty;
  std::unique_ptr<loopback::TServer> server;
  std::unique_ptr<TFormMain> form;
};

}  // namespace

TEST_F(Soak, BothDirectionsAtOnceLoseNothing) {
  const std::size_t n = soak::SoakBytes();
  const std::string up = soak::RandomBytes(n, 11), down = soak::RandomBytes(n, 12);
  soak::Pump pump{*pty, *server, soak::Stream{&up}, soak::Stream{&down}};
  const std::size_t before = ResidentBytes();
  ASSERT_TRUE(pump.Run(std::chrono::seconds(600)));
  EXPECT_TRUE(pump.up.Complete());
  EXPECT_TRUE(pump.down.Complete());
  EXPECT_EQ(form->BytesToSocket(), std::int64_t(n));
  EXPECT_EQ(form->BytesToSerial(), std::int64_t(n));
  // Memory stays bounded whatever the volume: the two streams themselves are held by the test.
  if (soak::kResidentIsMeaningful) {
    EXPECT_LT(pump.maxResident, before + (200u << 20))
        << "resident grew from " << before << " to " << pump.maxResident;
  }
}

TEST_F(Soak, DisplayOnInHexKeepsUpAndStaysBounded) {
  form->VwCheckBoxDisplay->SetChecked(true);
  const std::size_t n = std::min<std::size_t>(soak::SoakBytes(), 8u << 20);
  const std::string up = soak::RandomBytes(n, 21), down = soak::RandomBytes(n, 22);
  soak::Pump pump{*pty, *server, soak::Stream{&up}, soak::Stream{&down}};
  ASSERT_TRUE(pump.Run(std::chrono::seconds(600)));
  EXPECT_TRUE(pump.up.Complete());
  EXPECT_TRUE(pump.down.Complete());
  EXPECT_LE(form->VwRichEdit->LineCount(), TLogView::MaxLines);
}

TEST_F(Soak, ServerStopsReadingAndTheSendQueueHoldsThenDrains) {
  const std::size_t n = std::max<std::size_t>(soak::SoakBytes(), 16u << 20);
  const std::string up = soak::RandomBytes(n, 31), none;
  soak::Pump pump{*pty, *server, soak::Stream{&up}, soak::Stream{&none}};
  // The server reads nothing for 10 s while the device keeps sending: less than the send
  // queue's bound (at the bound the console disconnects, tested with the doubles).
  const std::size_t duringStall = std::min<std::size_t>(n, 24u << 20);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    if (pump.up.sent < duringStall)
      pump.up.sent +=
          pty->WriteSome(up.data() + pump.up.sent, std::min<std::size_t>(65536, duringStall - pump.up.sent));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  EXPECT_TRUE(form->ClientSocket->Active());
  EXPECT_GT(form->QueuedForSocket(), 0u) << "the socket buffers should have filled";
  ASSERT_TRUE(pump.Run(std::chrono::seconds(300)));
  EXPECT_TRUE(pump.up.Complete());
  EXPECT_EQ(form->QueuedForSocket(), 0u);
}

TEST_F(Soak, FloodingServerIntoASlowLineKeepsMemoryBounded) {
  const std::size_t n = std::max<std::size_t>(soak::SoakBytes(), 16u << 20);
  const std::string flood = soak::RandomBytes(n, 41);
  soak::Stream line(&flood);
  std::size_t maxPending = 0;
  bool held = false;
  const std::size_t before = ResidentBytes();
  std::size_t maxResident = before;
  // The line drains 64 KiB every 20 ms (3 MB/s); the server offers as fast as loopback takes it.
  auto last = std::chrono::steady_clock::now();
  const auto end = last + std::chrono::seconds(300);
  while (!line.Done() && std::chrono::steady_clock::now() < end) {
    if (line.sent < n)
      line.sent += server->SendSome(flood.data() + line.sent, std::min<std::size_t>(1 << 20, n - line.sent));
    const auto now = std::chrono::steady_clock::now();
    if (now - last >= std::chrono::milliseconds(20)) {
      std::string chunk;
      for (int i = 0; i < 16; ++i) pty->ReadUpTo(chunk, 4096);
      line.Take(chunk);
      last = now;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    held = held || form->NetworkReadsHeld();
    maxPending = std::max(maxPending, form->Comm->PendingWriteBytes());
    maxResident = std::max(maxResident, ResidentBytes());
  }
  EXPECT_TRUE(line.Complete()) << line.received << " of " << n << " bytes, intact " << line.intact;
  EXPECT_TRUE(held) << "the console never held network reads back";
  // Bounded by the mark plus what one read of the socket can hold, whatever the volume.
  const std::size_t oneRead = soak::TcpReceiveBufferMax();
  EXPECT_LE(maxPending, TFormMain::SerialHighWater + oneRead + (1u << 20))
      << "transmit queue grew past the high mark";
  if (soak::kResidentIsMeaningful) {
    EXPECT_LT(maxResident, before + 3 * oneRead + (64u << 20));
  }
}

TEST_F(Soak, FaultsDuringTrafficAreLoggedAndTheOperatorCanRecover) {
  const std::string up = soak::RandomBytes(1 << 20, 51), down = soak::RandomBytes(1 << 20, 52);
  {
    soak::Pump pump{*pty, *server, soak::Stream{&up}, soak::Stream{&down}};
    ASSERT_TRUE(pump.Run(std::chrono::seconds(60)));
  }
  // The server closes in order.
  server->Close();
  ASSERT_TRUE(PumpUntil([&] { return !form->ClientSocket->Active(); }));
  EXPECT_TRUE(Logged("系统：已从服务器断开"));
  ConnectAgain();
  // The server resets: an error line; the next send finds the connection gone.
  const std::size_t linesBefore = form->VwRichEdit->LineCount();
  server->Reset();
  ASSERT_TRUE(PumpUntil([&] { return form->VwRichEdit->LineCount() > linesBefore; }));
  // The block must be read before the next connect, or it would rightly go to the new connection.
  form->VwCheckBoxDisplay->SetChecked(true);
  pty->Write("after reset");
  ASSERT_TRUE(PumpUntil([&] { return !form->ClientSocket->Active(); }, std::chrono::seconds(20)));
  ASSERT_TRUE(PumpUntil([&] { return LoggedContaining("(11):"); }));
  form->VwCheckBoxDisplay->SetChecked(false);
  ConnectAgain();
  // The device goes away and a new one is opened.
  pty->CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !form->SerialOpen(); }));
  EXPECT_TRUE(Logged("系统：无法操作串口"));
  pty = std::make_unique<TPseudoTerminal>();
  form->VwCbBoxPort->SetItems({pty->Path()});
  form->VwCbBoxPort->SetItemIndex(0);
  form->VwCbBoxPortChange(form->VwCbBoxPort);
  ASSERT_TRUE(form->SerialOpen());
  soak::Pump pump{*pty, *server, soak::Stream{&up}, soak::Stream{&down}};
  ASSERT_TRUE(pump.Run(std::chrono::seconds(60)));
  EXPECT_TRUE(pump.up.Complete());
  EXPECT_TRUE(pump.down.Complete());
}

TEST_F(Soak, ThousandCyclesLeaveNoDescriptorOrMemoryBehind) {
  const std::string block = soak::RandomBytes(512, 61);
  auto cycle = [&](int i) {
    // Traffic both ways, then drop the connection and the port and bring them back.
    std::string got;
    pty->Write(block);
    ASSERT_TRUE(PumpUntil([&] {
      server->ReadAvailable(got);
      return got.size() >= block.size();
    })) << "cycle "
        << i;
    form->VwBtnConnectClick(nullptr);  // disconnect
    server->Close();
    form->VwBtnOpenCloseClick(nullptr);  // close
    form->VwBtnOpenCloseClick(nullptr);  // open
    ASSERT_TRUE(form->SerialOpen()) << "cycle " << i;
    ConnectAgain();
  };
  for (int i = 0; i < 20; ++i) cycle(i);  // warm up caches and pools
  form->VwBtnClearClick(nullptr);
  // Qt's pool threads (each with its event dispatcher's descriptor) come with painting and go
  // after 30 s idle: all of them are started now and kept, so only the console's own count.
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);
  for (int i = 0; i < pool->maxThreadCount(); ++i)
    pool->start([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
  pool->waitForDone();
  // The last reconnect's descriptors in flight (two, either way round) come and go: the count is
  // taken once it holds still, and the end may take a while to come down to it.
  std::size_t fds = CountOpenDescriptors();
  PumpUntil([&] {
    PumpFor(std::chrono::milliseconds(50));
    const std::size_t now = std::exchange(fds, CountOpenDescriptors());
    return now == fds;
  });
  const std::size_t resident = ResidentBytes();
  for (int i = 0; i < 1000; ++i) {
    cycle(i);
    if (HasFatalFailure()) return;
    if (i % 100 == 0) form->VwBtnClearClick(nullptr);
  }
  form->VwBtnClearClick(nullptr);
  EXPECT_TRUE(PumpUntil([&] { return CountOpenDescriptors() <= fds; }, std::chrono::seconds(5)))
      << CountOpenDescriptors() << " descriptors open, " << fds << " before the cycles";
  if (soak::kResidentIsMeaningful) {
    EXPECT_LT(ResidentBytes(), resident + (16u << 20));
  }
}
