// Kernel-object handles: one table of numbered objects shared by every facility that hands out a
// HANDLE (events, serial devices). Numbers are never reused, so a stale handle fails cleanly.
#pragma once
#include <cstdint>
#include <memory>

#include "runtime/wintypes.h"

using HANDLE = std::uintptr_t;
inline const HANDLE INVALID_HANDLE_VALUE = ~HANDLE{0};

class TKernelObject {
 public:
  TKernelObject() = default;
  TKernelObject(const TKernelObject&) = delete;
  TKernelObject& operator=(const TKernelObject&) = delete;
  virtual ~TKernelObject() = default;
  // Runs once, when the last handle goes; operations still holding the object see it closed.
  virtual void OnClose() {}
};

// Never answers 0 or INVALID_HANDLE_VALUE.
HANDLE InsertHandle(std::shared_ptr<TKernelObject> object);
// Empty (last error ERROR_INVALID_HANDLE) for an unknown or closed handle.
std::shared_ptr<TKernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle);
BOOL CloseHandle(HANDLE handle);
// How many handles are open now (for leak checks).
std::size_t OpenHandleCount();

#include "runtime/lasterror.h"

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}
