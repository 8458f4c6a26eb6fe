// The relay bench: relays measured side by side on fresh pseudo-terminals and a TCP listener on
// 127.0.0.1, runs interleaved, every byte checked. The first command is the reference (socat) and
// every figure of the others is also given as a ratio to it.
//
//   relaybench [--runs N] [--bytes N] [--msgs N] [--spacing-us N] [--paced-seconds N] [--baud N]
//              [--idle-seconds N] [--settle-ms N] [--pty] [--machine]
//              { [--tests LIST] [--cut-us N] [--name NAME] -c 'COMMAND with %p %P [%R]' } ...
//
// LIST is a comma list of s2t, t2s, lat_s2t, lat_t2s, paced, idle (all by default) and holds for
// the commands after it. --cut-us is the inter-byte time-out the relay waits before it forwards a
// block: serial->TCP latency is also given beyond it. %R is a file the relay may leave key/value
// lines in; they are reported beside the paced figures. --pty also measures the pseudo-terminal
// alone, --machine the machine alone (how late a bare thread wakes, what a bare wake-up costs).
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <thread>

#include "bench/relay/machine.h"
#include "bench/relay/procstat.h"
#include "bench/relay/relayprocess.h"
#include "bench/relay/results.h"
#include "bench/relay/traffic.h"

namespace relaybench {
namespace {

struct Command {
  std::string name, line;
  std::set<std::string> tests;
  double cutMicros = 0;
};

struct Options {
  int runs = 3, messages = 1000, pacedSeconds = 60, baud = 921600, idleSeconds = 10, settleMs = 300;
  std::size_t bytes = 64u << 20;
  std::chrono::microseconds spacing{2000};
  bool pty = false, machine = false;
  std::vector<Command> commands;
};

const char* const kAllTests[] = {"s2t", "t2s", "lat_s2t", "lat_t2s", "idle", "paced"};

int Usage() {
  std::fprintf(stderr,
               "usage: relaybench [--runs N] [--bytes N] [--msgs N] [--spacing-us N] [--paced-seconds N]\n"
               "                  [--baud N] [--idle-seconds N] [--settle-ms N] [--pty] [--machine]\n"
               "                  { [--tests s2t,t2s,lat_s2t,lat_t2s,idle,paced] [--cut-us N] [--name NAME]\n"
               "                    -c 'COMMAND with %%p %%P [%%R]' } ...\n");
  return 2;
}

bool Parse(int argc, char** argv, Options& options) {
  std::set<std::string> tests(std::begin(kAllTests), std::end(kAllTests));
  double cut = 0;
  std::string name;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--pty") {
      options.pty = true;
      continue;
    }
    if (arg == "--machine") {
      options.machine = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    const long long number = std::atoll(value.c_str());
    if (arg == "--runs")
      options.runs = int(number);
    else if (arg == "--bytes")
      options.bytes = std::size_t(number);
    else if (arg == "--msgs")
      options.messages = int(number);
    else if (arg == "--spacing-us")
      options.spacing = std::chrono::microseconds(number);
    else if (arg == "--paced-seconds")
      options.pacedSeconds = int(number);
    else if (arg == "--baud")
      options.baud = int(number);
    else if (arg == "--idle-seconds")
      options.idleSeconds = int(number);
    else if (arg == "--settle-ms")
      options.settleMs = int(number);
    else if (arg == "--cut-us")
      cut = double(number);
    else if (arg == "--name")
      name = value;
    else if (arg == "--tests") {
      tests.clear();
      std::stringstream list(value);
      for (std::string test; std::getline(list, test, ',');) {
        if (std::find(std::begin(kAllTests), std::end(kAllTests), test) == std::end(kAllTests)) return false;
        tests.insert(test);
      }
    } else if (arg == "-c") {
      options.commands.push_back(
          {name.empty() ? "cmd" + std::to_string(options.commands.size() + 1) : name, value, tests, cut});
      name.clear();
    } else {
      return false;
    }
  }
  return !options.commands.empty() && options.runs >= 1 && options.messages >= 1 && options.bytes > 0 &&
         options.pacedSeconds >= 1 && options.idleSeconds >= 1 && options.baud >= 300 &&
         options.spacing.count() >= 100;
}

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options), results_(Names(options)) {}

  int Run() {
    if (options_.bytes)
      upBytes_ = SourceBytes(options_.bytes, 1), downBytes_ = SourceBytes(options_.bytes, 2);
    for (int run = 1; run <= options_.runs; ++run) {
      if (options_.pty) RawPseudoTerminal(run);
      if (options_.machine) Machine(run);
      for (const char* test : kAllTests)
        for (std::size_t c = 0; c < options_.commands.size(); ++c)
          if (options_.commands[c].tests.count(test)) Measure(run, test, c);
    }
    results_.Print();
    std::printf("failures=%d\n", failures_);
    return failures_ ? 1 : 0;
  }

 private:
  static std::vector<std::string> Names(const Options& options) {
    std::vector<std::string> names;
    for (const auto& command : options.commands) names.push_back(command.name);
    names.push_back("pty-raw");
    names.push_back("machine");
    return names;
  }

  void RawPseudoTerminal(int run);
  void Machine(int run);
  void Measure(int run, const std::string& test, std::size_t c);
  void Throughput(RelayProcess& relay, bool up, std::size_t c, int run);
  void Latency(RelayProcess& relay, bool up, std::size_t c, int run);
  void Idle(RelayProcess& relay, std::size_t c, int run);
  void PacedRun(RelayProcess& relay, std::size_t c, int run);

  const Options& options_;
  Results results_;
  std::string upBytes_, downBytes_;
  int failures_ = 0;
};

