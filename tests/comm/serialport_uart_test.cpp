// TSerialPort against a fake that behaves like a real UART where a pseudo-terminal cannot: a driver
// output queue drained at the baud rate, CTS holding output back, errored bytes, ring counters,
// RS-485, line changes seen only by looking.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/comm/serialfixture.h"
#include "tests/support/fake_serial.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Letters(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = char('a' + i % 26);
  return s;
}

struct Uart : ::testing::Test {
  TFakeSerialPort fake{"fakeUart0"};
  TRecordedPort p{fake.Name()};
  void Open(DWORD baud) {
    p.port.SetBaudRate(baud);
    p.port.Open();
    ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  }
  void Write(const std::string& bytes) {
    ASSERT_TRUE(p.port.WriteData(bytes.data(), WORD(bytes.size())));
    ASSERT_TRUE(PumpUntil([&] { return fake.OutputQueued() > 0; }));
  }
};
}  // namespace

TEST_F(Uart, AWriteCountsAsWrittenOnlyOnceTheLineHasSentIt) {
  fake.ModelOutputQueue(4096);
  Open(19200);  // 1920 bytes a second: 3000 bytes take about 1.6 s
  const std::string bytes = Letters(3000);
  Write(bytes);
  // The driver took it all; until it has left, it is pending and no empty notice comes.
  EXPECT_EQ(p.port.PendingWriteBytes(), bytes.size());
  EXPECT_EQ(p.empties, 1);
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 2; }));
  EXPECT_EQ(fake.OutputQueued(), 0u);
  EXPECT_EQ(p.port.PendingWriteBytes(), 0u);
  // Every byte is on the line already when the notice comes.
  EXPECT_EQ(fake.Line().Read(bytes.size(), 100ms), bytes);
  p.port.Close();
}

TEST_F(Uart, CloseLetsWhatTheDriverTookLeaveTheLine) {
  fake.ModelOutputQueue(4096);
  Open(19200);
  const std::string bytes = Letters(3000);
  Write(bytes);
  p.port.Close();
  // Nothing the driver held is thrown away; it was still leaving when Close was called.
  EXPECT_EQ(fake.Line().Read(bytes.size(), 100ms), bytes);
  EXPECT_EQ(p.port.PendingWriteBytes(), 0u);
}

TEST_F(Uart, CloseDoesNotWaitForAQueueThatDoesNotMove) {
  fake.ModelOutputQueue(4096);
  Open(9600);
  fake.HoldOutput(true);  // CTS low
  Write(Letters(3000));
  const auto start = Clock::now();
  p.port.Close();
  // The bound is the line's time for the bytes, but a queue that stands still ends it early.
  EXPECT_LT(Clock::now() - start, 3s);
  EXPECT_EQ(fake.OutputQueued(), 0u);
  EXPECT_EQ(p.hangups, 0);
}

TEST_F(Uart, CloseWithinABoundDropsWhatTheLineCouldNotSendInTimeAndCountsIt) {
  fake.ModelOutputQueue(4096);
  Open(300);  // 30 bytes a second: the queue would take minutes
  const std::string bytes = Letters(3000);
  Write(bytes);
  const auto start = Clock::now();
  p.port.CloseWithin(300ms);
  EXPECT_LT(Clock::now() - start, 3s);
  // What left the line, and what is counted as never sent, make up every byte.
  const std::string sent = fake.Line().ReadUntilQuiet(200ms);
  EXPECT_EQ(sent, bytes.substr(0, sent.size()));
  EXPECT_EQ(sent.size() + p.port.UnsentBytes(), bytes.size());
  EXPECT_GT(p.port.UnsentBytes(), 2000u);
  EXPECT_EQ(fake.OutputQueued(), 0u);
}

TEST_F(Uart, AWriteThatFailsMidwayCountsOnlyWhatTheDeviceNeverTookAsUnsent) {
  Open(115200);
  fake.LimitWrites(100);  // a slow device: 100 bytes, then nothing for 20 ms
  const std::string bytes = Letters(3000);
  ASSERT_TRUE(p.port.WriteData(bytes.data(), WORD(bytes.size())));
  PumpFor(150ms);
  fake.Fail(TFakeCall::Write);
  ASSERT_TRUE(PumpUntil([&] { return p.hangups == 1; }, 10s));
  p.port.Close();
  const std::string sent = fake.Line().ReadUntilQuiet(200ms);
  ASSERT_GT(sent.size(), 0u);
  EXPECT_EQ(sent, bytes.substr(0, sent.size()));
  EXPECT_EQ(sent.size() + p.port.UnsentBytes(), bytes.size());
}

TEST_F(Uart, ATransmitThatMovesNothingIsReportedNotSilent) {
  fake.ModelOutputQueue(4096);
  Open(9600);
  fake.HoldOutput(true);
  Write("stuck");
  ASSERT_TRUE(PumpUntil([&] { return p.hangups == 1; }, 20s));
  // It was never claimed sent.
  EXPECT_EQ(p.empties, 1);
  EXPECT_TRUE(PumpUntil([&] { return !p.port.WriteData("z", 1); }));
  p.port.Close();
}

