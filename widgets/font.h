// The console's font: "新宋体" at 12 pixels, or an installed CJK font when that one is missing.
#pragma once
#include <QFont>
#include <QString>
#include <QStringList>

inline constexpr int ConsoleFontPixels = 12;

// The family to use, chosen from `installed` (the font database's families): "新宋体" or one of
// its known names first, then the preferred CJK fallbacks, then any family in `cjkCapable`;
// empty when nothing fits (Qt's default then applies).
QString ChooseConsoleFamily(const QStringList& installed, const QStringList& cjkCapable);
// The font built from the installed families.
QFont ConsoleFont();
