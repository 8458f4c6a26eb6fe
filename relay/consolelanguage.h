// The language of the console's own texts: the original Chinese, or English from the console's
// catalogue ("comrelay.mo" below a locale folder) through the translation layer. Chosen by the
// operator, not by LANG; the original texts are the keys, so a missing or broken catalogue
// leaves them as they are. UI thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

enum class TConsoleLanguage { Original, English };

inline constexpr const char* ConsoleDomain = "comrelay";

// `localeDir` holds <language>/LC_MESSAGES/comrelay.mo.
void SetConsoleLanguage(TConsoleLanguage language, const std::string& localeDir);
TConsoleLanguage ConsoleLanguage();
// Counts the changes, so that cached texts know when to look again.
std::uint32_t ConsoleLanguageGeneration();

// A console text given in UTF-8, as GB18030 bytes in the current language.
std::string Tr(std::string_view utf8);

// The catalogues' folder: beside the executable in the build tree, <prefix>/share/locale when
// installed.
std::string DefaultLocaleDir();
