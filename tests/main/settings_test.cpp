// Settings remembered between runs: written on exit, read back at start, and a missing or
// corrupt file giving the window's own defaults.
#include <QFile>
#include <memory>

#include "main/settingsstore.h"
#include "tests/main/features.h"

namespace {
void WriteFile(const std::string& path, const QByteArray& bytes) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}
}  // namespace

TEST(SettingsStore, RoundTripAndDefaultsForMissingOrCorruptFiles) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("a/b/comrelay.ini").toStdString();
  EXPECT_EQ(LoadSettings(path), TConsoleSettings{});  // no file: no error, the defaults

  TConsoleSettings s;
  s.portLink = "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0";
  s.portName = "ttyUSB3";
  s.baudRate = "115200";
  s.dataBitsIndex = 2;
  s.parityIndex = 4;
  s.stopBitsIndex = 2;
  s.timeout = 0;
  s.host = "plant-gw, line 2";  // a comma must not turn into a list
  s.port = 502;
  s.display = false;
  s.hex = false;
  s.logPaneWidth = 260;
  s.inputXonXoff = false;
  s.language = TConsoleLanguage::English;
  s.logFilePath = "/var/log/comrelay/relay.log";
  ASSERT_TRUE(SaveSettings(path, s));
  EXPECT_EQ(LoadSettings(path), s);

  // Garbage: nothing of it is taken.
  static constexpr char kGarbage[] = "\x00\xff\xfe[[[=\n\x01\x02 serial/baud\n";
  WriteFile(path, QByteArray(kGarbage, sizeof kGarbage - 1) + QByteArray(4096, '\xAB'));
  EXPECT_EQ(LoadSettings(path), TConsoleSettings{});

  // Values out of range, of the wrong kind or cut short each fall back alone.
  WriteFile(
      path,
      "[serial]\nbaud=96x0\ndatabits=7\nparity=-1\nstopbits=1\ntimeout=10001\ninputxonxoff=maybe\n"
      "[network]\nport=123456\nhost=10.0.0.9\n[display]\nshow=false\nlanguage=klingon\npanewidth=abc\n");
  TConsoleSettings expected;
  expected.stopBitsIndex = 1;
  expected.host = "10.0.0.9";
  expected.display = false;
  EXPECT_EQ(LoadSettings(path), expected);

  // A file where the folder should be cannot be written; the caller hears of it.
  EXPECT_FALSE(SaveSettings(path + "/inside.ini", s));
}

TEST_F(FeaturesTest, SettingsAreAppliedAtStartWithoutOpeningAnythingAndSavedOnClose) {
  Create({"ttyS0", "ttyUSB0", "ttyUSB1"});
  TConsoleSettings s;
  s.portName = "ttyUSB1";
  s.baudRate = "57600";
  s.dataBitsIndex = 0;
  s.parityIndex = 2;
  s.stopBitsIndex = 2;
  s.timeout = 7;
  s.host = "192.168.1.20";
  s.port = 4001;
  s.display = false;
  s.hex = false;
  s.logPaneWidth = 240;
  s.inputXonXoff = false;
  Attach(s);
  EXPECT_EQ(form->VwCbBoxPort->Text(), "ttyUSB1");
  EXPECT_EQ(form->VwCbBoxBand->Text(), "57600");
  EXPECT_EQ(form->VwCbBoxParity->ItemIndex(), 2);
  EXPECT_EQ(form->VwSEditTimeOut->Value(), 7);
  EXPECT_EQ(form->VwEdit->Text(), "192.168.1.20");
  EXPECT_EQ(form->VwNumEdit->Value(), 4001);
  EXPECT_FALSE(form->VwCheckBoxDisplay->Checked());
  EXPECT_EQ(form->VwSizePanel1->width(), 240);
  // The component has them for the next open; nothing was opened, connected or logged.
  EXPECT_EQ(serial->CommName(), "ttyUSB1");
  EXPECT_EQ(serial->BaudRate(), 57600u);
  EXPECT_EQ(serial->ByteSize(), endpoint::TByteSize::_5);
  EXPECT_EQ(serial->StopBits(), endpoint::TStopBits::_2);
  EXPECT_EQ(serial->ReadIntervalTimeout(), 7u);
  EXPECT_FALSE(serial->InxXonXoffFlow());
  EXPECT_EQ(serial->openCalls, 0);
  EXPECT_FALSE(net->Active());
  EXPECT_EQ(Lines(), 0u);

  // The operator changes a few things; closing the window writes them.
  form->VwNumEdit->SetValue(4002);
  form->VwCheckBoxHex->SetChecked(true);
  form->close();
  const TConsoleSettings saved = LoadSettings(settingsPath);
  EXPECT_EQ(saved.port, 4002);
  EXPECT_TRUE(saved.hex);
  EXPECT_EQ(saved.portName, "ttyUSB1");
  EXPECT_EQ(saved.baudRate, "57600");
  EXPECT_FALSE(saved.inputXonXoff);
}

TEST_F(FeaturesTest, ASavedPortThatIsGoneLeavesTheFirstPortAndIsRememberedStill) {
  Create({"ttyS0"});
  TConsoleSettings s;
  s.portName = "ttyUSB7";
  s.baudRate = "31250";  // not in the list: the window's own choice stays
  Attach(s);
  EXPECT_EQ(form->VwCbBoxPort->Text(), "ttyS0");
  EXPECT_EQ(form->VwCbBoxBand->Text(), "9600");
  features.reset();
  Create({});
  Attach(s);
  EXPECT_EQ(features->CurrentSettings().portName, "ttyUSB7");
}

TEST_F(FeaturesTest, AnOpenPortWhoseDeviceWentStaysListedUntilItsLossIsReported) {
  auto ports = std::make_shared<std::vector<std::string>>(std::vector<std::string>{"ttyUSB0", "ttyUSB1"});
  form.reset();
  auto comm = std::make_unique<doubles::TSerialDouble>();
  serial = comm.get();
  form = std::make_unique<TFormMain>(TFormMainParts{std::move(comm), std::make_unique<doubles::TTcpDouble>(),
                                                    [ports](std::vector<std::string>& out) {
                                                      out = *ports;
                                                      return true;
                                                    },
                                                    nullptr});
  Attach();
  OpenPort();
  ASSERT_EQ(form->VwCbBoxPort->Text(), "ttyUSB0");
  *ports = {"ttyUSB1"};
  features->Ports().Refresh();
  EXPECT_EQ(form->VwCbBoxPort->Items(), (std::vector<std::string>{"ttyUSB1", "ttyUSB0"}));
  EXPECT_EQ(form->VwCbBoxPort->Text(), "ttyUSB0");
  EXPECT_TRUE(form->SerialOpen());
  // The component reports the loss: the window's own handling comes first, then the list.
  serial->Hangup();
  EXPECT_FALSE(form->SerialOpen());
  EXPECT_EQ(LastBody(), Q("系统：无法操作串口"));
  EXPECT_EQ(form->VwCbBoxPort->Items(), std::vector<std::string>{"ttyUSB1"});
  EXPECT_EQ(form->VwCbBoxPort->ItemIndex(), -1);  // never another device in its place
  EXPECT_EQ(serial->CommName(), "");
}
