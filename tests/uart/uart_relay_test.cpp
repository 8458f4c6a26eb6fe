// The console as a relay on the real UART, and when the driver's input XON/XOFF (on in the
// window, as the form gives it) sends XOFF and XON to the device.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "tests/comm/serialfixture.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"
#include "tests/uart/pattern.h"
#include "tests/uart/rig.h"

extern char** environ;

namespace {
using namespace std::chrono_literals;

// Runs `argv` as a child; waits for it on destruction (killing it if it outstays the test).
struct Child {
  pid_t pid = -1;
  explicit Child(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0) << args[0];
  }
  // The exit status, or -1 when it did not end within `limit`.
  int Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (pid > 0) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};
}  // namespace

// 1 MiB each way through the window's relay, at the window's defaults, against a server in the
// guest and the device at the far end of the UART. The window asks the driver for input
// XON/XOFF, so the device's bytes may contain anything, while the server's must leave 0x11 and
// 0x13 alone: the driver's own XOFF and XON arrive among them and the device honours them.
TEST(UartRelay, MebibyteEachWayThroughTheConsole) {
  const std::size_t count = 1 << 20;
  loopback::TServer server;
  uart::FarEnd far;
  const long transmittedBefore = uart::DriverCount("tx");
  ASSERT_GE(transmittedBefore, 0) << "no transmit count for " << uart::Device()
                                  << " in /proc/tty/driver/serial";
  Child relay({uart::RelayProgram(), uart::Device(), std::to_string(server.Port())});
  ASSERT_TRUE(PumpUntil([&] { return server.AcceptPending(); }, 30s)) << "the relay did not connect";
  const std::string toDevice = uart::Pattern(22, count, true);
  std::string fromDevice;
  std::size_t sent = 0;
  const auto serve = [&] {
    if (sent < count)
      sent += server.SendSome(toDevice.data() + sent, std::min<std::size_t>(count - sent, 16384));
    server.ReadAvailable(fromDevice);
  };
  // The server's accept comes before the console has seen its connection; until it has, the
  // device's bytes are shown but not forwarded, as the window does whenever it is not connected.
  // The console handles its connect notice before its first read notice, so the server's first
  // bytes on the line mean it is relaying: only then does the device start.
  ASSERT_TRUE(PumpUntil(
      [&] {
        serve();
        return uart::DriverCount("tx") > transmittedBefore;
      },
      30s))
      << "the server's bytes never reached the line";
  const auto started = std::chrono::steady_clock::now();
  far.Send("xfer 0 300000 21 " + std::to_string(count) + " 22 " + std::to_string(count) + " 3");
  std::string reply;
  const bool done = PumpUntil(
      [&] {
        serve();
        if (reply.empty()) far.TryReply(reply);
        return fromDevice.size() >= count && !reply.empty();
      },
      300s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(done) << "sent " << sent << ", from the device " << fromDevice.size()
                    << " (the driver received " << uart::DriverCount("rx") << " in all), far end: " << reply;
  EXPECT_EQ(reply.rfind("ok", 0), 0u) << reply;
  EXPECT_EQ(fromDevice.size(), count);
  EXPECT_TRUE(fromDevice == uart::Pattern(21, count, true)) << "bytes from the device differ";
  std::printf("relay 1 MiB each way in %.1f s; the device got XOFF %ld times, XON %ld times\n", seconds,
              uart::Field(reply, "xoff"), uart::Field(reply, "xon"));
  EXPECT_EQ(uart::Field(reply, "xoff"), uart::Field(reply, "xon")) << "the device was left stopped";
  server.Close();
  EXPECT_EQ(relay.Wait(30s), 0);
}

// Input XON/XOFF as the window sets it: at which load the driver tells the device to stop. The
// receive thread reads whatever the driver holds, so XOFF comes only when the device outruns it:
// here, when busy threads starve the guest's only processor.
TEST(UartFlow, XoffOnlyWhenTheDeviceOutrunsTheReader) {
  struct Load {
    DWORD rate;  // the far end's pace; 0: as fast as QEMU takes bytes
    std::size_t bytes;
    int busyThreads;
  };
  const Load loads[] = {{9600, 2048, 0}, {115200, 16384, 0}, {0, 32768, 0}, {0, 32768, 3}};
  uart::FarEnd far;
  TRecordedPort p(uart::Device());
  p.port.SetInx_XonXoffFlow(true);  // the window's line: XOFF/XON to the device, none from it
  p.port.SetBaudRate(115200);
  p.port.Open();
  unsigned seed = 40;
  for (const Load& load : loads) {
    SCOPED_TRACE(testing::Message() << "pace " << load.rate << " Bd, " << load.bytes << " bytes");
    p.blocks.clear();
    std::atomic<bool> busy{true};
    std::vector<std::thread> hogs;
    for (int i = 0; i < load.busyThreads; ++i)
      hogs.emplace_back([&] {
        while (busy.load(std::memory_order_relaxed)) {
        }
      });
    const auto started = std::chrono::steady_clock::now();
    const std::string reply =
        far.Call("xfer " + std::to_string(load.rate) + " 120000 " + std::to_string(++seed) + " " +
                     std::to_string(load.bytes) + " 0 0 2",
                 150s);
    busy = false;
    for (auto& h : hogs) h.join();
    ASSERT_EQ(reply.rfind("ok", 0), 0u) << reply;
    ASSERT_TRUE(PumpUntil([&] { return p.Received().size() >= load.bytes; }, 30s));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(p.Received() == uart::Pattern(seed, load.bytes));
    std::printf(
        "XON/XOFF: %zu bytes at %s, %d busy threads: %.0f bytes/s, XOFF %ld, XON %ld, first XOFF after %ld "
        "bytes\n",
        load.bytes, load.rate ? (std::to_string(load.rate) + " Bd").c_str() : "full speed", load.busyThreads,
        static_cast<double>(load.bytes) / seconds, uart::Field(reply, "xoff"), uart::Field(reply, "xon"),
        uart::Field(reply, "firstxoff"));
    EXPECT_EQ(uart::Field(reply, "xoff"), uart::Field(reply, "xon"));
    // At a real line's pace the reader keeps up.
    if (load.rate && !load.busyThreads) {
      EXPECT_EQ(uart::Field(reply, "xoff"), 0);
    }
  }
  EXPECT_EQ(p.hangups, 0);
  p.port.Close();
}
