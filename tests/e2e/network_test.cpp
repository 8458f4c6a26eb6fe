// The network end under failure, driven through the real window: resets with and without queued
// bytes, connects that fail at once or never answer, a port out of range, a server that stops
// answering, and a lookup still running when the window goes.
#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "platform/winsock/errortext.h"
#include "platform/winsock/resolver.h"
#include "platform/winsock/winsock.h"
#include "relay/systemtexts.h"
#include "runtime/exception.h"
#include "tests/e2e/relaywindow.h"
#include "tests/support/netprobes.h"
#include "tests/support/process.h"

using namespace std::chrono_literals;
using netprobe::SilentServer;

namespace {

// Collects what reaches the application's exception display (a message box in the program).
class ShownExceptions {
 public:
  ShownExceptions() : previous_(SetExceptionDisplay([this](const std::string& m) { shown.push_back(m); })) {}
  ~ShownExceptions() { SetExceptionDisplay(previous_); }
  std::vector<std::string> shown;

 private:
  TExceptionDisplay previous_;
};

// Changes the connect time-out for one test.
class ConnectTimeout {
 public:
  explicit ConnectTimeout(std::chrono::milliseconds limit)
      : previous_(winsock::ExchangeConnectTimeout(limit)) {}
  ~ConnectTimeout() { winsock::ExchangeConnectTimeout(previous_); }

 private:
  std::chrono::milliseconds previous_;
};

QString SystemLine(int code) {
  return QString::fromUtf8("系统：") + AnsiToQString(StripSystemText(ConsoleErrorText(code)));
}

}  // namespace

class NetworkWindow : public RelayWindow {
 protected:
  std::size_t IndexOf(const char* utf8) {
    for (std::size_t i = 0; i < Lines(); ++i)
      if (Body(i) == Q(utf8)) return i;
    return Lines();
  }
  bool LoggedLine(const QString& body) {
    for (std::size_t i = 0; i < Lines(); ++i)
      if (Body(i) == body) return true;
    return false;
  }
  void ExpectIdle() {
    EXPECT_FALSE(form->ClientSocket->Active());
    EXPECT_FALSE(form->ClientSocket->Connecting());
    EXPECT_EQ(form->LEDConnect->BrushColor(), clSilver);
    EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
  }
};

TEST_F(NetworkWindow, ResetWithBytesQueuedEndsTheConnectionAndSaysWhatWasDropped) {
  OpenPort();
  Connect();
  // The server reads nothing: the kernel's buffers fill, then the console's queue.
  const std::string chunk = RandomBytes(256 << 10, 4);
  QElapsedTimer timer;
  timer.start();
  while (form->QueuedForSocket() == 0 && timer.elapsed() < 60000) {
    pty->Write(chunk);
    PumpUntil([&] { return form->QueuedForSocket() > 0; }, 50ms);
  }
  ASSERT_GT(form->QueuedForSocket(), 0u);
  server->Reset();
  ASSERT_TRUE(PumpUntil([&] { return !form->ClientSocket->Active(); }));
  ExpectIdle();
  EXPECT_EQ(form->QueuedForSocket(), 0u);
  const std::size_t disconnected = IndexOf("系统：已从服务器断开");
  ASSERT_LT(disconnected, Lines());
  // Right after it, in red, how many queued bytes went with the connection.
  ASSERT_LT(disconnected + 1, Lines());
  const QString dropped = Body(disconnected + 1);
  EXPECT_EQ(form->VwRichEdit->LineColor(disconnected + 1), clRed);
  EXPECT_TRUE(dropped.startsWith(Q("系统：发送队列中未发出的"))) << dropped.toStdString();
  EXPECT_TRUE(dropped.endsWith(Q("字节已丢弃")));
  EXPECT_GT(dropped.mid(12).chopped(5).toLongLong(), 0);

  // The next connection carries new bytes again.
  std::string drain;
  form->VwNumEdit->SetValue(server->Port());
  Click(form->VwBtnConnect);
  ASSERT_TRUE(PumpUntil([&] { return server->AcceptPending() && form->ClientSocket->Active(); }));
  // Serial blocks of the first burst may still be arriving; wait for the marker itself.
  pty->Write("after-reset");
  ASSERT_TRUE(PumpUntil(
      [&] {
        server->ReadAvailable(drain);
        return drain.find("after-reset") != std::string::npos;
      },
      60s));
}

