// QEMU's FTDI adapter under the ftdi_sio driver, pulled out mid-transfer (device_del through
// QEMU's machine protocol): the fault met most often in the field.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/comm/serialfixture.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/uart/pattern.h"
#include "tests/uart/rig.h"

namespace {
using namespace std::chrono_literals;
}  // namespace

TEST(UartUsb, UnplugMidTransferIsReportedOnceAndClosesClean) {
  const char* device = std::getenv("UART_USB_DEVICE");
  ASSERT_TRUE(device && *device) << "UART_USB_DEVICE is not set";
  ASSERT_EQ(::access(device, F_OK), 0) << device << " is missing: the adapter did not enumerate";
  uart::FarEnd far;
  const std::size_t threads = CountThreads(), descriptors = CountOpenDescriptors();
  {
    TRecordedPort p(device);
    p.port.SetBaudRate(115200);
    p.port.Open();
    std::printf("usb: open\n");
    std::fflush(stdout);
    const std::string chunk = uart::Pattern(51, 1024);
    // Keep the adapter busy, then pull it.
    PumpUntil(
        [&] {
          if (p.port.PendingWriteBytes() < 8192)
            p.port.WriteData(chunk.data(), static_cast<WORD>(chunk.size()));
          return false;
        },
        500ms);
    std::printf("usb: writing, %zu pending; unplugging\n", p.port.PendingWriteBytes());
    std::fflush(stdout);
    far.Send("unplug ftdi");
    const bool reported = PumpUntil(
        [&] {
          if (p.port.PendingWriteBytes() < 8192)
            p.port.WriteData(chunk.data(), static_cast<WORD>(chunk.size()));
          return p.hangups > 0;
        },
        15s);
    std::string reply;
    ASSERT_TRUE(PumpUntil([&] { return far.TryReply(reply); }, 10s));
    EXPECT_EQ(reply, "ok");
    std::printf("usb: far end answered %s, hang-ups %d\n", reply.c_str(), p.hangups);
    std::fflush(stdout);
    ASSERT_TRUE(reported) << "the component did not report the lost adapter";
    PumpFor(500ms);
    EXPECT_LE(p.hangups, 2) << "one report per thread at most";
    p.port.Close();
    std::printf("usb: closed\n");
  }
  EXPECT_TRUE(PumpUntil([&] { return CountThreads() == threads; }, 5s))
      << CountThreads() << " vs " << threads;
  EXPECT_EQ(CountOpenDescriptors(), descriptors);
  EXPECT_TRUE(PumpUntil([&] { return ::access(device, F_OK) != 0; }, 5s)) << device << " is still there";
  TRecordedPort gone(device);
  EXPECT_EQ(SerialErrorOf([&] { gone.port.Open(); }), OpenFailedText());
}
