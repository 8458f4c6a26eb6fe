#include "main/settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "platform/text/codepage.h"
#include "platform/text/qtext.h"

namespace {
int IntIn(const QSettings& s, const char* key, int low, int high, int fallback) {
  bool ok = false;
  const int v = s.value(key).toString().toInt(&ok);
  return ok && v >= low && v <= high ? v : fallback;
}

bool Flag(const QSettings& s, const char* key, bool fallback) {
  const QString v = s.value(key).toString();
  if (v == QLatin1String("true")) return true;
  if (v == QLatin1String("false")) return false;
  return fallback;
}

std::string Text(const QSettings& s, const char* key, const std::string& fallback, qsizetype limit = 4096) {
  const QVariant v = s.value(key);
  if (!v.isValid() || v.typeId() != QMetaType::QString) return fallback;
  const QString text = v.toString();
  return text.size() > limit || text.contains(QChar(0)) ? fallback : QStringToAnsi(text);
}
}  // namespace

std::string DefaultSettingsPath() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
          QStringLiteral("/comrelay/comrelay.ini"))
      .toStdString();
}

TConsoleSettings LoadSettings(const std::string& path) {
  TConsoleSettings d;
  if (!QFileInfo(QString::fromStdString(path)).isFile()) return d;
  QSettings s(QString::fromStdString(path), QSettings::IniFormat);
  if (s.status() != QSettings::NoError) return d;
  TConsoleSettings out;
  out.portLink = Text(s, "serial/link", d.portLink);
  out.portName = Text(s, "serial/port", d.portName);
  const std::string baud = Text(s, "serial/baud", d.baudRate, 12);
  bool digits = !baud.empty() && baud.find_first_not_of("0123456789") == std::string::npos;
  out.baudRate = digits ? baud : d.baudRate;
  out.dataBitsIndex = IntIn(s, "serial/databits", 0, 3, d.dataBitsIndex);
  out.parityIndex = IntIn(s, "serial/parity", 0, 4, d.parityIndex);
  out.stopBitsIndex = IntIn(s, "serial/stopbits", 0, 2, d.stopBitsIndex);
  out.timeout = IntIn(s, "serial/timeout", 0, 10000, d.timeout);
  out.inputXonXoff = Flag(s, "serial/inputxonxoff", d.inputXonXoff);
  out.host = Text(s, "network/host", d.host, 255);
  out.port = IntIn(s, "network/port", 0, 99999, d.port);
  out.display = Flag(s, "display/show", d.display);
  out.hex = Flag(s, "display/hex", d.hex);
  out.logPaneWidth = IntIn(s, "display/panewidth", 0, 100000, d.logPaneWidth);
  const std::string language = Text(s, "display/language", "", 16);
  out.language = language == "en" ? TConsoleLanguage::English : TConsoleLanguage::Original;
  out.logFilePath = Text(s, "log/file", d.logFilePath);
  return out;
}

bool SaveSettings(const std::string& path, const TConsoleSettings& v) {
  const QString file = QString::fromStdString(path);
  if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
  QSettings s(file, QSettings::IniFormat);
  // A file that could not be read is replaced whole, not merged with.
  s.clear();
  auto text = [](const std::string& bytes) { return AnsiToQString(bytes); };
  s.setValue("serial/link", text(v.portLink));
  s.setValue("serial/port", text(v.portName));
  s.setValue("serial/baud", text(v.baudRate));
  s.setValue("serial/databits", v.dataBitsIndex);
  s.setValue("serial/parity", v.parityIndex);
  s.setValue("serial/stopbits", v.stopBitsIndex);
  s.setValue("serial/timeout", v.timeout);
  s.setValue("serial/inputxonxoff", v.inputXonXoff);
  s.setValue("network/host", text(v.host));
  s.setValue("network/port", v.port);
  s.setValue("display/show", v.display);
  s.setValue("display/hex", v.hex);
  s.setValue("display/panewidth", v.logPaneWidth);
  s.setValue("display/language", v.language == TConsoleLanguage::English ? "en" : "zh");
  s.setValue("log/file", text(v.logFilePath));
  s.sync();
  return s.status() == QSettings::NoError;
}
