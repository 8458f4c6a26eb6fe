// TSerialPort on pseudo-terminals: opening and closing, cutting received bytes into blocks,
// writing queued blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/sync/handles.h"
#include "tests/comm/serialfixture.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"

namespace {
using namespace std::chrono_literals;

// Processor time the whole process used while the calling thread slept for `span`.
double CpuSecondsDuring(std::chrono::milliseconds span) {
  const std::clock_t before = std::clock();
  std::this_thread::sleep_for(span);
  return static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
}

std::string Pattern(std::size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7) % 251);
  return s;
}
}  // namespace

TEST(SerialPortOpen, SecondOpenFailsAndThePortKeepsWorking) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.Open();
  EXPECT_EQ(SerialErrorOf([&] { p.port.Open(); }), Ansi("此串口已经打开"));
  pty.Write("still here");
  ASSERT_TRUE(PumpUntil([&] { return p.Received() == "still here"; }));
  EXPECT_TRUE(p.port.WriteData("out", 3));
  EXPECT_EQ(pty.Read(3, 5s), "out");
  p.port.Close();
  p.port.Close();  // twice: nothing
  EXPECT_FALSE(p.port.WriteData("x", 1));
  // Reopened after Close.
  p.port.Open();
  pty.Write("again");
  ASSERT_TRUE(PumpUntil([&] { return p.Received() == "still hereagain"; }));
}

TEST(SerialPortOpen, HeldOrMissingPortsGiveTheTwoLineMessageAndHoldNothing) {
  TPseudoTerminal pty;
  const std::size_t handles = OpenHandleCount();
  const std::size_t fds = CountOpenDescriptors();
  TRecordedPort holder(pty.Path());
  holder.port.Open();
  TRecordedPort other(pty.Path());
  EXPECT_EQ(SerialErrorOf([&] { other.port.Open(); }), OpenFailedText());
  EXPECT_EQ(SerialErrorOf([&] { other.port.Open(); }), OpenFailedText());
  EXPECT_FALSE(other.port.WriteData("x", 1));
  other.port.Close();
  holder.port.Close();
  {
    TForeignLock foreign(pty.Path());
    ASSERT_TRUE(foreign.Held());
    EXPECT_EQ(SerialErrorOf([&] { other.port.Open(); }), OpenFailedText());
  }
  TRecordedPort missing("ttyNoSuchPort7");
  EXPECT_EQ(SerialErrorOf([&] { missing.port.Open(); }), OpenFailedText());
  EXPECT_EQ(SerialErrorOf([&] { missing.port.Open(); }), OpenFailedText());
  EXPECT_EQ(OpenHandleCount(), handles);
  EXPECT_EQ(CountOpenDescriptors(), fds);
  // Nothing held: the port opens now.
  other.port.Open();
  other.port.Close();
}

TEST(SerialPortReceive, ABurstIsCutIntoFullBlocksAndTheRest) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.Open();
  const std::string burst = Pattern(10'000);
  pty.Write(burst);
  ASSERT_TRUE(PumpUntil([&] { return p.Received().size() >= burst.size(); }));
  PumpFor(300ms);
  ASSERT_EQ(p.blocks.size(), 3u);
  EXPECT_EQ(p.blocks[0].size(), 4096u);
  EXPECT_EQ(p.blocks[1].size(), 4096u);
  EXPECT_EQ(p.blocks[2].size(), 1808u);
  EXPECT_EQ(p.Received(), burst);
  EXPECT_TRUE(p.zeroAfterEveryBlock);
}

TEST(SerialPortReceive, BurstsApartByMoreThanTheIntervalAreSeparateBlocks) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.SetReadIntervalTimeout(50);
  p.port.Open();
  pty.Write("first burst");
  std::this_thread::sleep_for(400ms);
  pty.Write("second");
  ASSERT_TRUE(PumpUntil([&] { return p.blocks.size() >= 2; }));
  PumpFor(200ms);
  EXPECT_EQ(p.blocks, (std::vector<std::string>{"first burst", "second"}));
}

TEST(SerialPortReceive, IntervalZeroDeliversOnlyFullBlocks) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.SetReadIntervalTimeout(0);
  p.port.Open();
  const std::string data = Pattern(3 * 4096 + 100, 3);
  pty.Write(data);
  ASSERT_TRUE(PumpUntil([&] { return p.blocks.size() >= 3; }));
  PumpFor(300ms);
  ASSERT_EQ(p.blocks.size(), 3u);  // the last 100 bytes wait for a full buffer
  for (auto& b : p.blocks) EXPECT_EQ(b.size(), 4096u);
  EXPECT_EQ(p.Received(), data.substr(0, 3 * 4096));
  p.port.Close();
}

