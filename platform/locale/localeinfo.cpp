#include "platform/locale/localeinfo.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {
struct TLocaleParts {
  std::string Language;
  std::string Country;
};

// language[_territory][.codeset][@modifier]
TLocaleParts SplitLocaleName(std::string_view name) {
  TLocaleParts parts;
  if (name == "C" || name == "POSIX" || name.starts_with("C.")) return parts;
  const std::size_t end = name.find_first_of(".@");
  if (end != std::string_view::npos) name = name.substr(0, end);
  const std::size_t underscore = name.find('_');
  parts.Language = std::string(name.substr(0, underscore));
  if (underscore != std::string_view::npos) parts.Country = std::string(name.substr(underscore + 1));
  return parts;
}

struct TLanguageId {
  const char* Language;
  LCID Id;
};

// The identifier Windows gives a language's primary country.
constexpr TLanguageId kPrimaryIds[] = {
    {"da", 0x406}, {"de", 0x407}, {"el", 0x408}, {"en", 0x409}, {"es", 0x40A}, {"fi", 0x40B},
    {"fr", 0x40C}, {"is", 0x40F}, {"it", 0x410}, {"ko", 0x412}, {"nl", 0x413}, {"nb", 0x414},
    {"no", 0x414}, {"pl", 0x415}, {"pt", 0x416}, {"ru", 0x419}, {"sv", 0x41D}, {"nn", 0x814},
};
}  // namespace

std::string MessagesLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

int GetLocaleInfoA(LCID locale, LCTYPE item, char* buffer, int bufferLength) {
  if (locale != LOCALE_USER_DEFAULT || buffer == nullptr || bufferLength <= 0) return 0;
  const TLocaleParts parts = SplitLocaleName(MessagesLocaleName());
  const std::string* value = nullptr;
  if (item == LOCALE_SISO639LANGNAME) value = &parts.Language;
  if (item == LOCALE_SISO3166CTRYNAME) value = &parts.Country;
  if (value == nullptr || value->empty() || int(value->size()) + 1 > bufferLength) return 0;
  std::memcpy(buffer, value->data(), value->size());
  buffer[value->size()] = '\0';
  return int(value->size()) + 1;
}

LCID GetThreadLocale() {
  const TLocaleParts parts = SplitLocaleName(MessagesLocaleName());
  for (const TLanguageId& entry : kPrimaryIds) {
    if (parts.Language == entry.Language) return entry.Id;
  }
  return LOCALE_INVARIANT;
}
