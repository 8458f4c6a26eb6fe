// The service end to end: the real program between a pseudo-terminal and a TCP server on
// 127.0.0.1, through losses of either end, stopped by signals; and the refusals of bad settings.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <random>
#include <regex>

#include "tests/service/serviceprocess.h"
#include "tests/support/loopback.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"
#include "tests/support/relayends.h"

using namespace std::chrono_literals;

namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(gen() & 0xFF);
  for (std::size_t i = 0; i < n; i += 997) s[i] = '\0';
  return s;
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pty = std::make_unique<TPseudoTerminal>();
    server = std::make_unique<loopback::TServer>();
  }
  std::vector<std::string> Args(const std::string& device, std::vector<std::string> extra = {}) {
    std::vector<std::string> a{"--device", device, "--server", "127.0.0.1:" + std::to_string(server->Port())};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  }
  // Started, its port open and its connection accepted.
  void Start(std::vector<std::string> args, const std::string& program = COMRELAY_HEADLESS) {
    relay = std::make_unique<TServiceProcess>(args, program);
    ASSERT_TRUE(relay->WaitForOutput("系统：成功打开串口", 20s)) << relay->Out() << relay->Err();
    ASSERT_TRUE(PumpUntil([&] { return server->AcceptPending(); }, 20s));
    ASSERT_TRUE(relay->WaitForOutput("系统：已连接到服务器", 20s)) << relay->Out();
  }
  std::string SerialToServer(const std::string& bytes) { return ::SerialToServer(*pty, *server, bytes); }
  std::string ServerToSerial(const std::string& bytes) { return ::ServerToSerial(*server, *pty, bytes); }
  int Terminate() {
    relay->Signal(SIGTERM);
    return relay->Wait(30s);
  }

  std::unique_ptr<TPseudoTerminal> pty;
  std::unique_ptr<loopback::TServer> server;
  std::unique_ptr<TServiceProcess> relay;
};

}  // namespace

TEST_F(ServiceTest, RelaysBothWaysByteExactAndStopsCleanlyOnSigterm) {
  Start(Args(pty->Path(), {"--log", "off"}));
  const std::string up = RandomBytes(200000, 1), down = RandomBytes(200000, 2);
  EXPECT_TRUE(SerialToServer(up) == up);
  EXPECT_TRUE(ServerToSerial(down) == down);
  EXPECT_EQ(Terminate(), 0) << relay->Err();
  EXPECT_EQ(relay->Lines(" counters 发到Socket：200000字节 发到串口：200000字节").size(), 1u) << relay->Out();
  EXPECT_EQ(relay->Lines("系统：成功关闭串口").size(), 1u);
  EXPECT_EQ(relay->Lines("系统：已从服务器断开").size(), 1u);
  EXPECT_TRUE(relay->Lines("网络").empty());  // --log off: no data lines
  std::string rest;
  EXPECT_FALSE(server->ReadAvailable(rest));  // the connection was closed
  // Every line: local ISO 8601 stamp, colour word, text.
  const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d (red|blue|green|counters) .+)");
  for (const auto& l : relay->Lines("")) EXPECT_TRUE(std::regex_match(l, line)) << l;
}

TEST_F(ServiceTest, DataLinesShowTheBlockAsTextOrHex) {
  Start(Args(pty->Path(), {"--headless", "--log", "text"}), COMRELAY_PROGRAM);
  ASSERT_EQ(ServerToSerial(std::string("a\nb", 3)), std::string("a\nb", 3));
  EXPECT_TRUE(relay->WaitForOutput(" blue 网络->串口(3):a\\nb\n", 10s)) << relay->Out();
  relay->Signal(SIGUSR1);
  EXPECT_TRUE(relay->WaitForOutput(" counters 发到Socket：0字节 发到串口：3字节\n", 10s)) << relay->Out();
  EXPECT_EQ(Terminate(), 0);
}

TEST_F(ServiceTest, AServerRestartIsFollowedByAReconnect) {
  Start(Args(pty->Path()));
  EXPECT_EQ(SerialToServer("before"), "before");
  const auto port = server->Port();
  server.reset();  // the server goes down
  ASSERT_TRUE(relay->WaitForOutput("系统：已从服务器断开", 10s));
  ASSERT_TRUE(relay->WaitForOutput("秒后第2次重新连接服务器", 20s)) << relay->Out();
  server = std::make_unique<loopback::TServer>(port);  // and comes back
  ASSERT_TRUE(PumpUntil([&] { return server->AcceptPending(); }, 30s)) << relay->Out();
  ASSERT_TRUE(relay->WaitForOutput("系统：已连接到服务器", 10s, relay->Out().find("重新连接服务器")));
  EXPECT_EQ(relay->Lines("系统：1秒后第1次重新连接服务器").size(), 1u) << relay->Out();
  EXPECT_EQ(relay->Lines("系统：2秒后第2次重新连接服务器").size(), 1u) << relay->Out();
  EXPECT_EQ(SerialToServer("after"), "after");
  EXPECT_EQ(ServerToSerial("and back"), "and back");
  EXPECT_EQ(Terminate(), 0);
}

