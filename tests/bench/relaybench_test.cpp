// The relay bench's own measuring parts against real relays (socat) and real threads: a bench that
// passed lost or changed bytes, or miscounted a process, would mislead every decision made on it.
#include <gtest/gtest.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <map>
#include <thread>

#include "bench/relay/machine.h"
#include "bench/relay/procstat.h"
#include "bench/relay/relayprocess.h"
#include "bench/relay/results.h"
#include "bench/relay/traffic.h"
#include "bench/relay/uistallprobe.h"

using namespace relaybench;
using namespace std::chrono_literals;

namespace {
const std::string kSocat = "socat OPEN:%p,rawer TCP:127.0.0.1:%P";
}

TEST(RelayBench, EveryKindOfTrafficPassesThroughAFaithfulRelay) {
  RelayProcess relay(kSocat, 100ms);
  const std::string up = SourceBytes(1 << 20, 1), down = SourceBytes(1 << 20, 2);
  ASSERT_NE(up, down);
  const auto s2t = Stream(relay.Master(), relay.Tcp(), up, 4096, relay.Pid());
  EXPECT_GT(s2t.megabytesPerSecond, 0);
  EXPECT_GE(s2t.cpuSeconds, 0);
  EXPECT_GT(Stream(relay.Tcp(), relay.Master(), down, 65536, relay.Pid()).megabytesPerSecond, 0);

  const auto latencies = Latencies(relay.Tcp(), relay.Master(), 20, 2ms);
  ASSERT_EQ(latencies.size(), 20u);
  EXPECT_TRUE(std::is_sorted(latencies.begin(), latencies.end()));
  EXPECT_GT(latencies.front(), 0);

  const auto paced = Paced(relay.Master(), relay.Tcp(), relay.Pid(), 115200, 1s);
  EXPECT_EQ(paced.bytesEachWay, 11520u);
  // 1 to 64 bytes a block; the last byte cannot be in before the line would have carried it.
  EXPECT_GE(paced.blocksEachWay, 11520u / 64);
  EXPECT_LE(paced.blocksEachWay, 11520u);
  EXPECT_GE(paced.seconds, 0.95);
  EXPECT_GT(paced.switches, 0);
  EXPECT_LE(paced.wakeups, paced.switches);
  EXPECT_GT(relay.Stop(), 0);  // socat ended with the connection, its whole life counted
}

TEST(RelayBench, LostChangedOrMissingBytesAreFaults) {
  {
    // Stops reading the port after 1000 bytes and closes the connection.
    RelayProcess losing("socat OPEN:%p,rawer,readbytes=1000 TCP:127.0.0.1:%P", 100ms);
    EXPECT_THROW(Stream(losing.Master(), losing.Tcp(), SourceBytes(100000, 3), 4096, losing.Pid()),
                 TrafficFault);
  }
  {
    // Writes every line feed to the port as CR LF.
    RelayProcess changing("socat OPEN:%p,rawer,crnl TCP:127.0.0.1:%P", 100ms);
    EXPECT_THROW(Stream(changing.Tcp(), changing.Master(), SourceBytes(100000, 4), 65536, changing.Pid()),
                 TrafficFault);
  }
  {
    // Passes the first message and part of the second.
    RelayProcess losing("socat OPEN:%p,rawer,readbytes=20 TCP:127.0.0.1:%P", 100ms);
    EXPECT_THROW(Latencies(losing.Master(), losing.Tcp(), 5, 2ms), TrafficFault);
  }
  {
    RelayProcess losing("socat OPEN:%p,rawer,readbytes=1000 TCP:127.0.0.1:%P", 100ms);
    EXPECT_THROW(Paced(losing.Master(), losing.Tcp(), losing.Pid(), 115200, 1s), TrafficFault);
  }
  QElapsedTimer clock;
  clock.start();
  EXPECT_THROW(RelayProcess("false %p %P", 0ms), std::runtime_error);
  EXPECT_LT(clock.elapsed(), 10000);  // an ended relay is not waited for
}

TEST(RelayBench, ReportFileLinesComeBackAsFigures) {
  RelayProcess relay("sh -c 'printf \"ui_a 2.5\\nui_b 7\\n\" > %R; exec " + kSocat + "'", 100ms);
  EXPECT_GT(Latencies(relay.Master(), relay.Tcp(), 5, 2ms).size(), 0u);
  relay.Stop();
  EXPECT_EQ(relay.Report(), (std::map<std::string, double>{{"ui_a", 2.5}, {"ui_b", 7}}));
}

TEST(RelayBench, TheConsoleDriverRelaysBothWaysReportsItsUiThreadAndEndsWithTheConnection) {
  RelayProcess relay(std::string(COMRELAY_RELAY_DRIVER) + " %p %P --interval 1 --display --hex --ui-probe %R",
                     300ms);
  EXPECT_EQ(Latencies(relay.Master(), relay.Tcp(), 20, 2ms).size(), 20u);
  EXPECT_EQ(Latencies(relay.Tcp(), relay.Master(), 20, 2ms).size(), 20u);
  EXPECT_EQ(Paced(relay.Master(), relay.Tcp(), relay.Pid(), 115200, 1s).bytesEachWay, 11520u);
  relay.Stop();
  EXPECT_TRUE(relay.EndedByItself());
  const auto& report = relay.Report();
  ASSERT_TRUE(report.count("ui_probe_ticks"));
  EXPECT_GT(report.at("ui_probe_ticks"), 10);  // ticking while connected, a second and more
  EXPECT_GE(report.at("ui_stall_max_ms"), 0);
  EXPECT_GE(report.at("ui_gap_p99_ms"), 1);
}

