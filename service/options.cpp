#include "service/options.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace service {

namespace {

using namespace endpoint;

// One setting: its name (the option without "--", the key in a file), what it accepts, and how
// a value is taken; false when the value is not one of the accepted.
struct TSetting {
  const char* name;
  const char* accepted;
  bool (*apply)(const std::string& value, TOptions& options);
};

template <class T>
bool WholeNumber(const std::string& text, T low, T high, T& out) {
  long long v = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || at != end || v < low || v > high) return false;
  out = T(v);
  return true;
}

template <class E, std::size_t N>
bool OneOf(const std::string& value, const char* const (&names)[N], const E (&values)[N], E& out) {
  for (std::size_t i = 0; i < N; ++i)
    if (value == names[i]) {
      out = values[i];
      return true;
    }
  return false;
}

bool Device(const std::string& v, TOptions& o) {
  o.device = v;
  return !v.empty();
}

bool Baud(const std::string& v, TOptions& o) { return WholeNumber<std::uint32_t>(v, 50, 4000000, o.baud); }

bool Data(const std::string& v, TOptions& o) {
  static constexpr const char* names[] = {"5", "6", "7", "8"};
  static constexpr TByteSize values[] = {TByteSize::_5, TByteSize::_6, TByteSize::_7, TByteSize::_8};
  return OneOf(v, names, values, o.data);
}

bool Parity(const std::string& v, TOptions& o) {
  static constexpr const char* names[] = {"none", "odd", "even", "mark", "space"};
  static constexpr TParity values[] = {TParity::None, TParity::Odd, TParity::Even, TParity::Mark,
                                       TParity::Space};
  return OneOf(v, names, values, o.parity);
}

bool Stop(const std::string& v, TOptions& o) {
  static constexpr const char* names[] = {"1", "1.5", "2"};
  static constexpr TStopBits values[] = {TStopBits::_1, TStopBits::_1_5, TStopBits::_2};
  return OneOf(v, names, values, o.stop);
}

bool Timeout(const std::string& v, TOptions& o) { return WholeNumber<std::uint32_t>(v, 0, 10000, o.timeout); }

bool Server(const std::string& v, TOptions& o) {
  // Look-ups are IPv4 only, so a host never holds a colon.
  const auto colon = v.find(':');
  if (colon == std::string::npos || colon == 0 || v.find(':', colon + 1) != std::string::npos) return false;
  std::int32_t port = 0;
  if (!WholeNumber<std::int32_t>(v.substr(colon + 1), 1, 65535, port)) return false;
  o.host = v.substr(0, colon);
  o.port = port;
  return true;
}

bool Log(const std::string& v, TOptions& o) {
  static constexpr const char* names[] = {"text", "hex", "off"};
  static constexpr TLogMode values[] = {TLogMode::Text, TLogMode::Hex, TLogMode::Off};
  return OneOf(v, names, values, o.log);
}

bool Reconnect(const std::string& v, TOptions& o) {
  static constexpr const char* names[] = {"yes", "no", "true", "false", "on", "off", "1", "0"};
  static constexpr bool values[] = {true, false, true, false, true, false, true, false};
  return OneOf(v, names, values, o.reconnect);
}

bool Language(const std::string& v, TOptions& o) {
  // The window's settings file names them so.
  static constexpr const char* names[] = {"zh", "en"};
  static constexpr TConsoleLanguage values[] = {TConsoleLanguage::Original, TConsoleLanguage::English};
  return OneOf(v, names, values, o.language);
}

constexpr TSetting kSettings[] = {
    {"device", "a device path such as /dev/ttyUSB0, or a /dev/serial/by-id name", Device},
    {"baud", "a whole number from 50 to 4000000", Baud},
    {"data", "5|6|7|8", Data},
    {"parity", "none|odd|even|mark|space", Parity},
    {"stop", "1|1.5|2", Stop},
    {"timeout", "a whole number of milliseconds from 0 to 10000", Timeout},
    {"server", "HOST:PORT with PORT from 1 to 65535", Server},
    {"log", "text|hex|off", Log},
    {"reconnect", "yes|no", Reconnect},
    {"language", "zh|en", Language},
};

const TSetting* Find(const std::string& name) {
  for (const auto& s : kSettings)
    if (name == s.name) return &s;
  return nullptr;
}

