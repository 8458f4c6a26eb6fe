// Every line setting the console offers, through the component into the 8250 driver, read back
// on a descriptor of our own; and bytes both ways byte-exact through the UART.
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "tests/comm/serialfixture.h"
#include "tests/uart/pattern.h"
#include "tests/uart/rig.h"

namespace {
using namespace std::chrono_literals;

// The driver's view of the line, independent of the component's descriptor.
termios2 DriverLine() {
  termios2 t{};
  const int fd = ::open(uart::Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  if (fd < 0) return t;
  EXPECT_EQ(::ioctl(fd, TCGETS2, &t), 0);
  ::close(fd);
  return t;
}

// The rates of the console's list. A 16550 counts from a 1.8432 MHz clock, so 115200 is its top:
// above it the driver keeps the rate it had, which the read-back of an opening refuses.
const std::vector<DWORD> kConsoleRates = {110,   300,   600,   1200,   4800,   9600,  19200,
                                          38400, 56000, 57600, 115200, 128000, 256000};
}  // namespace

TEST(UartLines, EveryRateReachesTheDriver) {
  TRecordedPort p(uart::Device());
  p.port.Open();
  for (DWORD rate : kConsoleRates) {
    p.port.SetBaudRate(9600);
    p.port.SetBaudRate(rate);
    const termios2 t = DriverLine();
    std::printf("rate %u -> driver %u\n", rate, t.c_ospeed);
    if (rate <= 115200) {
      EXPECT_EQ(t.c_ospeed, rate) << rate;
      EXPECT_EQ(t.c_ispeed, rate) << rate;
    } else {
      EXPECT_EQ(t.c_ospeed, 9600u) << rate << " is beyond the 16550's clock: the driver keeps 9600";
    }
  }
  EXPECT_EQ(p.hangups, 0);
  p.port.Close();
  // Opening at a rate the clock cannot make fails with that cause; it never runs at another rate.
  for (DWORD rate : {128000u, 256000u}) {
    TRecordedPort beyond(uart::Device());
    beyond.port.SetBaudRate(rate);
    try {
      beyond.port.Open();
      ADD_FAILURE() << rate << " opened; the driver runs at " << DriverLine().c_ospeed;
      beyond.port.Close();
    } catch (const ESerialError& e) {
      EXPECT_TRUE(e.Cause().Is(TErrorDomain::Own, owncause::BaudRateRefused)) << rate << ": " << e.Message();
    }
    EXPECT_FALSE(beyond.port.WriteData("x", 1)) << "left open";
  }
}

TEST(UartLines, EveryFramingReachesTheDriver) {
  TRecordedPort p(uart::Device());
  p.port.Open();
  const TByteSize sizes[] = {TByteSize::_5, TByteSize::_6, TByteSize::_7, TByteSize::_8};
  const tcflag_t sizeBits[] = {CS5, CS6, CS7, CS8};
  const TParity parities[] = {TParity::None, TParity::Odd, TParity::Even, TParity::Mark, TParity::Space};
  const tcflag_t parityBits[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
  const TStopBits stops[] = {TStopBits::_1, TStopBits::_1_5, TStopBits::_2};
  for (int s = 0; s < 4; ++s)
    for (int q = 0; q < 5; ++q)
      for (int b = 0; b < 3; ++b) {
        p.port.SetParity(parities[q]);  // the parity is applied with the next line setting
        p.port.SetStopBits(stops[(b + 1) % 3]);
        p.port.SetByteSize(sizes[s]);
        p.port.SetStopBits(stops[b]);
        const termios2 t = DriverLine();
        SCOPED_TRACE(testing::Message() << "size " << s + 5 << " parity " << q << " stop " << b);
        EXPECT_EQ(t.c_cflag & CSIZE, sizeBits[s]);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), parityBits[q]);
        // Linux has one "more than one stop bit": two, or one and a half with five data bits.
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, b != 0);
      }
  p.port.Close();
}

class UartBytes : public ::testing::TestWithParam<DWORD> {};

TEST_P(UartBytes, BothWaysByteExact) {
  const std::size_t count = 64 * 1024;
  uart::FarEnd far;
  TRecordedPort p(uart::Device());
  p.port.SetBaudRate(GetParam());
  p.port.Open();
  far.Send("xfer 0 60000 11 " + std::to_string(count) + " 12 " + std::to_string(count) + " 0");
  const std::string out = uart::Pattern(12, count);
  for (std::size_t at = 0; at < count; at += 4096) ASSERT_TRUE(p.port.WriteData(out.data() + at, 4096));
  ASSERT_TRUE(PumpUntil([&] { return p.Received().size() >= count; }, 60s)) << p.Received().size();
  const std::string reply = far.Await();
  EXPECT_EQ(reply.rfind("ok", 0), 0u) << reply;
  EXPECT_EQ(uart::Field(reply, "rx"), static_cast<long>(count));
  EXPECT_TRUE(p.Received() == uart::Pattern(11, count));
  EXPECT_TRUE(p.errors.empty());
  EXPECT_EQ(p.hangups, 0);
  p.port.Close();
}

INSTANTIATE_TEST_SUITE_P(Rates, UartBytes, ::testing::Values(115200u, 9600u));