TEST(SerialPortReceive, ReadsThatReturnAtOnceNeitherSpinNorLoseData) {
  // Interval MAXDWORD with no totals: every read completes at once, mostly with nothing.
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.SetReadIntervalTimeout(MAXDWORD);
  p.port.Open();
  PumpFor(50ms);
  EXPECT_LT(CpuSecondsDuring(300ms), 0.08);
  pty.Write("polled");
  ASSERT_TRUE(PumpUntil([&] { return p.Received() == "polled"; }));
  EXPECT_EQ(p.hangups, 0);
}

TEST(SerialPortReceive, AFloodWakesTheWindowOnceForSeveralBlocks) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.Open();
  PumpFor(50ms);
  TPostedEventCount events;
  // Blocks waiting on the device one behind the other.
  const std::string flood = Pattern(16 * 4096, 5);
  pty.Write(flood);
  ASSERT_TRUE(PumpUntil([&] { return p.Received().size() >= flood.size(); }));
  PumpFor(100ms);
  EXPECT_EQ(p.blocks.size(), 16u);
  EXPECT_TRUE(p.Received() == flood);
  // One event a block would be 16. How many fewer depends on how far the reader falls behind.
  EXPECT_LT(events.Count(), 16);
  p.port.Close();
}

TEST(SerialPortReceive, BlocksAreFreedWithoutAHandlerAndAfterClose) {
  // Under the address sanitizer a block that is never freed fails the run.
  TPseudoTerminal pty;
  TSerialPort port;
  port.SetCommName(pty.Path());
  port.Open();
  pty.Write(Pattern(5000));
  PumpFor(300ms);
  pty.Write("late");
  port.Close();
  PumpFor(50ms);
}

TEST(SerialPortWrite, QueuedRequestsComeOutInOrderWithOneEmptyNoticeAfterTheLast) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.Open();
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));  // once just after start
  const std::string a = Pattern(60'000, 1), b = Pattern(50'000, 2), c = Pattern(40'000, 3);
  // Queued back to back: the first is far from written when the third is queued.
  ASSERT_TRUE(p.port.WriteData(a.data(), static_cast<WORD>(a.size())));
  ASSERT_TRUE(p.port.WriteData(b.data(), static_cast<WORD>(b.size())));
  ASSERT_TRUE(p.port.WriteData(c.data(), static_cast<WORD>(c.size())));
  EXPECT_GT(p.port.PendingWriteBytes(), 0u);
  EXPECT_EQ(pty.Read(a.size() + b.size() + c.size(), 20s), a + b + c);
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 2; }));
  PumpFor(100ms);
  EXPECT_EQ(p.empties, 2);
  EXPECT_EQ(p.port.PendingWriteBytes(), 0u);
  EXPECT_EQ(p.hangups, 0);
}

TEST(SerialPortWrite, OnRequestTheDrainNoticeComesOnceAtTheMarkAskedFor) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.SetSendEmptyOnRequest(true);
  p.port.Open();
  const std::string big = Pattern(65'535);
  // Nobody reads the other side yet: the queue stands far above the mark.
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(p.port.WriteData(big.data(), static_cast<WORD>(big.size())));
  PumpFor(200ms);
  EXPECT_EQ(p.empties, 0) << "no notice nobody asked for, not even the one after start";
  ASSERT_GT(p.port.PendingWriteBytes(), 65'535u);
  p.port.RequestSendEmpty(65'535);
  PumpFor(100ms);
  EXPECT_EQ(p.empties, 0);
  // The far end reads: one notice once the queue came down, and only one.
  EXPECT_EQ(pty.Read(4 * big.size(), 20s), big + big + big + big);
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  PumpFor(100ms);
  EXPECT_EQ(p.empties, 1);
  // Asked for with the queue already down: at once.
  p.port.RequestSendEmpty(0);
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 2; }));
  EXPECT_EQ(p.hangups, 0);
}

TEST(SerialPortWrite, RefusedWhenClosedOrEmpty) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  EXPECT_FALSE(p.port.WriteData("x", 1));
  p.port.Open();
  EXPECT_FALSE(p.port.WriteData("x", 0));
  EXPECT_FALSE(p.port.WriteData(nullptr, 5));
  EXPECT_TRUE(p.port.WriteData("x", 1));
  EXPECT_EQ(pty.Read(1, 5s), "x");
  p.port.Close();
  EXPECT_FALSE(p.port.WriteData("x", 1));
}