TEST_F(ServiceTest, ADeviceLostAndBackAtItsByIdLinkIsReopened) {
  QTemporaryDir dir;
  const std::string byId = dir.path().toStdString() + "/by-id";
  ASSERT_EQ(mkdir(byId.c_str(), 0755), 0);
  const std::string link = byId + "/usb-Maker_Adapter_A1B2-if00-port0";
  ASSERT_EQ(symlink(pty->Path().c_str(), link.c_str()), 0);
  Start(Args(link, {"--log", "off"}));
  EXPECT_EQ(SerialToServer("first"), "first");

  // Unplugged: udev takes the link away, the device hangs up.
  ASSERT_EQ(unlink(link.c_str()), 0);
  pty->CloseMaster();
  ASSERT_TRUE(relay->WaitForOutput("系统：串口设备已断开，等待其重新出现：" + link, 10s)) << relay->Out();
  // Plugged in again, as another device behind the same link.
  pty = std::make_unique<TPseudoTerminal>();
  ASSERT_EQ(symlink(pty->Path().c_str(), link.c_str()), 0);
  ASSERT_TRUE(relay->WaitForOutput("系统：串口设备已重新出现：" + link, 10s)) << relay->Out();
  ASSERT_TRUE(relay->WaitForOutput("系统：成功打开串口", 10s, relay->Out().find("已重新出现")));
  EXPECT_EQ(ServerToSerial("second"), "second");
  EXPECT_EQ(SerialToServer("third"), "third");
  EXPECT_EQ(Terminate(), 0);
}

TEST_F(ServiceTest, SigtermDeliversTheBytesStillInFlight) {
  Start(Args(pty->Path(), {"--log", "off"}));
  // The far end of the line reads nothing yet: the bytes wait in the service.
  const std::string block = RandomBytes(300000, 3);
  server->Send(block);
  const std::string counted = " counters 发到Socket：0字节 发到串口：300000字节";
  ASSERT_TRUE(PumpUntil(
      [&] {
        relay->Signal(SIGUSR1);
        return relay->WaitForOutput(counted, 100ms);
      },
      30s))
      << relay->Out();
  relay->Signal(SIGTERM);
  std::string got;
  PumpUntil(
      [&] {
        pty->ReadAvailable(got);
        return got.size() >= block.size();
      },
      30s);
  EXPECT_EQ(relay->Wait(30s), 0) << relay->Err();
  EXPECT_TRUE(got == block) << got.size();
  EXPECT_TRUE(relay->Lines("字节已丢弃").empty()) << relay->Out();
}

TEST_F(ServiceTest, SigtermDeliversABlockTheDeviceHasBegun) {
  // The device's frame is not over until the line has been quiet for 5 s; the stop comes first.
  Start(Args(pty->Path(), {"--timeout", "5000", "--log", "text"}));
  pty->Write("half a frame");
  PumpUntil([] { return false; }, 300ms);
  relay->Signal(SIGTERM);
  std::string got;
  PumpUntil(
      [&] {
        server->ReadAvailable(got);
        return got.size() >= 12;
      },
      20s);
  EXPECT_EQ(relay->Wait(30s), 0) << relay->Err();
  EXPECT_EQ(got, "half a frame");
  EXPECT_EQ(relay->Lines("串口->网络(12):half a frame").size(), 1u) << relay->Out();
}

TEST_F(ServiceTest, AnOutputNobodyReadsNeverHoldsUpTheRelay) {
  Start(Args(pty->Path(), {"--log", "hex", "--timeout", "1"}));
  // From here on nobody reads the lines until the end: the pipe fills after a few blocks.
  const std::string up = RandomBytes(1 << 20, 11), down = RandomBytes(1 << 20, 12);
  EXPECT_TRUE(SerialToServer(up) == up);
  EXPECT_TRUE(ServerToSerial(down) == down);
  EXPECT_EQ(Terminate(), 0) << relay->Err();
  EXPECT_EQ(relay->Lines(" counters ").size(), 1u);
}