std::string Refusal(const TSetting& s, const std::string& value) {
  return "'" + value + "' is not accepted; expected " + s.accepted;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string KeyList() {
  std::string keys;
  for (const auto& s : kSettings) keys += (keys.empty() ? "" : ", ") + std::string(s.name);
  return keys;
}

constexpr const char* kProgram = "comrelay: ";

}  // namespace

std::string ApplyConfigText(const std::string& file, const std::string& text, TOptions& options) {
  // Editors on other systems start a file with a byte order mark.
  const bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  std::istringstream in(bom ? text.substr(3) : text);
  std::string raw;
  for (int line = 1; std::getline(in, raw); ++line) {
    const std::string where = file + ":" + std::to_string(line) + ": ";
    // A value is used as a path or a name: a NUL in it would quietly cut it short.
    if (raw.find('\0') != std::string::npos) return where + "a NUL byte is not accepted";
    const std::string content = Trim(raw);
    if (content.empty() || content[0] == '#') continue;
    const auto eq = content.find('=');
    if (eq == std::string::npos) return where + "expected KEY=value, found '" + content + "'";
    const std::string key = Trim(content.substr(0, eq));
    const std::string value = Trim(content.substr(eq + 1));
    const TSetting* s = Find(key);
    if (!s) return where + "unknown key '" + key + "'; keys are " + KeyList();
    if (!s->apply(value, options)) return where + key + ": " + Refusal(*s, value);
  }
  return {};
}

TParsed ParseCommandLine(const std::vector<std::string>& args) {
  TParsed r;
  auto fail = [&r](std::string message) {
    r.outcome = TOutcome::Error;
    r.error = kProgram + std::move(message);
    return r;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--help" || arg == "-h") {
      r.outcome = TOutcome::Help;
      return r;
    }
    if (arg == "--version") {
      r.outcome = TOutcome::Version;
      return r;
    }
    if (arg == "--headless") continue;  // how the window's program hands over
    if (arg == "--reconnect" || arg == "--no-reconnect") {
      r.options.reconnect = arg == "--reconnect";
      continue;
    }
    if (arg.rfind("--", 0) != 0) return fail("unexpected argument '" + arg + "' (see --help)");
    std::string name = arg.substr(2);
    std::string value;
    bool inline_value = false;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      inline_value = true;
    }
    const TSetting* s = Find(name);
    if (!s && name != "config") return fail("unknown option '--" + name + "' (see --help)");
    if (!inline_value) {
      if (i + 1 >= args.size()) return fail("--" + name + " needs a value");
      value = args[++i];
    }
    if (name == "config") {
      std::ifstream in(value, std::ios::binary);
      std::ostringstream text;
      if (!(in && (text << in.rdbuf()))) return fail("--config: cannot read '" + value + "'");
      const std::string error = ApplyConfigText(value, text.str(), r.options);
      if (!error.empty()) return fail(error);
      continue;
    }
    if (!s->apply(value, r.options)) return fail("--" + name + ": " + Refusal(*s, value));
  }
  if (r.options.device.empty()) return fail("--device is required: " + std::string(Find("device")->accepted));
  if (r.options.host.empty()) return fail("--server is required: " + std::string(Find("server")->accepted));
  return r;
}

std::string HelpText() {
  return R"(Usage: comrelay --headless [OPTION]...
       comrelay                      (without options: the console window)
Relays bytes between one serial port and one TCP server, without a window.
Log lines go to standard output, one per line: time stamp, colour word, text.

  --device PATH      the serial port: /dev/ttyUSB0, ttyUSB0, or a /dev/serial/by-id name
  --baud N           bits per second (default 9600)
  --data 5|6|7|8     data bits (default 8)
  --parity none|odd|even|mark|space   (default none)
  --stop 1|1.5|2     stop bits (default 1)
  --timeout MS       silence that ends a received block, 0 to 10000 (default 50)
  --server HOST:PORT the TCP server
  --log text|hex|off how data lines show their bytes, or none at all (default hex)
  --reconnect        reconnect after a lost connection, reopen a lost device (default)
  --no-reconnect     stay down after a loss
  --language zh|en   the language of the log lines: the original Chinese (default) or English
  --config FILE      KEY=value lines with the keys above (reconnect=yes|no);
                     options after it override the file
  --help             this text
  --version          the version

SIGUSR1 prints the counters; SIGTERM, SIGINT or SIGHUP flush what is queued (5 s at
most), close both ends and exit 0. A bad option or file exits with status 2.
)";
}

std::string VersionText() { return std::string("comrelay ") + COMRELAY_VERSION + "\n"; }

}  // namespace service
