// An idle instance stays small and asleep: the goal is under 15 MiB resident and under one
// wake-up a second. Sanitizer builds carry shadow memory and helper threads, so only the
// ordinary build holds it to the goal (bench/service/idle.py prints the figures).
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <thread>

#include "tests/service/serviceprocess.h"
#include "tests/support/loopback.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define COMRELAY_SANITIZED 1
#endif

using namespace std::chrono_literals;

namespace {
long StatusField(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  return -1;
}

long Switches(int pid) {
  long total = 0;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  const std::unique_ptr<DIR, int (*)(DIR*)> tasks(opendir(dir.c_str()), closedir);
  while (const dirent* e = tasks ? readdir(tasks.get()) : nullptr) {
    if (e->d_name[0] == '.') continue;
    const std::string status = dir + "/" + e->d_name + "/status";
    total +=
        StatusField(status, "voluntary_ctxt_switches") + StatusField(status, "nonvoluntary_ctxt_switches");
  }
  return total;
}
}  // namespace

TEST(ServiceIdle, StaysSmallAndAsleep) {
#ifdef COMRELAY_SANITIZED
  GTEST_SKIP() << "figures of a sanitizer build say nothing about the goal";
#endif
  TPseudoTerminal pty;
  loopback::TServer server;
  TServiceProcess relay(
      {"--device", pty.Path(), "--server", "127.0.0.1:" + std::to_string(server.Port()), "--log", "off"});
  ASSERT_TRUE(relay.WaitForOutput("系统：已连接到服务器", 20s)) << relay.Out() << relay.Err();
  ASSERT_TRUE(PumpUntil([&] { return server.AcceptPending(); }, 20s));
  std::this_thread::sleep_for(1s);
  const long before = Switches(relay.Pid());
  std::this_thread::sleep_for(5s);
  const long wakeups = Switches(relay.Pid()) - before;
  const long rssKiB = StatusField("/proc/" + std::to_string(relay.Pid()) + "/status", "VmRSS");
  std::printf("idle service: VmRSS %ld KiB, %ld wake-ups in 5 s\n", rssKiB, wakeups);
  EXPECT_GT(rssKiB, 0);
  EXPECT_LT(rssKiB, 15 * 1024);
  EXPECT_LT(wakeups, 5);
}
