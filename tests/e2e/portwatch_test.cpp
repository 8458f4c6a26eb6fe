// The real window and serial component with a fake /dev and /sys tree whose ports are real
// pseudo-terminals: adapters plugged in and pulled out while the window runs.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "main/consoleparts.h"
#include "main/formfeatures.h"
#include "main/formmain.h"
#include "platform/text/codepage.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"

namespace fs = std::filesystem;

class PortWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.path().toStdString();
    tree.devDir = (root / "dev").string();
    tree.ttyClassDir = (root / "sys/class/tty").string();
    fs::create_directories(tree.devDir);
    fs::create_directories(tree.ttyClassDir);
    form = std::make_unique<TFormMain>(MakeConsoleParts(TreePortSource(tree)));
    TFeatureConfig config;
    config.ports = tree;
    features = std::make_unique<TFormFeatures>(*form, config, TConsoleSettings{});
    form->show();
  }
  void TearDown() override {
    features.reset();
    form.reset();
  }

  // An FTDI adapter with this serial number whose device node is the pseudo-terminal.
  std::string Plug(const std::string& tty, const TPseudoTerminal& pty, const std::string& serial) {
    const fs::path usb = root / "sys/devices/usb1" / serial;
    fs::create_directories(usb / "if0" / tty);
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "manufacturer") << "FTDI\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    std::ofstream(usb / "serial") << serial << "\n";
    fs::create_directories(root / "sys/class/tty" / tty);
    fs::create_directory_symlink(usb / "if0" / tty, root / "sys/class/tty" / tty / "device");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink(pty.Path(), root / "dev" / tty);
    const fs::path link = root / "dev/serial/by-id" / ("usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0");
    fs::remove(link);
    fs::create_symlink("../../" + tty, link);
    return tree.devDir + "/" + tty;
  }
  void Unplug(const std::string& tty) {
    fs::remove(root / "dev" / tty);
    fs::remove_all(root / "sys/class/tty" / tty);
  }
  bool Listed(const std::string& port) {
    for (const std::string& item : form->VwCbBoxPort->Items())
      if (item == port) return true;
    return false;
  }

  QTemporaryDir dir;
  fs::path root;
  TPortTree tree;
  std::unique_ptr<TFormMain> form;
  std::unique_ptr<TFormFeatures> features;
};

TEST_F(PortWatch, PortsAppearAndVanishWithTheirDevicesAndTheSelectionFollowsTheAdapter) {
  ASSERT_TRUE(features->Ports().Watching());
  EXPECT_TRUE(form->VwCbBoxPort->Items().empty());

  TPseudoTerminal first;
  const std::string a = Plug("ttyUSB0", first, "A10K3J2Q");
  ASSERT_TRUE(PumpUntil([&] { return Listed(a); }, std::chrono::milliseconds(10000)));
  form->VwCbBoxPort->SetItemIndex(0);
  const QString tip = form->VwCbBoxPort->itemData(0, Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.contains("FT232R USB UART")) << tip.toStdString();
  EXPECT_TRUE(tip.contains("A10K3J2Q"));
  EXPECT_TRUE(tip.contains("usb-FTDI_FT232R_USB_UART_A10K3J2Q-if00-port0"));

  // Another adapter arrives: the selection stays where it was.
  TPseudoTerminal other;
  const std::string b = Plug("ttyACM0", other, "B77");
  ASSERT_TRUE(PumpUntil([&] { return Listed(b); }, std::chrono::milliseconds(10000)));
  EXPECT_EQ(form->VwCbBoxPort->Text(), a);

  // The real component opens the port through the tree.
  QTest::mouseClick(form->VwBtnOpenClose, Qt::LeftButton);
  ASSERT_TRUE(form->SerialOpen());

  // Its node goes while it is open: it stays listed and open until the component reports.
  Unplug("ttyUSB0");
  PumpFor(std::chrono::milliseconds(TDeviceWatch::SettleMs * 3));
  EXPECT_TRUE(Listed(a));
  EXPECT_TRUE(form->SerialOpen());
  EXPECT_EQ(form->VwCbBoxPort->Text(), a);
  QTest::mouseClick(form->VwBtnOpenClose, Qt::LeftButton);
  ASSERT_FALSE(form->SerialOpen());

  // Back under a new name: the by-id link leads the selection to it, ready to open.
  TPseudoTerminal again;
  const std::string c = Plug("ttyUSB1", again, "A10K3J2Q");
  ASSERT_TRUE(PumpUntil([&] { return Listed(c) && !Listed(a); }, std::chrono::milliseconds(10000)));
  EXPECT_EQ(form->VwCbBoxPort->Text(), c);
  EXPECT_EQ(form->Comm->CommName(), c);
  QTest::mouseClick(form->VwBtnOpenClose, Qt::LeftButton);
  EXPECT_TRUE(form->SerialOpen());
  // What is remembered is the link, which outlives the name.
  EXPECT_EQ(features->CurrentSettings().portLink,
            tree.devDir + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J2Q-if00-port0");
  QTest::mouseClick(form->VwBtnOpenClose, Qt::LeftButton);

  // A port that goes while closed and has no successor leaves nothing selected, not another port.
  form->VwCbBoxPort->SetItemIndex(0);
  const std::string chosen = form->VwCbBoxPort->Text();
  Unplug(chosen.substr(chosen.rfind('/') + 1));
  ASSERT_TRUE(PumpUntil([&] { return !Listed(chosen); }, std::chrono::milliseconds(10000)));
  EXPECT_EQ(form->VwCbBoxPort->ItemIndex(), -1);
}

TEST_F(PortWatch, OpeningTheListReadsItAgain) {
  TPseudoTerminal pty;
  features.reset();  // no watch: only the opening of the list can find the new port
  TFeatureConfig config;
  config.ports = tree;
  config.watchDevices = false;
  features = std::make_unique<TFormFeatures>(*form, config, TConsoleSettings{});
  const std::string port = Plug("ttyUSB5", pty, "Z9");
  PumpFor(std::chrono::milliseconds(TDeviceWatch::SettleMs * 2));
  EXPECT_FALSE(Listed(port));
  form->VwCbBoxPort->showPopup();
  EXPECT_TRUE(Listed(port));
  form->VwCbBoxPort->hidePopup();
}
