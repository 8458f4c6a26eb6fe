// Modem lines, error counters and break through the 8250 driver's own ioctls, and the
// component's open/close cycle on a real driver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "tests/comm/serialfixture.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/uart/pattern.h"
#include "tests/uart/rig.h"

namespace {
using namespace std::chrono_literals;

// The kernel's bits for the UART's spare outputs and loopback (glibc leaves them out).
constexpr int TIOCM_OUT1 = 0x2000;
constexpr int TIOCM_LOOP = 0x8000;

// A second descriptor on the device (root may open past TIOCEXCL), for ioctls beside the component.
struct Side {
  int fd = ::open(uart::Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ~Side() {
    if (fd >= 0) ::close(fd);
  }
  int Lines() const {
    int bits = -1;
    EXPECT_EQ(::ioctl(fd, TIOCMGET, &bits), 0) << std::strerror(errno);
    return bits;
  }
  void Lines(unsigned long request, int bits) const {
    EXPECT_EQ(::ioctl(fd, request, &bits), 0) << std::strerror(errno);
  }
};

// Loopback leaves the line as the test found it, whatever the test's outcome.
struct Loopback {
  const Side& side;
  explicit Loopback(const Side& s) : side(s) { side.Lines(TIOCMBIS, TIOCM_LOOP); }
  ~Loopback() { side.Lines(TIOCMBIC, TIOCM_LOOP | TIOCM_OUT1); }
};

void Ignore(int) {}
}  // namespace

TEST(UartModem, LinesAndCountersAnswerWhileIdleWithoutBusyLoop) {
  Side side;
  ASSERT_GE(side.fd, 0);
  TRecordedPort p(uart::Device());
  p.port.Open();
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  // QEMU's UART with a pseudo-terminal behind it holds carrier, DSR and CTS up.
  const int bits = side.Lines();
  EXPECT_EQ(bits & (TIOCM_CD | TIOCM_DSR | TIOCM_CTS), TIOCM_CD | TIOCM_DSR | TIOCM_CTS);
  EXPECT_EQ(bits & (TIOCM_DTR | TIOCM_RTS), TIOCM_DTR | TIOCM_RTS) << "the component raises DTR and RTS";
  serial_icounter_struct before{};
  ASSERT_EQ(::ioctl(side.fd, TIOCGICOUNT, &before), 0) << std::strerror(errno);

  const double cpu = ProcessCpuSeconds();
  PumpFor(2s);
  const double used = ProcessCpuSeconds() - cpu;
  std::printf("idle open port: %.3f s of CPU in 2 s (pumping included)\n", used);
  EXPECT_LT(used, 0.5);  // pumping the UI thread every few milliseconds costs some; a spin costs 2 s
  serial_icounter_struct after{};
  ASSERT_EQ(::ioctl(side.fd, TIOCGICOUNT, &after), 0);
  EXPECT_EQ(after.frame + after.parity + after.overrun + after.buf_overrun + after.brk,
            before.frame + before.parity + before.overrun + before.buf_overrun + before.brk);
  EXPECT_TRUE(p.errors.empty());
  EXPECT_TRUE(p.modem.empty());
  EXPECT_EQ(p.hangups, 0);
  p.port.Close();
}

// In loopback the 16550 feeds its own outputs back (OUT1 to RI, DTR to DSR): the component sees
// line changes through the driver's TIOCMGET.
TEST(UartModem, RingThroughLoopbackReachesTheComponent) {
  Side side;
  ASSERT_GE(side.fd, 0);
  TRecordedPort p(uart::Device());
  p.port.Open();
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  {
    Loopback loop(side);
    PumpFor(500ms);
    p.modem.clear();
    side.Lines(TIOCMBIS, TIOCM_OUT1);
    EXPECT_TRUE(side.Lines() & TIOCM_RNG);
    ASSERT_TRUE(PumpUntil([&] { return !p.modem.empty(); }, 5s)) << "no modem event for the ring";
    EXPECT_TRUE(p.modem.front() & 4) << p.modem.front();
    // DTR dropped by the component shows on DSR.
    p.port.SetDtrControl(TDtrControl::DtrDisable);
    EXPECT_FALSE(side.Lines() & TIOCM_DSR);
    p.port.SetDtrControl(TDtrControl::DtrEnable);
    EXPECT_TRUE(side.Lines() & TIOCM_DSR);
  }
  EXPECT_EQ(p.hangups, 0);
  p.port.Close();
}

// TIOCMIWAIT sleeps in the driver until a line changes or a signal comes: no error, no CPU.
TEST(UartModem, LineWaitSleepsInTheDriver) {
  Side side;
  ASSERT_GE(side.fd, 0);
  struct sigaction action {};
  action.sa_handler = Ignore;  // no SA_RESTART: the wait returns with EINTR
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
  std::atomic<int> result{1}, error{0};
  std::atomic<bool> started{false};
  const double cpu = ProcessCpuSeconds();
  std::thread waiter([&] {
    started = true;
    result = ::ioctl(side.fd, TIOCMIWAIT, TIOCM_CD | TIOCM_DSR | TIOCM_CTS | TIOCM_RNG);
    error = errno;
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(result.load(), 1) << "the wait returned without a change";
  EXPECT_LT(ProcessCpuSeconds() - cpu, 0.3);
  pthread_kill(waiter.native_handle(), SIGUSR1);
  waiter.join();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(result.load(), -1);
  EXPECT_EQ(error.load(), EINTR);
}

// QEMU's UART takes a break (the driver's TIOCSBRK/TIOCCBRK answer), but a pseudo-terminal
// cannot carry one to the far end, nor bring one in.
TEST(UartModem, BreakIsTakenAndTheLineCarriesOn) {
  uart::FarEnd far;
  Side side;
  ASSERT_GE(side.fd, 0);
  EXPECT_EQ(::ioctl(side.fd, TIOCSBRK), 0) << std::strerror(errno);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(::ioctl(side.fd, TIOCCBRK), 0) << std::strerror(errno);
  EXPECT_EQ(::ioctl(side.fd, TCSBRK, 0), 0) << std::strerror(errno);  // tcsendbreak
  TRecordedPort p(uart::Device());
  p.port.Open();
  far.Send("xfer 0 10000 0 0 5 300 0");
  const std::string out = uart::Pattern(5, 300);
  ASSERT_TRUE(p.port.WriteData(out.data(), 300));
  const std::string reply = far.Await();
  EXPECT_EQ(reply.rfind("ok", 0), 0u) << reply;
  p.port.Close();
}

TEST(UartModem, HundredOpenCloseCyclesLeaveNothingBehind) {
  uart::FarEnd far;
  Side side;
  ASSERT_GE(side.fd, 0);
  const std::size_t threads = CountThreads(), descriptors = CountOpenDescriptors();
  for (int i = 0; i < 100; ++i) {
    TRecordedPort p(uart::Device());
    p.port.Open();
    if (i % 10 == 0) {  // and the port works on every tenth
      ASSERT_TRUE(p.port.WriteData("cycle", 5));
      ASSERT_TRUE(PumpUntil([&] { return p.empties >= 1 && p.port.PendingWriteBytes() == 0; }))
          << "cycle " << i;
      // Out of the driver before closing: whether a close waits for that is checked on its own.
      int queued = -1;
      ASSERT_TRUE(PumpUntil([&] { return ::ioctl(side.fd, TIOCOUTQ, &queued) == 0 && queued == 0; }));
      std::this_thread::sleep_for(5ms);
    }
    p.port.Close();
  }
  EXPECT_TRUE(PumpUntil([&] { return CountThreads() == threads; }, 5s))
      << CountThreads() << " vs " << threads;
  EXPECT_EQ(CountOpenDescriptors(), descriptors);
  // What the cycles sent arrived whole.
  const std::string reply = far.Call("drain 500");
  EXPECT_EQ(reply, "ok 50");
  TRecordedPort p(uart::Device());
  p.port.Open();
  p.port.Close();
}
