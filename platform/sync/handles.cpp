#include "platform/sync/handles.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace {
std::mutex g_lock;
std::unordered_map<HANDLE, std::shared_ptr<TKernelObject>>& Table() {
  static std::unordered_map<HANDLE, std::shared_ptr<TKernelObject>> table;
  return table;
}
std::atomic<HANDLE> g_next{0x100};
}  // namespace

HANDLE InsertHandle(std::shared_ptr<TKernelObject> object) {
  const HANDLE h = g_next.fetch_add(4);
  std::lock_guard lock(g_lock);
  Table().emplace(h, std::move(object));
  return h;
}

std::shared_ptr<TKernelObject> LookupHandle(HANDLE handle) {
  std::lock_guard lock(g_lock);
  auto it = Table().find(handle);
  if (it == Table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<TKernelObject> object;
  {
    std::lock_guard lock(g_lock);
    auto it = Table().find(handle);
    if (it == Table().end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(it->second);
    Table().erase(it);
  }
  // Outside the table lock: closing may wake other threads that look handles up.
  object->OnClose();
  return TRUE;
}

std::size_t OpenHandleCount() {
  std::lock_guard lock(g_lock);
  return Table().size();
}
