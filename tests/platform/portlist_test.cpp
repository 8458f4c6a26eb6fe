#include "platform/portlist.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(PortList, RealDevicesOnlyAndEmpty8250SlotsSkipped) {
  QTemporaryDir root;
  const fs::path tty = root.path().toStdString();
  auto port = [&](const char* name, bool device, const char* type) {
    fs::create_directories(tty / name);
    if (device) fs::create_directories(tty / name / "device");
    if (type) std::ofstream(tty / name / "type") << type << "\n";
  };
  port("ttyUSB0", true, nullptr);
  port("ttyS0", true, "4");      // a real 16550A
  port("ttyS1", true, "0");      // an 8250 slot with no UART
  port("tty1", false, nullptr);  // a virtual console
  port("ttyACM3", true, nullptr);
  std::vector<std::string> names;
  ASSERT_TRUE(EnumerateSerialPorts(tty.string(), names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ttyACM3", "ttyS0", "ttyUSB0"}));
}

TEST(PortList, UnreadableDirectoryFailsAndKeepsTheList) {
  std::vector<std::string> names{"kept"};
  EXPECT_FALSE(EnumerateSerialPorts("/nonexistent/sys/class/tty", names));
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST(PortList, AReadThatFailsPartWayIsAFailureNotAShortList) {
  QTemporaryDir root;
  const fs::path tty = root.path().toStdString();
  for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"})
    fs::create_directories(tty / name / "device");
  // The real directory, whose reading breaks down after two entries, as readdir does on an I/O error.
  auto breaking = [](const std::string& dir, int& error) -> TDirectoryStep {
    TDirectoryStep real = OpenDirectory(dir, error);
    if (!real) return {};
    return [real, read = 0](std::string& name) mutable { return ++read > 2 ? -EIO : real(name); };
  };
  std::vector<std::string> names{"kept"};
  TPlatformError error;
  EXPECT_FALSE(EnumerateSerialPorts(tty.string(), names, &error, breaking));
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
  EXPECT_TRUE(error.Is(TErrorDomain::Errno, EIO));
  EXPECT_EQ(error.subject, tty.string());

  // Unbroken, the same directory gives all four.
  ASSERT_TRUE(EnumerateSerialPorts(tty.string(), names, &error));
  EXPECT_EQ(names.size(), 4u);
  EXPECT_FALSE(EnumerateSerialPorts("/nonexistent/sys/class/tty", names, &error));
  EXPECT_TRUE(error.Is(TErrorDomain::Errno, ENOENT));
}
