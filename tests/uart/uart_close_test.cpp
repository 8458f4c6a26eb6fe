// What a close and an idle port cost on a real UART: a close waits until the driver has sent what
// was written, and an idle open port wakes at most about once a second.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "tests/comm/serialfixture.h"
#include "tests/support/process.h"
#include "tests/uart/pattern.h"
#include "tests/uart/rig.h"

namespace {
using namespace std::chrono_literals;

// Voluntary and preempted switches alike: a thread that spins is a cost too.
std::map<long, unsigned long> Switches() { return ThreadWakeups(true); }
}  // namespace

// The far end stops reading, so the bytes back up through QEMU into the driver's queue; a write
// counts as written only once the driver has sent it, so it stays pending meanwhile. Close must
// still deliver every byte the component accepted, and the port must open again.
TEST(UartClose, WaitsForTransmittedBytes) {
  uart::FarEnd far;
  const int side = ::open(uart::Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(side, 0);
  far.Send("sink 1000");
  std::string written;
  {
    TRecordedPort p(uart::Device());
    p.port.SetBaudRate(115200);
    p.port.Open();
    int queued = 0;
    // A kilobyte at a time until one stays pending: the component writes a block at a time and
    // counts it written only once the driver has sent it, so the driver holds part of that block.
    bool backedUp = false;
    while (!backedUp && written.size() < 512 * 1024) {
      const std::string chunk = uart::Pattern(31, written.size() + 1024).substr(written.size());
      ASSERT_TRUE(p.port.WriteData(chunk.data(), static_cast<WORD>(chunk.size())));
      written += chunk;
      backedUp = !PumpUntil([&] { return p.port.PendingWriteBytes() == 0; }, 3s);
    }
    ASSERT_TRUE(backedUp) << "the line never backed up";
    ASSERT_EQ(::ioctl(side, TIOCOUTQ, &queued), 0);
    ASSERT_GT(queued, 0) << "nothing held in the driver";
    // What the driver holds is still pending: it has not been sent.
    EXPECT_GE(p.port.PendingWriteBytes(), static_cast<std::size_t>(queued));
    std::printf("closing with %d bytes in the driver, %zu written\n", queued, written.size());
    // The far end reads again as Close starts; Close waits while the queue moves (it gives up only
    // on one that stands still).
    far.Send("go");
    p.port.Close();
    EXPECT_EQ(p.hangups, 0);
  }
  ::close(side);
  const std::string reply = far.Await();
  EXPECT_EQ(reply.rfind("ok", 0), 0u) << reply;
  EXPECT_EQ(uart::Field(reply, "rx"), static_cast<long>(written.size()));
  EXPECT_EQ(reply.substr(reply.find("digest=") + 7), std::to_string(uart::Digest(written)));
  TRecordedPort again(uart::Device());
  again.port.Open();
  ASSERT_TRUE(again.port.WriteData("x", 1));
  EXPECT_EQ(far.Call("drain 300"), "ok 1");
  again.port.Close();
}

// Only the port's two threads are counted: the test's own thread pumps on purpose.
TEST(UartIdle, AtMostOneWakeUpPerSecond) {
  const auto before = Switches();
  TRecordedPort p(uart::Device());
  p.port.Open();
  PumpFor(1s);
  auto start = Switches();
  for (auto it = start.begin(); it != start.end();)
    it = before.count(it->first) ? start.erase(it) : std::next(it);
  ASSERT_EQ(start.size(), 2u) << "an open port has its receive and transmit threads";
  std::this_thread::sleep_for(5s);  // no pumping: the UI thread does not wake the threads
  const auto end = Switches();
  long wakeups = 0;
  for (auto& [id, count] : start) wakeups += long(end.at(id) - count);
  std::printf("idle open port: %ld wake-ups of its threads in 5 s\n", wakeups);
  EXPECT_LE(wakeups, 5 + 2);
  p.port.Close();
}
