#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/winsock/resolver.h"
#include "tests/e2e/relaywindow.h"

TEST_F(RelayWindow, OneMebibyteEachWayArrivesExactlyAndIsCountedAndLogged) {
  OpenPort();
  Connect();
  const std::string up = RandomBytes(1 << 20, 1);
  const std::string down = RandomBytes(1 << 20, 2);
  EXPECT_EQ(SerialToServer(up), up);
  EXPECT_EQ(ServerToSerial(down), down);
  EXPECT_EQ(form->BytesToSocket(), 1 << 20);
  EXPECT_EQ(form->BytesToSerial(), 1 << 20);
  EXPECT_EQ(form->VwLabelSendSocket->Caption(), "1048576" + texts::Bytes());
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "1048576" + texts::Bytes());

  // Every data line names its direction and length, in its colour; lengths add up.
  std::int64_t green = 0, blue = 0;
  for (std::size_t i = 0; i < Lines(); ++i) {
    const QString body = Body(i);
    const TColor color = form->VwRichEdit->LineColor(i);
    const int open = body.indexOf('('), close = body.indexOf("):");
    if (open < 0 || close < 0) continue;
    const std::int64_t n = body.mid(open + 1, close - open - 1).toLongLong();
    if (body.startsWith(Q("串口->网络"))) {
      EXPECT_EQ(color, clGreen);
      EXPECT_LE(n, 4096);
      EXPECT_EQ(body.size() - close - 2, n * 3);  // hex: three characters a byte
      green += n;
    } else if (body.startsWith(Q("网络->串口"))) {
      EXPECT_EQ(color, clBlue);
      blue += n;
    }
  }
  EXPECT_EQ(green, 1 << 20);
  EXPECT_EQ(blue, 1 << 20);
}

TEST_F(RelayWindow, TextModeAndDisplayOff) {
  OpenPort();
  Connect();
  form->VwCheckBoxHex->SetChecked(false);
  EXPECT_EQ(SerialToServer("hello"), "hello");
  EXPECT_EQ(LastBody(), Q("串口->网络(5):hello"));
  form->VwCheckBoxDisplay->SetChecked(false);
  const std::size_t before = Lines();
  const std::string bytes = RandomBytes(100000, 3);
  EXPECT_EQ(ServerToSerial(bytes), bytes);
  EXPECT_EQ(SerialToServer(bytes), bytes);
  EXPECT_EQ(Lines(), before);
  EXPECT_EQ(form->BytesToSerial(), 100000);
}

TEST_F(RelayWindow, SettingsChangeReopensWithTheNewSettings) {
  OpenPort();
  form->VwCbBoxBand->SetItemIndex(12);  // 256000
  form->VwCbBoxPortChange(form->VwCbBoxBand);
  EXPECT_EQ(Body(Lines() - 2), Q("系统：成功关闭串口"));
  EXPECT_EQ(LastBody(), Q("系统：成功打开串口"));
  EXPECT_EQ(form->Comm->BaudRate(), 256000u);
  Connect();
  EXPECT_EQ(SerialToServer("after"), "after");
}

