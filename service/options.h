// The service's settings: the command line, and KEY=value files named by --config.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "relay/consolelanguage.h"
#include "relay/endpoints.h"

namespace service {

enum class TLogMode { Text, Hex, Off };

// Everything the window sets, with the window's initial values.
struct TOptions {
  std::string device;
  std::uint32_t baud = 9600;
  endpoint::TByteSize data = endpoint::TByteSize::_8;
  endpoint::TParity parity = endpoint::TParity::None;
  endpoint::TStopBits stop = endpoint::TStopBits::_1;
  std::uint32_t timeout = 50;
  std::string host;
  std::int32_t port = 0;
  TLogMode log = TLogMode::Hex;
  bool reconnect = true;  // reconnecting to the server and reopening the device
  TConsoleLanguage language = TConsoleLanguage::Original;  // of the log lines and system texts
};

enum class TOutcome { Run, Help, Version, Error };

struct TParsed {
  TOutcome outcome = TOutcome::Run;
  TOptions options;
  std::string error;  // one line, for standard error
};

// `args` without the program name. Settings apply in order, a --config file at its place, so
// what follows it on the command line wins.
TParsed ParseCommandLine(const std::vector<std::string>& args);
// Applies the KEY=value lines of `text` (read from `file`, named in errors); empty on success,
// else "file:line: ..." for the first bad line.
std::string ApplyConfigText(const std::string& file, const std::string& text, TOptions& options);

std::string HelpText();
std::string VersionText();

}  // namespace service
