#include "widgets/font.h"

#include <QFontDatabase>

namespace {
// "新宋体" under its names, then CJK families that are likely installed, fixed-pitch first
// because "新宋体" is fixed-pitch too.
const QStringList& PreferredFamilies() {
  static const QStringList families = {
      QString::fromUtf8("新宋体"),
      QStringLiteral("NSimSun"),
      QString::fromUtf8("宋体"),
      QStringLiteral("SimSun"),
      QStringLiteral("WenQuanYi Zen Hei Mono"),
      QStringLiteral("WenQuanYi Zen Hei"),
      QStringLiteral("Noto Sans Mono CJK SC"),
      QStringLiteral("Noto Sans CJK SC"),
      QStringLiteral("AR PL UMing CN"),
      QStringLiteral("Droid Sans Fallback"),
  };
  return families;
}

QString FindFamily(const QStringList& installed, const QString& wanted) {
  for (const QString& family : installed) {
    if (family.compare(wanted, Qt::CaseInsensitive) == 0) return family;
  }
  return {};
}
}  // namespace

QString ChooseConsoleFamily(const QStringList& installed, const QStringList& cjkCapable) {
  for (const QString& wanted : PreferredFamilies()) {
    QString found = FindFamily(installed, wanted);
    if (!found.isEmpty()) return found;
  }
  return cjkCapable.isEmpty() ? QString() : cjkCapable.front();
}

QFont ConsoleFont() {
  QFont font;
  const QString family = ChooseConsoleFamily(QFontDatabase::families(),
                                             QFontDatabase::families(QFontDatabase::SimplifiedChinese));
  if (!family.isEmpty()) font.setFamilies({family});
  font.setPixelSize(ConsoleFontPixels);
  return font;
}
