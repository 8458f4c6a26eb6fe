// Resource strings through the translation layer: the replacement loader and the hook that
// puts it into the loader slot.
#pragma once
#include <string>

#include "runtime/resources.h"

using TLoadStringW = int (*)(HMODULE module, UINT id, char16_t* buffer, int bufferLength);

// A string-table entry of any length: the buffer grows while an entry fills it.
std::u16string ReadStringTableEntryW(HMODULE module, UINT id, TLoadStringW load = &LoadStringW);

// The resource text as wide text, translated: empty for an empty record, the text at the
// address for identifiers of 65536 and above, else the string-table entry.
std::u16string LoadResourceTextWide(const ResourceStringRecord* record);
// The same in the 8-bit code page; has the loader's calling form.
std::string LoadTranslatedResourceString(const ResourceStringRecord* record);

// Puts a loader into the slot for its lifetime and puts the previous one back after.
class THook {
 public:
  explicit THook(TResourceLoader replacement);
  THook(const THook&) = delete;
  THook& operator=(const THook&) = delete;
  ~THook();

 private:
  TResourceLoader FPrevious;
};