TEST_F(RelayWindow, PortHeldElsewhereFailsAndNetworkBlocksAreOnlyLogged) {
  const int holder = ::open(pty->Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  Click(form->VwBtnOpenClose);
  EXPECT_FALSE(form->SerialOpen());
  EXPECT_EQ(Body(Lines() - 2), Q("系统：无法操作串口"));
  // The cause follows, naming the holder (this process, through its own descriptor).
  EXPECT_EQ(LastBody(), Q("端口被进程 %1 占用").arg(::getpid()));
  EXPECT_EQ(form->VwRichEdit->LineColor(Lines() - 1), clRed);
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  Connect();
  form->VwCheckBoxHex->SetChecked(false);
  server->Send("net");
  ASSERT_TRUE(PumpUntil([&] { return LastBody() == Q("网络收到(3):net"); }));
  std::string got;
  pty->ReadAvailable(got);
  EXPECT_EQ(got, "");
  EXPECT_EQ(form->BytesToSerial(), 0);
  ::close(holder);
  OpenPort();
}

TEST_F(RelayWindow, LostDeviceClosesThePortAndSaysSo) {
  OpenPort();
  Connect();
  EXPECT_EQ(SerialToServer("before"), "before");
  pty->CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !form->SerialOpen(); }));
  EXPECT_EQ(LastBody(), Q("系统：无法操作串口"));
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Open());
  // Network blocks are now only logged, and the operator can open a new device.
  form->VwCheckBoxHex->SetChecked(false);
  server->Send("late");
  ASSERT_TRUE(PumpUntil([&] { return LastBody() == Q("网络收到(4):late"); }));
  TPseudoTerminal second;
  form->VwCbBoxPort->SetItems({second.Path()});
  form->VwCbBoxPort->SetItemIndex(0);
  form->VwCbBoxPortChange(form->VwCbBoxPort);
  EXPECT_TRUE(form->SerialOpen());
  std::string got;
  second.Write("again");
  ASSERT_TRUE(PumpUntil([&] {
    server->ReadAvailable(got);
    return got.size() >= 5;
  }));
  EXPECT_EQ(got, "again");
}

TEST_F(RelayWindow, RefusedConnectLogsTheReasonAndKeepsTheButton) {
  form->VwNumEdit->SetValue(loopback::RefusingPort());
  Click(form->VwBtnConnect);
  ASSERT_TRUE(PumpUntil([&] { return Lines() >= 1; }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(LastBody().startsWith(Q("系统：")));
  EXPECT_GT(LastBody().size(), 3);  // the system's text for a refused connection
  EXPECT_FALSE(LastBody().endsWith('.'));
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
  EXPECT_EQ(form->LEDConnect->BrushColor(), clSilver);
  EXPECT_FALSE(Logged("系统：已从服务器断开"));
  // The next click tries again.
  form->VwNumEdit->SetValue(server->Port());
  Click(form->VwBtnConnect);
  EXPECT_TRUE(PumpUntil([&] { return form->ClientSocket->Active(); }));
}

TEST_F(RelayWindow, UnresolvableHostLogsTheErrorThenTheDisconnect) {
  auto previous = winsock::ExchangeHostResolver([](const std::string&) {
    winsock::THostAnswer a;
    a.error = 11001;
    return a;
  });
  form->VwEdit->SetText("no-such-host.invalid");
  Click(form->VwBtnConnect);
  const bool done = PumpUntil([&] { return Logged("系统：已从服务器断开"); });
  winsock::ExchangeHostResolver(previous);
  ASSERT_TRUE(done);
  EXPECT_TRUE(Body(Lines() - 2).startsWith(Q("系统：")));
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
}

TEST_F(RelayWindow, ChangedPortWhileConnectedIsRefusedAndTheConnectionStays) {
  Connect();
  form->VwNumEdit->SetValue(server->Port() == 1 ? 2 : 1);
  Click(form->VwBtnConnect);
  EXPECT_EQ(LastBody(), Q("系统：无法连接到服务器"));
  EXPECT_TRUE(form->ClientSocket->Active());
  form->VwNumEdit->SetValue(server->Port());
  Click(form->VwBtnConnect);
  EXPECT_FALSE(form->ClientSocket->Active());
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
}

TEST_F(RelayWindow, ServerCloseAndResetAreLogged) {
  Connect();
  server->Close();
  ASSERT_TRUE(PumpUntil([&] { return !form->ClientSocket->Active(); }));
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
  Connect();
  server->Reset();
  // A reset comes with the close notification: an error line, and the state stays until a send fails.
  ASSERT_TRUE(PumpUntil([&] { return Lines() > 0 && LastBody() != Q("系统：已连接到服务器"); }));
  EXPECT_TRUE(LastBody().startsWith(Q("系统：")));
}

TEST_F(RelayWindow, ClosingTheWindowWhileConnectedLogsTheDisconnect) {
  OpenPort();
  Connect();
  form->close();
  EXPECT_FALSE(form->ClientSocket->Active());
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
}