TEST_F(NetworkWindow, ResetWithNothingQueuedCountsNoFurtherBlock) {
  OpenPort();
  Connect();
  form->VwCheckBoxHex->SetChecked(false);
  EXPECT_EQ(SerialToServer("first"), "first");
  server->Reset();
  ASSERT_TRUE(PumpUntil([&] { return !form->ClientSocket->Active(); }));
  EXPECT_TRUE(Logged("系统：已从服务器断开"));
  ExpectIdle();
  const std::int64_t counted = form->BytesToSocket();
  pty->Write("late");
  ASSERT_TRUE(PumpUntil([&] { return LastBody() == Q("串口收到(4):late"); }));
  EXPECT_EQ(form->BytesToSocket(), counted);
  EXPECT_EQ(form->VwLabelSendSocket->Caption(), std::to_string(counted) + texts::Bytes());
}

TEST_F(NetworkWindow, ConnectThatFailsAtOnceIsARedLineNeverAMessageBox) {
  ShownExceptions boxes;
  form->VwEdit->SetText("255.255.255.255");  // no route for the broadcast address
  Click(form->VwBtnConnect);
  ASSERT_TRUE(PumpUntil([&] { return Lines() > 0 && !form->ClientSocket->Connecting(); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front();
  ASSERT_GE(Lines(), 1u);
  EXPECT_TRUE(LastBody().startsWith(Q("系统：")));
  EXPECT_GT(LastBody().size(), 3) << "the system's text for the code";
  EXPECT_EQ(form->VwRichEdit->LineColor(Lines() - 1), clRed);
  ExpectIdle();
  // Nothing is left half-open: the next attempt goes ahead.
  form->VwEdit->SetText("127.0.0.1");
  Connect();
}

TEST_F(NetworkWindow, ClickWhileConnectingCancelsAndACorrectedAddressConnectsAtOnce) {
  SilentServer silent;
  ASSERT_TRUE(silent.Dropping()) << "the loopback listener does not drop SYNs when full";
  form->VwNumEdit->SetValue(silent.Port());
  Click(form->VwBtnConnect);
  ASSERT_TRUE(PumpUntil([&] { return form->ClientSocket->Connecting(); }));
  PumpUntil([] { return false; }, 300ms);
  EXPECT_TRUE(form->ClientSocket->Connecting());
  Click(form->VwBtnConnect);
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
  ExpectIdle();
  Connect();
  EXPECT_EQ(SerialToServer(""), "");
}

TEST_F(NetworkWindow, ClickWhileResolvingCancelsTheLookup) {
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  auto previous = winsock::ExchangeHostResolver([&](const std::string&) {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return release; });
    winsock::THostAnswer a;
    a.addresses = {winsock::inet_addr("127.0.0.1")};
    return a;
  });
  form->VwEdit->SetText("slow.example");
  form->VwNumEdit->SetValue(server->Port());
  Click(form->VwBtnConnect);
  EXPECT_TRUE(form->ClientSocket->Connecting());
  Click(form->VwBtnConnect);
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  PumpUntil([] { return false; }, 300ms);
  winsock::ExchangeHostResolver(previous);
  ExpectIdle();
  EXPECT_FALSE(server->AcceptPending()) << "the abandoned lookup went on to connect";
}

TEST_F(NetworkWindow, AttemptThatNeverCompletesEndsWithTheTimeOutLine) {
  SilentServer silent;
  ASSERT_TRUE(silent.Dropping());
  ConnectTimeout shorter(1s);
  form->VwNumEdit->SetValue(silent.Port());
  Click(form->VwBtnConnect);
  ASSERT_TRUE(PumpUntil([&] { return LastBody() == SystemLine(10060); }, 20s));
  EXPECT_EQ(form->VwRichEdit->LineColor(Lines() - 1), clRed);
  ExpectIdle();
  Connect();
}

TEST_F(NetworkWindow, AttemptTimesOutAfterAboutTenSeconds) {
  SilentServer silent;
  ASSERT_TRUE(silent.Dropping());
  form->VwNumEdit->SetValue(silent.Port());
  QElapsedTimer timer;
  timer.start();
  Click(form->VwBtnConnect);
  ASSERT_TRUE(PumpUntil([&] { return LastBody() == SystemLine(10060); }, 60s));
  EXPECT_GE(timer.elapsed(), 9000);
  EXPECT_LT(timer.elapsed(), 60000);
}

TEST_F(NetworkWindow, PortOutOfRangeIsRefusedAndNamed) {
  for (int port : {99999, 0}) {
    form->VwNumEdit->SetValue(port);
    Click(form->VwBtnConnect);
    EXPECT_FALSE(form->ClientSocket->Connecting()) << port;
    EXPECT_EQ(Body(Lines() - 2), Q("系统：无法连接到服务器"));
    EXPECT_EQ(LastBody(), Q("系统：端口") + QString::number(port) + Q("超出范围(1-65535)"));
    EXPECT_EQ(form->VwRichEdit->LineColor(Lines() - 1), clRed);
  }
  form->VwNumEdit->SetText("");
  Click(form->VwBtnConnect);
  EXPECT_EQ(LastBody(), Q("系统：端口0超出范围(1-65535)"));
  PumpUntil([] { return false; }, 200ms);
  ExpectIdle();
  EXPECT_FALSE(Logged("系统：已连接到服务器"));
}

TEST_F(NetworkWindow, ClientSocketProbesAnIdleServer) {
  Connect();
  const int fd = netprobe::SocketTo(server->Port());
  ASSERT_GE(fd, 0);
  const netprobe::KeepAlive k = netprobe::KeepAliveOf(fd);
  EXPECT_EQ(k.enabled, 1);
  EXPECT_EQ(k.idle, 30);
  EXPECT_EQ(k.interval, 5);
  EXPECT_EQ(k.count, 4);
  EXPECT_EQ(k.userTimeout, 30000);
}

// A server that stops answering, made real: the test runs in a network namespace of its own,
// whose loopback interface it takes down under an open connection.
class DeadServerWindow : public NetworkWindow {
 protected:
  void SetUp() override {
    network = std::make_unique<netprobe::PrivateNetwork>();
    // Root (or CAP_SYS_ADMIN) makes one; a machine that cannot fails here rather than passing unseen.
    ASSERT_TRUE(network->Entered()) << "no network namespace may be made here";
    NetworkWindow::SetUp();
  }
  void TearDown() override {
    NetworkWindow::TearDown();
    network.reset();
  }

  std::unique_ptr<netprobe::PrivateNetwork> network;
};

TEST_F(DeadServerWindow, IsReportedAsALostConnectionAndEndsIt) {
  Connect();
  const int fd = netprobe::SocketTo(server->Port());
  ASSERT_GE(fd, 0);
  // The console's own limits (30 s and more) shortened for the test; the path is the same.
  ASSERT_TRUE(netprobe::ShortenDeadPeerTimes(fd));
  ASSERT_TRUE(network->Loopback(false));
  ASSERT_TRUE(PumpUntil([&] { return !form->ClientSocket->Active(); }, 30s));
  EXPECT_TRUE(LoggedLine(SystemLine(10052)));
  EXPECT_FALSE(LoggedLine(SystemLine(10060))) << "the text of a failed connect attempt";
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
  ExpectIdle();
}

TEST_F(NetworkWindow, WindowGoneDuringALookupIsNeverWrittenTo) {
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  std::atomic<bool> answered{false};
  auto previous = winsock::ExchangeHostResolver([&](const std::string&) {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return release; });
    answered = true;
    winsock::THostAnswer a;
    a.addresses = {winsock::inet_addr("127.0.0.1")};
    return a;
  });
  form->VwEdit->SetText("slow.example");
  Click(form->VwBtnConnect);
  form.reset();
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  EXPECT_TRUE(PumpUntil([&] { return answered.load(); }));
  PumpUntil([] { return false; }, 300ms);  // a late answer would land now
  winsock::ExchangeHostResolver(previous);
}

TEST(NetworkProgram, EndsAtOnceWhileALookupIsStillRunning) {
  // Its resolver takes 120 s; waiting for it is the fault.
  const int status =
      RunWithin(QCoreApplication::applicationDirPath().toStdString() + "/lookup_exit_probe", 60s);
  EXPECT_NE(status, -1) << "still running after 60 s";
  EXPECT_EQ(status, 0);
}
