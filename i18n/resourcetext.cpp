#include "i18n/resourcetext.h"

#include <cstring>

#include "i18n/translation.h"
#include "platform/text/codepage.h"

std::u16string ReadStringTableEntryW(HMODULE module, UINT id, TLoadStringW load) {
  std::u16string buffer;
  int count = 0;
  // A loader copies at most length - 1 characters and a zero, so a full buffer may be a cut
  // text: grow and read again until the entry leaves room.
  while (buffer.empty() || std::size_t(count) + 1 >= buffer.size()) {
    buffer.resize(buffer.empty() ? 1024 : buffer.size() * 2);
    count = load(module, id, buffer.data(), int(buffer.size()));
    if (count <= 0) {
      count = 0;
      break;
    }
  }
  buffer.resize(std::size_t(count));
  return buffer;
}

std::u16string LoadResourceTextWide(const ResourceStringRecord* record) {
  if (record == nullptr) return {};
  std::u16string text;
  if (record->Identifier >= 65536) {
    text = AnsiToWide(reinterpret_cast<const char*>(record->Identifier));
  } else {
    const HMODULE module = FindResourceHInstance(record->Module != nullptr ? *record->Module : 0);
    const UINT id = UINT(record->Identifier);
    if (PlatformIsNT()) {
      text = ReadStringTableEntryW(module, id);
    } else {
      char buffer[1024];
      const int n = LoadStringA(module, id, buffer, int(sizeof buffer));
      text = AnsiToWide(std::string_view(buffer, std::size_t(n > 0 ? n : 0)));
    }
  }
  return TranslateResourceText(text);
}

std::string LoadTranslatedResourceString(const ResourceStringRecord* record) {
  return WideToAnsi(LoadResourceTextWide(record));
}

THook::THook(TResourceLoader replacement) : FPrevious(ExchangeResourceLoader(replacement)) {}

THook::~THook() { ExchangeResourceLoader(FPrevious); }
