// The service's settings: every option's accepted values, the one-line refusals, and files of
// KEY=value lines with their errors placed by file and line.
#include "service/options.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

using service::ParseCommandLine;
using service::TOutcome;

namespace {
std::vector<std::string> With(std::vector<std::string> extra) {
  std::vector<std::string> args{"--device", "/dev/ttyUSB0", "--server", "10.0.0.5:4001"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}
}  // namespace

TEST(ServiceOptions, DefaultsAreTheWindowsAndEveryOptionIsTaken) {
  auto p = ParseCommandLine(With({}));
  ASSERT_EQ(p.outcome, TOutcome::Run) << p.error;
  EXPECT_EQ(p.options.baud, 9600u);
  EXPECT_EQ(p.options.data, endpoint::TByteSize::_8);
  EXPECT_EQ(p.options.parity, endpoint::TParity::None);
  EXPECT_EQ(p.options.stop, endpoint::TStopBits::_1);
  EXPECT_EQ(p.options.timeout, 50u);
  EXPECT_EQ(p.options.log, service::TLogMode::Hex);
  EXPECT_TRUE(p.options.reconnect);
  EXPECT_EQ(p.options.host, "10.0.0.5");
  EXPECT_EQ(p.options.port, 4001);
  EXPECT_EQ(p.options.language, TConsoleLanguage::Original);

  p = ParseCommandLine(With({"--headless", "--baud", "250000", "--data=7", "--parity", "space", "--stop",
                             "1.5", "--timeout", "0", "--log", "off", "--no-reconnect", "--language", "en"}));
  ASSERT_EQ(p.outcome, TOutcome::Run) << p.error;
  EXPECT_EQ(p.options.baud, 250000u);
  EXPECT_EQ(p.options.data, endpoint::TByteSize::_7);
  EXPECT_EQ(p.options.parity, endpoint::TParity::Space);
  EXPECT_EQ(p.options.stop, endpoint::TStopBits::_1_5);
  EXPECT_EQ(p.options.timeout, 0u);
  EXPECT_EQ(p.options.log, service::TLogMode::Off);
  EXPECT_FALSE(p.options.reconnect);
  EXPECT_EQ(p.options.language, TConsoleLanguage::English);
  EXPECT_TRUE(ParseCommandLine(With({"--no-reconnect", "--reconnect"})).options.reconnect);
  EXPECT_EQ(ParseCommandLine(With({"--language=en", "--language=zh"})).options.language,
            TConsoleLanguage::Original);
}

TEST(ServiceOptions, ABadValueIsRefusedInOneLineNamingTheOptionAndWhatItAccepts) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {With({"--parity", "weird"}),
       "comrelay: --parity: 'weird' is not accepted; expected none|odd|even|mark|space"},
      {With({"--stop", "3"}), "comrelay: --stop: '3' is not accepted; expected 1|1.5|2"},
      {With({"--data", "9"}), "comrelay: --data: '9' is not accepted; expected 5|6|7|8"},
      {With({"--log", "loud"}), "comrelay: --log: 'loud' is not accepted; expected text|hex|off"},
      {With({"--baud", "96OO"}),
       "comrelay: --baud: '96OO' is not accepted; expected a whole number from 50 to 4000000"},
      {With({"--baud", "0"}),
       "comrelay: --baud: '0' is not accepted; expected a whole number from 50 to 4000000"},
      {With({"--timeout", "10001"}),
       "comrelay: --timeout: '10001' is not accepted; expected a whole number of milliseconds from 0 to "
       "10000"},
      {With({"--timeout", "-1"}),
       "comrelay: --timeout: '-1' is not accepted; expected a whole number of milliseconds from 0 to 10000"},
      {With({"--server", "host:0"}),
       "comrelay: --server: 'host:0' is not accepted; expected HOST:PORT with PORT from 1 to 65535"},
      {With({"--server", "host"}),
       "comrelay: --server: 'host' is not accepted; expected HOST:PORT with PORT from 1 to 65535"},
      {With({"--server", ":80"}),
       "comrelay: --server: ':80' is not accepted; expected HOST:PORT with PORT from 1 to 65535"},
      {With({"--server", "::1:80"}),
       "comrelay: --server: '::1:80' is not accepted; expected HOST:PORT with PORT from 1 to 65535"},
      {With({"--reconnect=maybe"}), "comrelay: --reconnect: 'maybe' is not accepted; expected yes|no"},
      {With({"--language", "English"}), "comrelay: --language: 'English' is not accepted; expected zh|en"},
      {With({"--speed", "9600"}), "comrelay: unknown option '--speed' (see --help)"},
      {With({"ttyUSB0"}), "comrelay: unexpected argument 'ttyUSB0' (see --help)"},
      {With({"--baud"}), "comrelay: --baud needs a value"},
      {{"--server", "h:1"},
       "comrelay: --device is required: a device path such as /dev/ttyUSB0, or a /dev/serial/by-id name"},
      {{"--device", "ttyS0"}, "comrelay: --server is required: HOST:PORT with PORT from 1 to 65535"},
  };
  for (const auto& c : cases) {
    const auto p = ParseCommandLine(c.args);
    EXPECT_EQ(p.outcome, TOutcome::Error) << c.error;
    EXPECT_EQ(p.error, c.error);
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}