void Bench::RawPseudoTerminal(int run) {
  for (const bool toSlave : {true, false}) {
    try {
      // The pseudo-terminal alone, as the bytes would move without a relay.
      PseudoTerminalPair pair;
      const auto moved = Stream(toSlave ? pair.Master() : pair.Slave(),
                                toSlave ? pair.Slave() : pair.Master(), upBytes_, 4096, ::getpid());
      results_.Add(toSlave ? "pty_m2s_MBps" : "pty_s2m_MBps", options_.commands.size(),
                   moved.megabytesPerSecond, "MB/s");
      std::printf("run %d pty %s: %.1f MB/s\n", run, toSlave ? "master->slave" : "slave->master",
                  moved.megabytesPerSecond);
    } catch (const std::exception& e) {
      std::printf("FAIL run %d pty: %s\n", run, e.what());
      ++failures_;
    }
  }
}

void Bench::Machine(int run) {
  try {
    const std::size_t row = options_.commands.size() + 1;
    // As often and as far apart as the latency test's messages.
    const auto late = TimerLateness(options_.messages, options_.spacing);
    results_.Add("machine_timer_late_med", row, Quantile(late, 0.5), "us");
    results_.Add("machine_timer_late_p99", row, Quantile(late, 0.99), "us");
    const auto cost = PingPong(20000);
    const double perWakeup = cost.wakeups ? cost.cpuSeconds * 1e6 / double(cost.wakeups) : 0;
    if (cost.wakeups) results_.Add("machine_cpu_us_per_wakeup", row, perWakeup, "us");
    std::printf(
        "run %d machine: a bare thread wakes %.1f us late (median), %.1f us (p99), %.1f us (max); "
        "%lld bare wake-ups cost %.2f us of CPU each\n",
        run, Quantile(late, 0.5), Quantile(late, 0.99), late.empty() ? 0.0 : late.back(), cost.wakeups,
        perWakeup);
  } catch (const std::exception& e) {
    std::printf("FAIL run %d machine: %s\n", run, e.what());
    ++failures_;
  }
}

void Bench::Measure(int run, const std::string& test, std::size_t c) {
  const Command& command = options_.commands[c];
  try {
    RelayProcess relay(command.line, std::chrono::milliseconds(options_.settleMs));
    if (test == "s2t" || test == "t2s")
      Throughput(relay, test == "s2t", c, run);
    else if (test == "lat_s2t" || test == "lat_t2s")
      Latency(relay, test == "lat_s2t", c, run);
    else if (test == "idle")
      Idle(relay, c, run);
    else
      PacedRun(relay, c, run);
    relay.Stop();
    if (!relay.EndedByItself())
      std::printf("    %s did not end when the connection closed\n", command.name.c_str());
    if (test == "paced")
      for (const auto& [key, value] : relay.Report()) {
        results_.Add("paced_" + key, c, value, "");
        std::printf("    %s %s = %.3f\n", command.name.c_str(), key.c_str(), value);
      }
  } catch (const std::exception& e) {
    std::printf("FAIL run %d %s %s: %s\n", run, test.c_str(), command.name.c_str(), e.what());
    ++failures_;
  }
  std::fflush(stdout);
}

void Bench::Throughput(RelayProcess& relay, bool up, std::size_t c, int run) {
  const std::string& bytes = up ? upBytes_ : downBytes_;
  const auto moved = up ? Stream(relay.Master(), relay.Tcp(), bytes, 4096, relay.Pid())
                        : Stream(relay.Tcp(), relay.Master(), bytes, 65536, relay.Pid());
  const double perBlock = moved.cpuSeconds * double(64u << 20) / double(bytes.size());
  const std::string way = up ? "s2t" : "t2s";
  results_.Add(way + "_MBps", c, moved.megabytesPerSecond, "MB/s");
  results_.Add(way + "_cpu", c, perBlock, "s/64MiB");
  std::printf("run %d %s %s: %.1f MB/s, %.3f CPU s per 64 MiB, all %zu bytes checked\n", run, way.c_str(),
              options_.commands[c].name.c_str(), moved.megabytesPerSecond, perBlock, bytes.size());
}

