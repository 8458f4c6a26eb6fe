// A port's by-id link and USB description from a /dev and /sys tree, and the watch that tells
// when device nodes come and go.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "platform/devices/devwatch.h"
#include "platform/devices/serialinfo.h"
#include "tests/support/pump.h"

namespace fs = std::filesystem;

namespace {
// A USB adapter as the kernel and udev show it: the tty's device three levels below the USB
// device that carries the maker, product and serial number.
void AddUsbAdapter(const fs::path& root, const std::string& tty, const std::string& link) {
  const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
  fs::create_directories(usb / "1-2:1.0" / tty);
  std::ofstream(usb / "idVendor") << "0403\n";
  std::ofstream(usb / "manufacturer") << "FTDI\n";
  std::ofstream(usb / "product") << "FT232R USB UART\n";
  std::ofstream(usb / "serial") << "A10K3J2Q\n";
  fs::create_directories(root / "sys/class/tty" / tty);
  fs::create_directory_symlink("../../../devices/pci0000:00/usb1/1-2/1-2:1.0/" + tty,
                               root / "sys/class/tty" / tty / "device");
  fs::create_directories(root / "dev/serial/by-id");
  std::ofstream(root / "dev" / tty);
  fs::create_symlink("../../" + tty, root / "dev/serial/by-id" / link);
}
}  // namespace

TEST(SerialInfo, DescribesAUsbAdapterAndFollowsItsLink) {
  QTemporaryDir dir;
  const fs::path root = dir.path().toStdString();
  const std::string link = "usb-FTDI_FT232R_USB_UART_A10K3J2Q-if00-port0";
  AddUsbAdapter(root, "ttyUSB0", link);
  const TSerialPortInfo info =
      DescribeSerialPort("ttyUSB0", (root / "dev").string(), (root / "sys/class/tty").string());
  EXPECT_EQ(info.byIdLink, (root / "dev/serial/by-id" / link).string());
  EXPECT_EQ(info.maker, "FTDI");
  EXPECT_EQ(info.product, "FT232R USB UART");
  EXPECT_EQ(info.serial, "A10K3J2Q");
  EXPECT_EQ(ResolveByIdLink(info.byIdLink), "ttyUSB0");

  // Plugged in again under another name: udev points the same link at it.
  fs::remove(root / "dev/ttyUSB0");
  EXPECT_EQ(ResolveByIdLink(info.byIdLink), "");  // the link dangles: the device is gone
  std::ofstream(root / "dev/ttyUSB1");
  fs::remove(root / "dev/serial/by-id" / link);
  fs::create_symlink("../../ttyUSB1", root / "dev/serial/by-id" / link);
  EXPECT_EQ(ResolveByIdLink(info.byIdLink), "ttyUSB1");

  // A port on the mainboard has neither.
  fs::create_directories(root / "sys/devices/platform/serial8250/tty/ttyS0");
  fs::create_directories(root / "sys/class/tty/ttyS0");
  fs::create_directory_symlink(root / "sys/devices/platform/serial8250/tty/ttyS0",
                               root / "sys/class/tty/ttyS0/device");
  const TSerialPortInfo plain =
      DescribeSerialPort("ttyS0", (root / "dev").string(), (root / "sys/class/tty").string());
  EXPECT_EQ(plain.byIdLink, "");
  EXPECT_EQ(plain.maker, "");
  EXPECT_EQ(DescribeSerialPort("ttyS0", "/nonexistent/dev", "/nonexistent/sys").byIdLink, "");
}

TEST(DeviceWatch, NodesComingAndGoingAreToldOnceABurstAndNewFoldersAreWatchedToo) {
  QTemporaryDir dir;
  const fs::path dev = dir.path().toStdString();
  int calls = 0;
  TDeviceWatch watch({dev.string(), (dev / "serial").string(), (dev / "serial/by-id").string()},
                     [&] { ++calls; });
  ASSERT_TRUE(watch.Active());
  PumpFor(std::chrono::milliseconds(TDeviceWatch::SettleMs * 2));
  EXPECT_EQ(calls, 0);  // nothing happened, nothing is told

  for (int i = 0; i < 5; ++i) std::ofstream(dev / ("ttyACM" + std::to_string(i)));
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }, std::chrono::milliseconds(5000)));
  PumpFor(std::chrono::milliseconds(TDeviceWatch::SettleMs * 2));
  EXPECT_EQ(calls, 1);

  // /dev/serial/by-id appears with the first USB adapter; a link in it is then noticed alone.
  fs::create_directories(dev / "serial/by-id");
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }, std::chrono::milliseconds(5000)));
  PumpFor(std::chrono::milliseconds(TDeviceWatch::SettleMs * 2));
  fs::create_symlink("../../ttyACM0", dev / "serial/by-id/usb-x");
  ASSERT_TRUE(PumpUntil([&] { return calls == 3; }, std::chrono::milliseconds(5000)));
  fs::remove(dev / "ttyACM3");
  ASSERT_TRUE(PumpUntil([&] { return calls == 4; }, std::chrono::milliseconds(5000)));
}