TEST(SerialPortWrite, CloseDuringALongWriteEndsWithoutHangup) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.Open();
  std::string all;
  for (unsigned i = 0; i < 4; ++i) all += Pattern(65'535, i);
  // Nobody reads the other side: the terminal's buffer fills and the write stalls.
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(p.port.WriteData(all.data() + i * 65'535, 65'535));
  PumpFor(200ms);
  EXPECT_GT(p.port.PendingWriteBytes(), 65'535u);
  const auto start = std::chrono::steady_clock::now();
  p.port.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  PumpFor(100ms);
  EXPECT_EQ(p.hangups, 0);
  EXPECT_EQ(p.port.PendingWriteBytes(), 0u);
  // Every byte either reached the device, in order, or is counted as never sent.
  const std::string got = pty.ReadUntilQuiet(200ms);
  ASSERT_GT(got.size(), 0u);
  EXPECT_EQ(got, all.substr(0, got.size()));
  EXPECT_EQ(got.size() + p.port.UnsentBytes(), all.size());
  p.port.Open();
  EXPECT_EQ(p.port.UnsentBytes(), 0u);
}

TEST(SerialPortReceive, CloseEndsABlockEarlyRatherThanLosingIt) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.SetReadIntervalTimeout(5000);
  p.port.Open();
  pty.Write("taken before the close");
  PumpFor(300ms);
  ASSERT_TRUE(p.blocks.empty()) << "the line has not been quiet for the interval yet";
  p.port.Close();
  ASSERT_TRUE(PumpUntil([&] { return !p.blocks.empty(); }, 5s));
  EXPECT_EQ(p.blocks, std::vector<std::string>{"taken before the close"});
  EXPECT_TRUE(p.zeroAfterEveryBlock);
  EXPECT_EQ(p.hangups, 0);
}

TEST(SerialPortHangup, AVanishedDeviceRequestsHangupThenCloseAndANewOpenWork) {
  auto pty = std::make_unique<TPseudoTerminal>();
  TRecordedPort p(pty->Path());
  p.port.Open();
  pty->CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return p.hangups >= 1; }));
  // No spinning after it: the threads have ended or sleep.
  EXPECT_LT(CpuSecondsDuring(300ms), 0.08);
  EXPECT_TRUE(p.blocks.empty());
  p.port.Close();
  pty = std::make_unique<TPseudoTerminal>();
  p.port.SetCommName(pty->Path());
  p.port.Open();
  pty->Write("new device");
  ASSERT_TRUE(PumpUntil([&] { return p.Received() == "new device"; }));
}

TEST(SerialPortHangup, BytesOfABlockNotYetEndedComeBeforeTheHangup) {
  auto pty = std::make_unique<TPseudoTerminal>();
  TRecordedPort p(pty->Path());
  p.port.SetReadIntervalTimeout(5000);
  p.port.Open();
  pty->Write("ABC");
  PumpFor(300ms);
  ASSERT_TRUE(p.blocks.empty()) << "the line has not been quiet for the interval yet";
  pty->CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return p.hangups >= 1; }));
  EXPECT_EQ(p.blocks, std::vector<std::string>{"ABC"});
  const auto data = std::find(p.order.begin(), p.order.end(), "data");
  EXPECT_LT(data, std::find(p.order.begin(), p.order.end(), "hangup"));
  p.port.Close();
}

TEST(SerialPortLifetime, ManyOpenCloseCyclesLeaveNothingBehind) {
  TPseudoTerminal pty;
  TRecordedPort p(pty.Path());
  p.port.Open();
  p.port.Close();
  PumpFor(20ms);
  const std::size_t fds = CountOpenDescriptors(), threads = CountThreads(), handles = OpenHandleCount();
  for (int i = 0; i < 1000; ++i) {
    p.port.Open();
    if (i % 100 == 0) {
      // While open: exactly the two threads of the port, and a working line. An exited thread
      // can stay listed for a moment after it was joined, so the count is given time to settle.
      PumpUntil([&] { return CountThreads() == threads + 2; }, 2s);
      EXPECT_EQ(CountThreads(), threads + 2);
      EXPECT_TRUE(p.port.WriteData("k", 1));
      EXPECT_EQ(pty.Read(1, 5s), "k");
    }
    p.port.Close();
    if (i % 50 == 0) PumpFor(1ms);
  }
  PumpFor(50ms);
  EXPECT_EQ(CountOpenDescriptors(), fds);
  PumpUntil([&] { return CountThreads() == threads; }, 2s);
  EXPECT_EQ(CountThreads(), threads);
  EXPECT_EQ(OpenHandleCount(), handles);
  EXPECT_EQ(p.hangups, 0);
}

TEST(SerialPortLifetime, DestroyingAnOpenPortClosesIt) {
  TPseudoTerminal pty;
  // A sanitizer starts a helper thread with the process's first thread; let that happen first.
  // Joined threads can stay listed for a moment, so both counts are given time to settle.
  std::thread([] {}).join();
  PumpFor(20ms);
  const std::size_t threads = CountThreads();
  {
    TSerialPort port;
    port.SetCommName(pty.Path());
    port.Open();
    EXPECT_TRUE(PumpUntil([&] { return CountThreads() == threads + 2; }, 2s)) << CountThreads();
  }
  EXPECT_TRUE(PumpUntil([&] { return CountThreads() == threads; }, 2s))
      << CountThreads() << " vs " << threads;
  TSerialPort again;
  again.SetCommName(pty.Path());
  again.Open();  // not held any more
}