void Bench::Latency(RelayProcess& relay, bool up, std::size_t c, int run) {
  const auto before = ContextSwitches(relay.Pid());
  const auto latencies = up ? Latencies(relay.Master(), relay.Tcp(), options_.messages, options_.spacing)
                            : Latencies(relay.Tcp(), relay.Master(), options_.messages, options_.spacing);
  // Each message is a block of its own: the wake-ups it costs, per thread (the warm-up ones too).
  const double messages = options_.messages + 10;
  const auto byThread = SwitchesBetween(before, ContextSwitches(relay.Pid()));
  double wakeups = 0;
  std::string threads;
  for (const auto& [name, counts] : byThread) {
    wakeups += double(counts.voluntary);
    char share[64];
    std::snprintf(share, sizeof share, " %s=%.2f", name.c_str(), double(counts.voluntary) / messages);
    threads += share;
  }
  const std::string way = up ? "lat_s2t" : "lat_t2s";
  const double median = Quantile(latencies, 0.5), p99 = Quantile(latencies, 0.99);
  results_.Add(way + "_med", c, median, "us");
  results_.Add(way + "_p99", c, p99, "us");
  // Serial->TCP waits out the inter-byte time-out by design; what lies beyond it is the relay's.
  const double cut = up ? options_.commands[c].cutMicros : 0;
  if (up) {
    results_.Add(way + "_med_beyond_cut", c, median - cut, "us");
    results_.Add(way + "_p99_beyond_cut", c, p99 - cut, "us");
  }
  results_.Add(way + "_wakeups_per_msg", c, wakeups / messages, "");
  std::printf(
      "run %d %s %s: median %.1f us, p99 %.1f us, max %.1f us (time-out %.0f us); wake-ups a message:%s\n",
      run, way.c_str(), options_.commands[c].name.c_str(), median, p99, latencies.back(), cut,
      threads.c_str());
}

void Bench::Idle(RelayProcess& relay, std::size_t c, int run) {
  std::this_thread::sleep_for(std::chrono::seconds(1));  // past the connection's own log lines
  const auto before = ContextSwitches(relay.Pid());
  const double cpuBefore = CpuSeconds(relay.Pid());
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(options_.idleSeconds));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto byThread = SwitchesBetween(before, ContextSwitches(relay.Pid()));
  const double cpu = CpuSeconds(relay.Pid()) - cpuBefore;
  // Still open and connected: one message each way comes through.
  Latencies(relay.Master(), relay.Tcp(), 1, std::chrono::milliseconds(2));
  Latencies(relay.Tcp(), relay.Master(), 1, std::chrono::milliseconds(2));
  long long voluntary = 0;
  std::string threads;
  for (const auto& [name, counts] : byThread) {
    voluntary += counts.voluntary;
    threads += " " + name + "=" + std::to_string(counts.voluntary) + "+" + std::to_string(counts.involuntary);
  }
  results_.Add("idle_wakeups_per_s", c, double(voluntary) / seconds, "/s");
  results_.Add("idle_switches_per_s", c, double(TotalSwitches(byThread)) / seconds, "/s");
  results_.Add("idle_cpu_pct", c, cpu / seconds * 100, "% of a core");
  std::printf(
      "run %d idle %s: %.2f wake-ups/s over %.1f s, %.2f%% CPU; per thread (voluntary+involuntary):%s\n", run,
      options_.commands[c].name.c_str(), double(voluntary) / seconds, seconds, cpu / seconds * 100,
      threads.c_str());
}

void Bench::PacedRun(RelayProcess& relay, std::size_t c, int run) {
  const auto paced = Paced(relay.Master(), relay.Tcp(), relay.Pid(), options_.baud,
                           std::chrono::seconds(options_.pacedSeconds));
  const double cpuPercent = paced.cpuSeconds / paced.seconds * 100;
  results_.Add("paced_cpu_pct", c, cpuPercent, "% of a core");
  results_.Add("paced_wakeups_per_s", c, double(paced.wakeups) / paced.seconds, "/s");
  results_.Add("paced_switches_per_s", c, double(paced.switches) / paced.seconds, "/s");
  // What a wake-up costs on this machine, its work included: with the count, what a budget can pay for.
  if (paced.wakeups > 0)
    results_.Add("paced_cpu_us_per_wakeup", c, paced.cpuSeconds * 1e6 / double(paced.wakeups), "us");
  std::printf("run %d paced %s: %zu bytes in %zu blocks each way in %.1f s, %.2f%% CPU, %.0f wake-ups/s\n",
              run, options_.commands[c].name.c_str(), paced.bytesEachWay, paced.blocksEachWay, paced.seconds,
              cpuPercent, double(paced.wakeups) / paced.seconds);
}

}  // namespace
}  // namespace relaybench

int main(int argc, char** argv) {
  relaybench::Options options;
  if (!relaybench::Parse(argc, argv, options)) return relaybench::Usage();
  ::signal(SIGPIPE, SIG_IGN);
  ::alarm(3 * 3600);  // a bound on the whole bench, whatever hangs
  for (std::size_t c = 0; c < options.commands.size(); ++c)
    std::printf("%s: %s\n", options.commands[c].name.c_str(), options.commands[c].line.c_str());
  std::printf("runs=%d bytes=%zu msgs=%d every %lld us, paced %d s at %d baud, idle %d s\n", options.runs,
              options.bytes, options.messages, (long long)options.spacing.count(), options.pacedSeconds,
              options.baud, options.idleSeconds);
  return relaybench::Bench(options).Run();
}