// With CTS output flow the device may hold the line off as long as it likes: the write stays
// pending (and is shown so), nothing is reported, and it completes once CTS comes back.
TEST_F(Uart, AHoldOffUnderOutputFlowControlStaysPendingAndIsNeverAFault) {
  fake.ModelOutputQueue(4096);
  p.port.SetOutx_CtsFlow(true);
  const auto before = ThreadWakeups();
  Open(9600);
  fake.HoldOutput(true);
  Write("held");
  const auto start = ThreadWakeups();
  PumpFor(12s);  // longer than a transmit without flow control may stand still
  const auto end = ThreadWakeups();
  EXPECT_EQ(p.hangups, 0);
  // The held queue is looked at less and less often, not at its few characters' line time (that
  // would be thousands of looks in 12 s); sanitizer builds wake a few times more than plain ones.
  unsigned long wakeups = 0;
  for (const auto& [tid, count] : end)
    if (!before.count(tid) && start.count(tid)) wakeups += count - start.at(tid);
  EXPECT_LT(wakeups, 12u * 20) << "wake-ups of the port's threads while held";
  EXPECT_EQ(p.port.PendingWriteBytes(), 4u);
  EXPECT_EQ(p.empties, 1);
  fake.HoldOutput(false);
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 2; }, 10s));
  EXPECT_EQ(p.port.PendingWriteBytes(), 0u);
  EXPECT_EQ(fake.Line().Read(4, 1s), "held");
  EXPECT_EQ(p.hangups, 0);
  p.port.Close();
}

TEST_F(Uart, RtsHandshakeAloneLeavesOutputFreeOfCts) {
  p.port.SetRtsControl(TRtsControl::RtsHandshake);
  Open(9600);
  EXPECT_FALSE(fake.Record().attributes.c_cflag & CRTSCTS);
  EXPECT_TRUE(fake.Record().rts);
  p.port.SetOutx_CtsFlow(true);
  EXPECT_TRUE(fake.Record().attributes.c_cflag & CRTSCTS);
  p.port.Close();
}

TEST_F(Uart, ACheckedParityErrorKeepsTheByteAndIsRaisedAsAnError) {
  p.port.SetParity(TParity::Even);
  p.port.SetParityCheck(true);
  p.port.SetReadIntervalTimeout(20);
  Open(9600);
  // 0xFF is doubled by the terminal under marking and must come out single.
  fake.Receive("ab\xFFz", {1});
  ASSERT_TRUE(PumpUntil([&] { return p.Received().size() >= 4 && !p.errors.empty(); }));
  EXPECT_EQ(p.Received(), "ab\xFFz");
  EXPECT_EQ(p.errors, (std::vector<DWORD>{CE_RXPARITY}));

  // With replacement the ErrorChar takes the byte's place.
  p.port.SetReplaceWhenParityError(true);
  p.port.SetReplacedChar('?');
  p.blocks.clear();
  fake.Receive("cd", {0});
  ASSERT_TRUE(PumpUntil([&] { return p.Received().size() >= 2 && p.errors.size() == 2; }));
  EXPECT_EQ(p.Received(), "?d");
  p.port.Close();
}

TEST_F(Uart, CloseDropsDtrAndRtsAndEndsTheRs485ModeItSet) {
  fake.SupportRs485();
  p.port.SetRtsControl(TRtsControl::RtsTransmissionAvailable);
  Open(9600);
  TFakeLineRecord r = fake.Record();
  EXPECT_TRUE(r.rs485);
  EXPECT_TRUE(r.dtr);
  EXPECT_TRUE(r.rts);
  p.port.Close();
  r = fake.Record();
  EXPECT_FALSE(r.rs485);
  EXPECT_FALSE(r.dtr);
  EXPECT_FALSE(r.rts);
}

TEST(UartRing, OneRingIsOneEventWhicheverEdgeTheDriverCounts) {
  for (TFakeRingCount how : {TFakeRingCount::Falling, TFakeRingCount::BothEdges, TFakeRingCount::Rising}) {
    TFakeSerialPort fake("fakeRing0");
    fake.CountRings(how);
    TRecordedPort p(fake.Name());
    p.port.Open();
    ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
    for (int ring = 1; ring <= 2; ++ring) {
      fake.ChangeLines(TLineSample::Ring);
      ASSERT_TRUE(PumpUntil([&] { return p.modem.size() == std::size_t(ring); }));
      fake.ChangeLines(0);
      PumpFor(200ms);
      EXPECT_EQ(p.modem, std::vector<DWORD>(ring, 4)) << int(how);
    }
    p.port.Close();
  }
}

TEST(UartRing, APulseBetweenTwoLooksIsCaughtByTheCounterOnce) {
  TFakeSerialPort fake("fakeRing1");
  fake.LooksOnly();
  fake.CountRings(TFakeRingCount::Falling);
  TRecordedPort p(fake.Name());
  p.port.Open();
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  fake.ChangeLines(TLineSample::Ring);
  fake.ChangeLines(0);
  ASSERT_TRUE(PumpUntil([&] { return !p.modem.empty(); }, 5s));
  PumpFor(1500ms);
  EXPECT_EQ(p.modem, (std::vector<DWORD>{4}));
  p.port.Close();
}

TEST_F(Uart, AHangupNoticeOfAnEarlierOpeningIsNotRaised) {
  Open(9600);
  fake.Fail(TFakeCall::Read);
  fake.Line().Write("x");
  // The notice is posted but not delivered before the port is closed and opened again.
  std::this_thread::sleep_for(300ms);
  p.port.Close();
  fake.Fail(TFakeCall::Read, false);
  p.port.Open();
  PumpFor(300ms);
  EXPECT_EQ(p.hangups, 0);
  fake.Line().Write("fresh");
  ASSERT_TRUE(PumpUntil([&] { return p.Received() == "fresh"; }));
  // A failure of the new opening is raised.
  fake.Fail(TFakeCall::Read);
  fake.Line().Write("y");
  EXPECT_TRUE(PumpUntil([&] { return p.hangups == 1; }));
  p.port.Close();
  fake.Fail(TFakeCall::Read, false);
}
