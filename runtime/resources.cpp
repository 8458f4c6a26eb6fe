#include "platform/resources.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "platform/codepage.h"

HMODULE HInstance = 0x400000;

namespace {
const std::map<UINT, std::u16string>& StringTable() {
  static const std::map<UINT, std::u16string> table{
      {SWindowsSocketError, u"Windows socket error: %s (%d), on API '%s'"},
      {SASyncSocketError, u"Asynchronous socket error %d"},
      {SNoAddress, u"No address specified"},
      {SCannotCreateSocket, u"Can't create new socket"},
      {SSocketAlreadyOpen, u"Socket already open"},
      {SCantChangeWhileActive, u"Can't change value while socket is active"},
  };
  return table;
}

std::atomic<TResourceLoader> g_loader{&DefaultLoadResourceString};
}  // namespace

HMODULE FindResourceHInstance(HMODULE module) { return module; }

int LoadStringW(HMODULE module, UINT id, char16_t* buffer, int bufferLength) {
  if (bufferLength <= 0 || buffer == nullptr || module != HInstance) return 0;
  auto it = StringTable().find(id);
  if (it == StringTable().end()) {
    buffer[0] = 0;
    return 0;
  }
  const int n = std::min<int>(int(it->second.size()), bufferLength - 1);
  std::copy_n(it->second.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

int LoadStringA(HMODULE module, UINT id, char* buffer, int bufferLength) {
  if (bufferLength <= 0 || buffer == nullptr || module != HInstance) return 0;
  auto it = StringTable().find(id);
  if (it == StringTable().end()) {
    buffer[0] = 0;
    return 0;
  }
  const std::string bytes = WideToAnsi(it->second);
  const int n = std::min<int>(int(bytes.size()), bufferLength - 1);
  std::memcpy(buffer, bytes.data(), std::size_t(n));
  buffer[n] = 0;
  return n;
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