TEST_F(ServiceTest, AReaderOfTheLinesThatGoesAwayEndsTheLinesNotTheRelay) {
  Start(Args(pty->Path(), {"--log", "hex"}));
  relay->CloseOutput();
  const std::string up = RandomBytes(100000, 13), down = RandomBytes(100000, 14);
  EXPECT_TRUE(SerialToServer(up) == up);
  EXPECT_TRUE(ServerToSerial(down) == down);
  EXPECT_EQ(Terminate(), 0) << relay->Err();
}

TEST_F(ServiceTest, SighupStopsCleanlyLikeSigterm) {
  Start(Args(pty->Path()));
  relay->Signal(SIGHUP);
  EXPECT_EQ(relay->Wait(30s), 0) << relay->Err();
  EXPECT_EQ(relay->Lines(" counters ").size(), 1u) << relay->Out();
  EXPECT_EQ(relay->Lines("系统：成功关闭串口").size(), 1u) << relay->Out();
}

TEST(ServiceCommandLine, BadOptionsAreRefusedWithStatus2AndOneLine) {
  for (const char* program : {COMRELAY_HEADLESS, COMRELAY_PROGRAM}) {
    TServiceProcess p({"--headless", "--device", "/dev/ttyS0", "--server", "h:1", "--parity", "bogus"},
                      program);
    EXPECT_EQ(p.Wait(20s), 2);
    EXPECT_EQ(p.Err(), "comrelay: --parity: 'bogus' is not accepted; expected none|odd|even|mark|space\n");
    EXPECT_EQ(p.Out(), "");
  }
  TServiceProcess version({"--version"}, COMRELAY_PROGRAM);
  EXPECT_EQ(version.Wait(20s), 0);
  EXPECT_EQ(version.Out().rfind("comrelay ", 0), 0u);
  TServiceProcess help({"--headless", "--help"});
  EXPECT_EQ(help.Wait(20s), 0);
  EXPECT_NE(help.Out().find("--server HOST:PORT"), std::string::npos);
}

TEST(ServiceCommandLine, ABadConfigFileIsRefusedWithItsFileAndLine) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/left.conf";
  std::ofstream(path) << "# left adapter\ndevice=/dev/ttyUSB0\nserver=127.0.0.1:4001\nbaud=fast\n";
  TServiceProcess p({"--headless", "--config", path});
  EXPECT_EQ(p.Wait(20s), 2);
  EXPECT_EQ(p.Err(), "comrelay: " + path +
                         ":4: baud: 'fast' is not accepted; expected a whole number from 50 to 4000000\n");
}

TEST_F(ServiceTest, AGoodConfigFileRunsTheRelay) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/bench.conf";
  std::ofstream(path) << "device=" << pty->Path() << "\nserver=127.0.0.1:" << server->Port()
                      << "\nlog=hex\nbaud=115200\n";
  Start({"--config", path});
  // In hex a control byte is its digits like any other, never escaped.
  EXPECT_EQ(SerialToServer("h\n"), "h\n");
  EXPECT_TRUE(relay->WaitForOutput(" green 串口->网络(2):68 0A \n", 10s)) << relay->Out();
  EXPECT_EQ(Terminate(), 0);
}

TEST_F(ServiceTest, LinesAndSystemErrorTextsFollowTheLanguage) {
  const std::string refused = "127.0.0.1:" + std::to_string(loopback::RefusingPort());
  struct Case {
    std::vector<std::string> language;
    std::string opened, error, counters;
  };
  const Case cases[] = {
      {{},
       " red 系统：成功打开串口\n",
       " red 系统：远程主机拒绝连接\n",
       " counters 发到Socket：0字节 发到串口：0字节\n"},
      {{"--language", "en"},
       " red System: serial port opened\n",
       " red System: The connection was refused by the remote host\n",
       " counters To socket: 0 bytes To serial: 0 bytes\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--device", pty->Path(), "--server", refused, "--no-reconnect"};
    args.insert(args.end(), c.language.begin(), c.language.end());
    relay = std::make_unique<TServiceProcess>(args);
    EXPECT_TRUE(relay->WaitForOutput(c.opened, 20s)) << relay->Out() << relay->Err();
    EXPECT_TRUE(relay->WaitForOutput(c.error, 20s)) << relay->Out();
    EXPECT_EQ(Terminate(), 0);
    EXPECT_NE(relay->Out().find(c.counters), std::string::npos) << relay->Out();
  }
}
