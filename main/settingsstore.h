// The settings the console remembers between runs, in an INI file under the user's config
// folder. Reading never fails: a missing or corrupt file, or a value out of its range, gives
// that value's default, which is what the window shows without a file.
#pragma once
#include <string>

#include "relay/consolelanguage.h"

struct TConsoleSettings {
  // The port: its /dev/serial/by-id link when it has one (it survives a new name after an
  // unplug), and its name.
  std::string portLink;
  std::string portName;
  std::string baudRate = "9600";
  int dataBitsIndex = 3;
  int parityIndex = 0;
  int stopBitsIndex = 0;
  int timeout = 50;
  std::string host = "127.0.0.1";
  int port = 8887;
  bool display = true;
  bool hex = true;
  int logPaneWidth = 185;
  bool inputXonXoff = true;
  TConsoleLanguage language = TConsoleLanguage::Original;
  std::string logFilePath;

  bool operator==(const TConsoleSettings&) const = default;
};

// ~/.config/comrelay/comrelay.ini (or below $XDG_CONFIG_HOME).
std::string DefaultSettingsPath();

TConsoleSettings LoadSettings(const std::string& path);
// False when the file could not be written; the old file then stays whole.
bool SaveSettings(const std::string& path, const TConsoleSettings& settings);
