// What an open port costs while nothing moves: wake-ups of its two threads per second, on a
// pseudo-terminal and on a fake that answers modem-line and counter requests as a UART does.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/comm/serialfixture.h"
#include "tests/support/fake_serial.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"

namespace {
using namespace std::chrono_literals;

// Wake-ups per second of the threads that opening `name` started, over `span` of idleness.
double IdleWakeupsPerSecond(const std::string& name, std::chrono::seconds span) {
  // A sanitizer starts its helper thread with the first thread made; let that be now.
  std::thread([] {}).join();
  const auto before = ThreadWakeups();
  TRecordedPort p(name);
  p.port.Open();
  EXPECT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  std::this_thread::sleep_for(300ms);  // past the start-up
  const auto start = ThreadWakeups();
  std::this_thread::sleep_for(span);
  const auto end = ThreadWakeups();
  p.port.Close();
  unsigned long wakeups = 0, threads = 0;
  for (const auto& [tid, count] : end) {
    if (before.count(tid) || !start.count(tid)) continue;
    wakeups += count - start.at(tid);
    ++threads;
  }
  EXPECT_EQ(threads, 2u);
  return double(wakeups) / double(span.count());
}
}  // namespace

TEST(IdlePort, WakesAtMostAboutOnceASecond) {
  TPseudoTerminal pty;
  const double onPty = IdleWakeupsPerSecond(pty.Path(), 4s);
  TFakeSerialPort fake("fakeIdle0");
  fake.LooksOnly();
  const double onUart = IdleWakeupsPerSecond(fake.Name(), 4s);
  std::printf("idle wake-ups per second: pseudo-terminal %.2f, UART-like %.2f\n", onPty, onUart);
  RecordProperty("pty", std::to_string(onPty));
  RecordProperty("uart", std::to_string(onUart));
  // One look a second at the lines; room for a stray wake-up on a loaded machine.
  EXPECT_LE(onPty, 1.5);
  EXPECT_LE(onUart, 1.5);
}