TEST(RelayBench, ProcessCountsSeeEveryThreadAndItsSleeps) {
  const auto before = ContextSwitches(::getpid());
  const double cpuBefore = CpuSeconds(::getpid());
  std::atomic<bool> slept{false}, sampled{false};
  std::thread sleeper([&] {
    pthread_setname_np(pthread_self(), "sleeper");
    for (int i = 0; i < 20; ++i) std::this_thread::sleep_for(1ms);
    timespec used{};
    do ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    while (used.tv_nsec < 150000000 && used.tv_sec == 0);
    slept = true;
    while (!sampled) std::this_thread::sleep_for(1ms);
  });
  while (!slept) std::this_thread::sleep_for(1ms);
  // Sampled while the new thread lives: it counts from zero.
  const auto during = SwitchesBetween(before, ContextSwitches(::getpid()));
  const double cpu = CpuSeconds(::getpid()) - cpuBefore;
  sampled = true;
  sleeper.join();
  EXPECT_GE(cpu, 0.15);  // the process's clock counts a live thread's time up to the moment it is read
  const auto named =
      std::find_if(during.begin(), during.end(), [](const auto& t) { return t.second.name == "sleeper"; });
  ASSERT_NE(named, during.end());
  EXPECT_GE(named->second.voluntary, 20);
  EXPECT_GE(TotalSwitches(during), named->second.voluntary);
  EXPECT_LT(CpuSeconds(999999999), 0);
  EXPECT_TRUE(ContextSwitches(999999999).empty());
}

TEST(RelayBench, TheMachineFloorComesFromRealSleepsAndRealWakeups) {
  const auto start = std::chrono::steady_clock::now();
  const auto late = TimerLateness(40, std::chrono::microseconds(1000));
  // Deadlines a millisecond apart from the start: the whole takes at least 40 ms, and no sleep
  // ends before its deadline.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
  ASSERT_EQ(late.size(), 40u);
  EXPECT_TRUE(std::is_sorted(late.begin(), late.end()));
  EXPECT_GE(late.front(), 0);

  // A thread that reads an empty pipe sleeps: each trip wakes one thread or both, as the two
  // happen to be placed.
  const auto cost = PingPong(400);
  EXPECT_GE(cost.wakeups, 360);
  EXPECT_LE(cost.wakeups, 2 * 400 + 20);
  EXPECT_GT(cost.cpuSeconds, 0);
}

TEST(RelayBench, QuantilesAndMedians) {
  std::vector<double> values;
  for (int i = 100; i >= 1; --i) values.push_back(i);
  EXPECT_EQ(Median(values), 51);
  std::sort(values.begin(), values.end());
  EXPECT_EQ(Quantile(values, 0.5), 50);
  EXPECT_EQ(Quantile(values, 0.99), 99);
  EXPECT_EQ(Quantile(values, 1.0), 100);
  EXPECT_EQ(Quantile({7}, 0.99), 7);
  EXPECT_TRUE(std::isnan(Quantile({}, 0.5)));
}

TEST(RelayBench, RatiosAreOfTheMediansAndOfEachRunToItsOwnReference) {
  Results results({"socat", "relay", "short"});
  // The machine slows down over the runs; the relay is faster than socat in two runs of three.
  const double socat[] = {1, 2, 3}, relay[] = {3.3, 1.1, 2.2};
  for (int i = 0; i < 3; ++i) {
    results.Add("cpu", 0, socat[i], "s");
    results.Add("cpu", 1, relay[i], "s");
  }
  results.Add("cpu", 2, 5, "s");  // a run short: no pairs to make
  testing::internal::CaptureStdout();
  results.Print();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(
      out.find("relay      median=2.200 min=1.100 max=3.300 s (n=3) ratio_to_socat=1.100 paired_ratio=0.733"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("short      median=5.000 min=5.000 max=5.000 s (n=1) ratio_to_socat=2.500\n"),
            std::string::npos)
      << out;
}

TEST(RelayBench, StallProbeSeesTheUiThreadBlocked) {
  UiStallProbe probe;
  probe.Start();
  QEventLoop loop;
  QTimer::singleShot(100, [] { std::this_thread::sleep_for(60ms); });
  QTimer::singleShot(250, &loop, &QEventLoop::quit);
  loop.exec();
  probe.Stop();
  char path[] = "/tmp/relaybench-probe-XXXXXX";
  ::close(::mkstemp(path));
  probe.WriteReport(path);
  std::map<std::string, double> report;
  std::ifstream in(path);
  std::string key;
  for (double value; in >> key >> value;) report[key] = value;
  ::unlink(path);
  EXPECT_GE(report["ui_stall_max_ms"], 55);
  EXPECT_LT(report["ui_stall_max_ms"], 5000);
  EXPECT_GE(report["ui_stalls_over_16ms"], 1);
  EXPECT_GE(report["ui_probe_ticks"], 10);
  EXPECT_GE(report["ui_gap_p99_ms"], 1);
}
