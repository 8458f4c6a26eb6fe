#include "relay/consolelanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <memory>

#include "i18n/domain.h"
#include "platform/text/codepage.h"

namespace {
struct TState {
  TConsoleLanguage language = TConsoleLanguage::Original;
  std::uint32_t generation = 0;
  std::unique_ptr<i18n::TDomain> domain;
};

TState& State() {
  static TState state;
  return state;
}
}  // namespace

void SetConsoleLanguage(TConsoleLanguage language, const std::string& localeDir) {
  TState& s = State();
  s.language = language;
  ++s.generation;
  s.domain.reset();
  if (language == TConsoleLanguage::Original) return;
  s.domain = std::make_unique<i18n::TDomain>(ConsoleDomain, nullptr);
  s.domain->ChangeDirectory(localeDir);
  s.domain->ChangeLanguage("en");
}

TConsoleLanguage ConsoleLanguage() { return State().language; }

std::uint32_t ConsoleLanguageGeneration() { return State().generation; }

std::string Tr(std::string_view utf8) {
  TState& s = State();
  if (s.domain) {
    try {
      return Ansi(s.domain->Lookup(std::string(utf8)));
    } catch (...) {
      // A catalogue that cannot be read leaves the original texts: they are never wrong.
      s.domain.reset();
    }
  }
  return Ansi(utf8);
}

std::string DefaultLocaleDir() {
  // The build puts the catalogues beside the programs; installed, the window's program is in
  // <prefix>/bin and the service's in <prefix>/lib/comrelay, the catalogues in <prefix>/share.
  const QString home = QCoreApplication::applicationDirPath();
  for (const char* folder : {"/locale", "/../share/locale", "/../../share/locale"}) {
    const QString dir = QDir::cleanPath(home + QLatin1String(folder));
    if (QFileInfo(dir).isDir()) return dir.toStdString();
  }
  return (home + QStringLiteral("/locale")).toStdString();
}