TEST(ServiceOptions, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(ParseCommandLine({"--parity", "bad", "--help"}).outcome, TOutcome::Error);
  EXPECT_EQ(ParseCommandLine({"--help", "--parity", "bad"}).outcome, TOutcome::Help);
  EXPECT_EQ(ParseCommandLine({"--version"}).outcome, TOutcome::Version);
  const std::string help = service::HelpText();
  for (const char* option :
       {"--device", "--baud", "--data", "--parity", "--stop", "--timeout", "--server", "--log", "--reconnect",
        "--no-reconnect", "--language", "--config", "--help", "--version"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_EQ(service::VersionText().rfind("comrelay ", 0), 0u);
}

TEST(ServiceConfig, KeyValueLinesWithCommentsAndBlanks) {
  service::TOptions o;
  const std::string text =
      "# bench 3, left adapter\n"
      "\n"
      "device = usb-FTDI_FT232R_A10K-if00-port0\r\n"
      "  baud=115200\n"
      "parity=even\n"
      "server=plc.local:502\n"
      "reconnect=no\n"
      "language=en\n"
      "log=text";  // no line break at the end
  EXPECT_EQ(service::ApplyConfigText("/etc/comrelay/left.conf", text, o), "");
  EXPECT_EQ(o.device, "usb-FTDI_FT232R_A10K-if00-port0");
  EXPECT_EQ(o.baud, 115200u);
  EXPECT_EQ(o.parity, endpoint::TParity::Even);
  EXPECT_EQ(o.host, "plc.local");
  EXPECT_EQ(o.port, 502);
  EXPECT_FALSE(o.reconnect);
  EXPECT_EQ(o.language, TConsoleLanguage::English);
  EXPECT_EQ(o.log, service::TLogMode::Text);
}

TEST(ServiceConfig, ErrorsNameTheFileAndTheLine) {
  service::TOptions o;
  EXPECT_EQ(service::ApplyConfigText("a.conf", "baud=9600\n\nparity=odd\nstop=4\n", o),
            "a.conf:4: stop: '4' is not accepted; expected 1|1.5|2");
  EXPECT_EQ(service::ApplyConfigText("a.conf", "# x\nspeed=9600\n", o),
            "a.conf:2: unknown key 'speed'; keys are device, baud, data, parity, stop, timeout, server, log, "
            "reconnect, language");
  EXPECT_EQ(service::ApplyConfigText("a.conf", "device /dev/ttyS0\n", o),
            "a.conf:1: expected KEY=value, found 'device /dev/ttyS0'");
  EXPECT_EQ(service::ApplyConfigText("a.conf", std::string("baud=9600\ndevice=/dev/ttyS0\0x\n", 30), o),
            "a.conf:2: a NUL byte is not accepted");
}

TEST(ServiceConfig, AByteOrderMarkAtTheStartIsNoPartOfTheFirstKey) {
  service::TOptions o;
  EXPECT_EQ(service::ApplyConfigText("a.conf",
                                     "\xEF\xBB\xBF"
                                     "baud=57600\n",
                                     o),
            "");
  EXPECT_EQ(o.baud, 57600u);
  // Anywhere else it is no mark.
  EXPECT_NE(service::ApplyConfigText("a.conf",
                                     "baud=57600\n\xEF\xBB\xBF"
                                     "data=7\n",
                                     o),
            "");
}

TEST(ServiceConfig, AFileTakesItsPlaceAmongTheOptions) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/relay.conf";
  std::ofstream(path) << "device=/dev/ttyACM0\nserver=127.0.0.1:9000\nbaud=19200\n";
  auto p = ParseCommandLine({"--baud", "300", "--config", path, "--timeout", "20"});
  ASSERT_EQ(p.outcome, TOutcome::Run) << p.error;
  EXPECT_EQ(p.options.baud, 19200u);  // the file came after --baud 300
  EXPECT_EQ(p.options.timeout, 20u);
  EXPECT_EQ(p.options.device, "/dev/ttyACM0");
  p = ParseCommandLine({"--config", path, "--baud", "300"});
  EXPECT_EQ(p.options.baud, 300u);

  std::ofstream(path) << "device=/dev/ttyACM0\nserver=127.0.0.1\n";
  p = ParseCommandLine({"--config", path});
  EXPECT_EQ(p.error,
            "comrelay: " + path +
                ":2: server: '127.0.0.1' is not accepted; expected HOST:PORT with PORT from 1 to 65535");
  p = ParseCommandLine({"--config", path + ".missing"});
  EXPECT_EQ(p.error, "comrelay: --config: cannot read '" + path + ".missing'");
}
