#include "runtime/resources.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "platform/text/codepage.h"

HMODULE HInstance = 0x400000;

namespace {
// Entries are added while the program starts (any thread may read later); a lock keeps adding
// and reading apart all the same.
struct TStringTable {
  std::mutex lock;
  std::map<std::pair<HMODULE, UINT>, std::u16string> entries;
};

TStringTable& StringTable() {
  static TStringTable table;
  return table;
}

// False when the module has no such entry.
bool FindEntry(HMODULE module, UINT id, std::u16string& text) {
  TStringTable& table = StringTable();
  std::lock_guard guard(table.lock);
  auto it = table.entries.find({module, id});
  if (it == table.entries.end()) return false;
  text = it->second;
  return true;
}

std::atomic<TResourceLoader> g_loader{&DefaultLoadResourceString};
}  // namespace

HMODULE FindResourceHInstance(HMODULE module) { return module; }

bool AddStringTableEntries(HMODULE module, const TStringTableEntry* entries, std::size_t count) {
  TStringTable& table = StringTable();
  std::lock_guard guard(table.lock);
  for (std::size_t k = 0; k < count; ++k) table.entries.try_emplace({module, entries[k].id}, entries[k].text);
  return true;
}

namespace {
// At most bufferLength - 1 characters of the entry, in the form `convert` makes of it, and a zero.
template <class Char, class Convert>
int CopyEntry(HMODULE module, UINT id, Char* buffer, int bufferLength, Convert convert) {
  if (bufferLength <= 0 || buffer == nullptr) return 0;
  std::u16string text;
  if (!FindEntry(module, id, text)) {
    buffer[0] = 0;
    return 0;
  }
  const auto converted = convert(text);
  const int n = std::min<int>(int(converted.size()), bufferLength - 1);
  std::copy_n(converted.data(), n, buffer);
  buffer[n] = 0;
  return n;
}
}  // namespace

int LoadStringW(HMODULE module, UINT id, char16_t* buffer, int bufferLength) {
  return CopyEntry(module, id, buffer, bufferLength, [](const std::u16string& text) { return text; });
}

int LoadStringA(HMODULE module, UINT id, char* buffer, int bufferLength) {
  return CopyEntry(module, id, buffer, bufferLength,
                   [](const std::u16string& text) { return WideToAnsi(text); });
}

std::string DefaultLoadResourceString(const ResourceStringRecord* record) {
  if (record == nullptr) return {};
  if (record->Identifier >= 65536) return reinterpret_cast<const char*>(record->Identifier);
  char buffer[1024];
  const HMODULE module = record->Module ? FindResourceHInstance(*record->Module) : 0;
  const int n = LoadStringA(module, UINT(record->Identifier), buffer, int(sizeof buffer));
  return std::string(buffer, std::size_t(n));
}

std::string LoadResourceString(const ResourceStringRecord* record) { return g_loader.load()(record); }

TResourceLoader ExchangeResourceLoader(TResourceLoader loader) { return g_loader.exchange(loader); }
